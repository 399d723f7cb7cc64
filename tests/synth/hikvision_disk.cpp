#include "synth/hikvision_disk.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace orvane::synth {

namespace {

void PutLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PutBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

int64_t DaysFromCivil(int64_t y, int64_t m, int64_t d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

// MPEG-2 CRC-32 (polynomial 0x04C11DB7, no reflection), as the stream map
// carries it.
uint32_t Crc32Mpeg(const uint8_t* data, size_t n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    crc ^= static_cast<uint32_t>(data[i]) << 24;
    for (int k = 0; k < 8; ++k) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
  }
  return crc;
}

void PutTimestamp(uint8_t* p, uint8_t prefix, uint64_t ts) {
  p[0] = static_cast<uint8_t>((prefix << 4) | (((ts >> 30) & 7) << 1) | 1);
  p[1] = static_cast<uint8_t>(ts >> 22);
  p[2] = static_cast<uint8_t>((((ts >> 15) & 0x7F) << 1) | 1);
  p[3] = static_cast<uint8_t>(ts >> 7);
  p[4] = static_cast<uint8_t>(((ts & 0x7F) << 1) | 1);
}

}  // namespace

int64_t UnixTime(int year, int month, int day, int hour, int minute, int second) {
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

uint32_t PackedTimeFromUnix(int64_t t) {
  const int64_t days = t / 86400;
  int64_t rem = t % 86400;
  // civil_from_days
  const int64_t z = days + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  const int64_t d = doy - (153 * mp + 2) / 5 + 1;
  const int64_t m = mp < 10 ? mp + 3 : mp - 9;
  const int64_t y = yoe + era * 400 + (m <= 2);
  const auto hour = static_cast<uint32_t>(rem / 3600);
  rem %= 3600;
  return (static_cast<uint32_t>(y - 2000) << 26) | (static_cast<uint32_t>(m) << 22) |
         (static_cast<uint32_t>(d) << 17) | (hour << 12) |
         (static_cast<uint32_t>(rem / 60) << 6) | static_cast<uint32_t>(rem % 60);
}

Bytes MakeHikvisionPack(uint32_t packed_time, const Bytes& payload, uint64_t pts) {
  Bytes out(kHikPackHeaderBytes, 0);
  uint8_t* p = out.data();
  // Pack header: start code, SCR (= pts), mux rate, six stuffing bytes.
  p[0] = 0x00, p[1] = 0x00, p[2] = 0x01, p[3] = 0xBA;
  const uint64_t scr = pts;
  p[4] = static_cast<uint8_t>(0x44 | (((scr >> 30) & 7) << 3) | ((scr >> 28) & 3));
  p[5] = static_cast<uint8_t>(scr >> 20);
  p[6] = static_cast<uint8_t>((((scr >> 15) & 0x1F) << 3) | 0x04 | ((scr >> 13) & 3));
  p[7] = static_cast<uint8_t>(scr >> 5);
  p[8] = static_cast<uint8_t>(((scr & 0x1F) << 3) | 0x04);
  p[9] = 0x01;
  const uint32_t mux_rate = 0x3FFF;
  p[10] = static_cast<uint8_t>(mux_rate >> 14);
  p[11] = static_cast<uint8_t>(mux_rate >> 6);
  p[12] = static_cast<uint8_t>(((mux_rate & 0x3F) << 2) | 3);
  p[13] = 0xF8 | 6;
  std::memset(p + 14, 0xFF, 6);
  // Stream map: one H.264 stream on 0xE0; its descriptor carries the mark
  // and the time.
  p[20] = 0x00, p[21] = 0x00, p[22] = 0x01, p[23] = 0xBC;
  p[24] = 0, p[25] = static_cast<uint8_t>(kHikPackHeaderBytes - 26);
  p[26] = 0xE0;  // current, version 0
  p[27] = 0xFF;
  p[28] = 0, p[29] = 14;  // program stream info: one descriptor of 12 bytes
  p[30] = 0x40, p[31] = 12;
  p[32] = 'H', p[33] = 'K';
  p[34] = 0x01, p[35] = 0x00;
  PutBE32(p + 36, packed_time >> 2);
  PutBE32(p + 40, (packed_time & 3u) << 30);
  p[44] = 0, p[45] = 4;  // elementary stream map
  p[46] = 0x1B, p[47] = 0xE0, p[48] = 0, p[49] = 0;
  PutBE32(p + 50, Crc32Mpeg(p + 20, 30));

  constexpr size_t kMaxPesPayload = 65535 - 8;
  for (size_t at = 0; at < payload.size();) {
    const size_t n = std::min(kMaxPesPayload, payload.size() - at);
    const bool first = at == 0;
    uint8_t head[14];
    head[0] = 0x00, head[1] = 0x00, head[2] = 0x01, head[3] = 0xE0;
    const size_t header_data = first ? 5 : 0;
    const size_t length = 3 + header_data + n;
    head[4] = static_cast<uint8_t>(length >> 8);
    head[5] = static_cast<uint8_t>(length);
    head[6] = first ? 0x84 : 0x80;
    head[7] = first ? 0x80 : 0x00;
    head[8] = static_cast<uint8_t>(header_data);
    if (first) PutTimestamp(head + 9, 0x2, pts);
    out.insert(out.end(), head, head + 9 + header_data);
    out.insert(out.end(), payload.begin() + static_cast<long>(at),
               payload.begin() + static_cast<long>(at + n));
    at += n;
  }
  return out;
}

Bytes MakeHikvisionRecording(const HikRecordingSpec& spec, int64_t* deep_length) {
  const auto& frames = TestFrames();
  Bytes out;
  const int fps = std::max(1, spec.fps);
  uint32_t last_time = PackedTimeFromUnix(spec.start_unix);
  uint64_t pts = 0;
  for (int f = 0; f < spec.frames; ++f) {
    last_time = PackedTimeFromUnix(spec.start_unix + f / fps);
    pts = 90000 + static_cast<uint64_t>(f) * 90000 / fps;
    const Bytes pack = MakeHikvisionPack(last_time, frames[static_cast<size_t>(f) % frames.size()], pts);
    out.insert(out.end(), pack.begin(), pack.end());
  }
  if (deep_length) *deep_length = static_cast<int64_t>(out.size());
  const Bytes closing = MakeHikvisionPack(last_time, {}, pts);
  out.insert(out.end(), closing.begin(), closing.end());
  return out;
}

HikvisionDisk::HikvisionDisk(const std::string& path, const HikvisionDiskOptions& options)
    : options_(options) {
  int64_t size = options.size;
  if (size == 0) size = options.first_block + options.blocks * options.block_size;
  image_ = std::make_unique<SparseImage>(path, size);
  next_slot_.assign(static_cast<size_t>(std::max<int64_t>(options.blocks, 1)) + 64, 0);
  if (options.write_header)
    WriteHeader(static_cast<uint64_t>(options.first_block),
                static_cast<uint64_t>(options.blocks * options.block_size),
                static_cast<uint64_t>(options.block_size));
}

void HikvisionDisk::WriteHeader(uint64_t first_block, uint64_t data_area, uint64_t block_size,
                                bool signature) {
  uint8_t s[512] = {};
  if (signature) std::memcpy(s + 16, "HIKVISIO", 8);
  PutLE64(s + 120, first_block);
  PutLE64(s + 128, data_area);
  PutLE64(s + 136, block_size);
  image_->Write(512, s, sizeof s);
}

void HikvisionDisk::WriteIndexEntry(int64_t block, int slot, uint8_t channel, uint32_t start_time,
                                    uint32_t end_time, uint32_t start, uint32_t end) {
  uint8_t e[kEntryBytes] = {};
  e[13] = channel;
  PutLE32(e + 48, end_time);
  PutLE32(e + 56, start_time);
  PutLE32(e + 72, start);
  PutLE32(e + 76, end);
  image_->Write(BlockBase(block) + kIndexOffset + static_cast<int64_t>(slot) * kEntryBytes, e,
                sizeof e);
}

HikPlanted HikvisionDisk::AddRecordingAt(int64_t offset, const HikRecordingSpec& spec) {
  HikPlanted r;
  r.offset = offset;
  r.bytes = MakeHikvisionRecording(spec, &r.deep_length);
  r.channel = spec.channel;
  r.frames = spec.frames;
  r.start_unix = static_cast<uint32_t>(spec.start_unix);
  r.end_unix = static_cast<uint32_t>(spec.start_unix + (spec.frames - 1) / std::max(1, spec.fps));
  r.start_packed = PackedTimeFromUnix(r.start_unix);
  r.end_packed = PackedTimeFromUnix(r.end_unix);
  image_->Write(offset, r.bytes);
  return r;
}

HikPlanted HikvisionDisk::AddRecording(int64_t block, int64_t offset_in_block,
                                       const HikRecordingSpec& spec, bool indexed) {
  HikPlanted r = AddRecordingAt(BlockBase(block) + offset_in_block, spec);
  if (indexed) {
    if (block < 0 || static_cast<size_t>(block) >= next_slot_.size())
      throw std::out_of_range("block outside the disk");
    const int slot = next_slot_[static_cast<size_t>(block)]++;
    WriteIndexEntry(block, slot, static_cast<uint8_t>(spec.channel), r.start_unix, r.end_unix,
                    static_cast<uint32_t>(offset_in_block),
                    static_cast<uint32_t>(offset_in_block + r.length()));
  }
  return r;
}

void HikvisionDisk::WritePack(int64_t offset, uint32_t packed_time, const Bytes& payload) {
  image_->Write(offset, MakeHikvisionPack(packed_time, payload, 90000));
}

void HikvisionDisk::WipeIndex(int64_t block) {
  const int64_t at = BlockBase(block) + kIndexOffset;
  if (at >= image_->size()) return;
  image_->Wipe(at, std::min(kIndexBytes, image_->size() - at));
}

void HikvisionDisk::WipeIndex() {
  for (int64_t b = 0; b < options_.blocks; ++b) WipeIndex(b);
}

}  // namespace orvane::synth
