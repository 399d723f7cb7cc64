#include "synth/dahua_disk.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "device/byte_order.h"
#include "engines/dahua/dahua_layout.h"

namespace orvane::synth {

namespace {

void PutHeader(Bytes& f, uint32_t magic, uint8_t type, uint8_t channel, uint32_t number,
               uint32_t time, uint16_t ms, uint8_t ext) {
  const uint32_t length = static_cast<uint32_t>(f.size());
  StoreLE32(&f[0], magic);
  f[4] = type;
  f[5] = 0;
  f[6] = static_cast<uint8_t>(channel - 1);
  f[7] = 0;
  StoreLE32(&f[8], number);
  StoreLE32(&f[12], length);
  StoreLE32(&f[16], time);
  StoreLE16(&f[20], ms);
  f[22] = ext;
  uint8_t sum = 0;
  for (int i = 0; i < 23; ++i) sum = static_cast<uint8_t>(sum + f[i]);
  f[23] = sum;
  std::memcpy(&f[length - 8], "dhav", 4);
  StoreLE32(&f[length - 4], length);
}

}  // namespace

Bytes DahuaVideoFrame(uint32_t magic, uint8_t channel, uint32_t time, uint32_t number,
                      const Bytes& unit, bool key) {
  Bytes f(24 + 4 + unit.size() + 8, 0);
  f[24] = 0x81;  // codec and frame rate
  f[25] = 0;
  f[26] = 2;     // H.264
  f[27] = 25;
  std::copy(unit.begin(), unit.end(), f.begin() + 28);
  PutHeader(f, magic, key ? 0xFD : 0xFC, channel, number, time,
            static_cast<uint16_t>((number % 25) * 40), 4);
  return f;
}

Bytes DahuaFillerFrame(uint32_t magic, uint32_t length) {
  if (length < 32) throw std::invalid_argument("filler frame shorter than 32 bytes");
  Bytes f(length, 0);
  PutHeader(f, magic, 0xF1, 1, 0, 0, 0, 0);
  return f;
}

std::vector<Bytes> FramesIn(const Bytes& data, uint32_t magic, bool video_only) {
  std::vector<Bytes> out;
  size_t i = 0;
  while (i + 24 <= data.size()) {
    if (LoadLE32(&data[i]) != magic) {
      ++i;
      continue;
    }
    const uint32_t len = LoadLE32(&data[i + 12]);
    if (len < 24 || len > data.size() - i) {
      ++i;
      continue;
    }
    const uint8_t type = data[i + 4];
    if (!video_only || type == 0xFC || type == 0xFD)
      out.emplace_back(data.begin() + static_cast<std::ptrdiff_t>(i),
                       data.begin() + static_cast<std::ptrdiff_t>(i + len));
    i += len;
  }
  return out;
}

DahuaDisk::DahuaDisk(int32_t brand, const std::string& path, int64_t size)
    : variant_(DahuaVariantFor(brand)), image_(path, size) {}

int DahuaDisk::AddArea(const DahuaAreaSpec& spec) {
  if (spec.block_size % spec.unit != 0 || spec.index_offset % spec.unit != 0 ||
      spec.data_offset % spec.unit != 0)
    throw std::invalid_argument("area positions must be whole units");
  Area a;
  a.spec = spec;
  a.index.assign(static_cast<size_t>(spec.entries) * 32, 0);
  areas_.push_back(std::move(a));
  return static_cast<int>(areas_.size()) - 1;
}

int64_t DahuaDisk::DataStart(int area) const {
  const auto& s = areas_.at(static_cast<size_t>(area)).spec;
  return s.base + s.data_offset;
}

int64_t DahuaDisk::BlockOffset(int area, uint32_t block) const {
  const auto& s = areas_.at(static_cast<size_t>(area)).spec;
  return DataStart(area) + static_cast<int64_t>(block) * s.block_size;
}

void DahuaDisk::SetEntry(int area, uint32_t index, uint8_t channel, uint32_t start, uint32_t end,
                         uint32_t next, uint32_t previous) {
  auto& a = areas_.at(static_cast<size_t>(area));
  uint8_t* e = &a.index.at(static_cast<size_t>(index) * 32);
  std::memset(e, 0, 32);
  e[1] = static_cast<uint8_t>((channel - 1) & 0x0F);
  StoreLE32(e + 4, start);
  StoreLE32(e + 8, end);
  StoreLE32(e + 12, next);
  StoreLE32(e + 20, previous);
}

DahuaPlanted DahuaDisk::Plant(const DahuaRecordingSpec& spec) {
  const auto& area = areas_.at(static_cast<size_t>(spec.area));
  const uint32_t size = area.spec.block_size;
  const uint32_t magic = variant_.magic;
  const auto& units = TestFrames();
  DahuaPlanted planted;
  int k = 0;
  size_t si = 0;
  auto out_of_frames = [&] { return spec.frames > 0 && k >= spec.frames; };
  for (size_t bi = 0; bi < spec.blocks.size() && !out_of_frames(); ++bi) {
    const uint32_t block = spec.blocks[bi];
    const int64_t at = BlockOffset(spec.area, block);
    Bytes blk(size, 0);
    size_t pos = 0;
    if (spec.block_header >= 8) {
      StoreLE32(&blk[0], kDahuaBlockHeaderMagic);
      StoreLE32(&blk[4], spec.block_header);
      pos = spec.block_header;
    }
    auto place = [&](const Bytes& f) {
      std::copy(f.begin(), f.end(), blk.begin() + static_cast<std::ptrdiff_t>(pos));
      pos += f.size();
      planted.bytes += static_cast<int64_t>(f.size());
    };
    int64_t m = 1;  // next inner chunk boundary: m * chunk
    uint32_t first_time = 0, last_time = 0;
    const size_t end_target = spec.end == BlockEnd::kPadded ? size - 400 : size;
    while (!out_of_frames()) {
      const Bytes& unit = units[static_cast<size_t>(k) % units.size()];
      const uint32_t time = AddSeconds(spec.start_time, k / 25);
      Bytes f = DahuaVideoFrame(magic, spec.channel, time, frame_number_, unit, IsKeyFrame(unit));
      const size_t video_size = f.size();
      if (spec.filler >= 32) {
        const Bytes pad = DahuaFillerFrame(magic, spec.filler);
        f.insert(f.end(), pad.begin(), pad.end());
      }
      const int64_t bnd = m * spec.chunk;
      if (bnd < static_cast<int64_t>(size) && !spec.straddles.empty()) {
        const int r = spec.straddles[si % spec.straddles.size()];
        if (r >= 0) {
          const size_t tp = static_cast<size_t>(bnd - r);
          if (pos <= tp && pos + f.size() + 32 > tp) {
            if (pos < tp) place(DahuaFillerFrame(magic, static_cast<uint32_t>(tp - pos)));
          }
        }
      }
      if (pos + f.size() + 32 > end_target) {
        if (spec.end == BlockEnd::kExact) {
          place(DahuaFillerFrame(magic, static_cast<uint32_t>(size - pos)));
        } else if (spec.end == BlockEnd::kPadded) {
          place(DahuaFillerFrame(magic, static_cast<uint32_t>(end_target - pos)));
          place(DahuaFillerFrame(magic, 200));
        }
        break;
      }
      planted.video.emplace_back(f.begin(), f.begin() + static_cast<std::ptrdiff_t>(video_size));
      planted.offsets.push_back(at + static_cast<int64_t>(pos));
      place(f);
      if (first_time == 0) first_time = time;
      last_time = time;
      ++k;
      ++frame_number_;
      while (m * spec.chunk < static_cast<int64_t>(pos)) {
        ++m;
        ++si;
      }
    }
    image_.Write(at, blk);
    planted.blocks.push_back(std::move(blk));
    if (spec.link) {
      const uint32_t none = area.spec.entries;
      const uint32_t prev = bi > 0 ? spec.blocks[bi - 1] : none;
      const bool more = bi + 1 < spec.blocks.size() && !out_of_frames();
      const uint32_t next = more ? spec.blocks[bi + 1] : none;
      SetEntry(spec.area, block, spec.channel, first_time, last_time, next, prev);
    }
  }
  return planted;
}

void DahuaDisk::Finish() {
  if (in_table_ && !areas_.empty()) {
    uint8_t marker[4];
    StoreLE32(marker, kDahuaAreaMarker);
    image_.Write(variant_.marker_position, marker, 4);
    for (size_t i = 0; i < areas_.size(); ++i) {
      uint8_t slot[64] = {};
      StoreLE64(slot, areas_[i].spec.header_offset / 512);
      StoreLE64(slot + variant_.base_field, static_cast<uint64_t>(areas_[i].spec.base) / 512);
      image_.Write(static_cast<int64_t>(variant_.first_slot + i * 64), slot, sizeof slot);
    }
  }
  for (const Area& a : areas_) {
    const auto& s = a.spec;
    uint8_t h[512] = {};
    StoreLE32(h + 0x2C, s.unit);
    StoreLE32(h + 0x30, s.block_size / s.unit);
    StoreLE32(h + 0x44, static_cast<uint32_t>(s.index_offset / s.unit));
    StoreLE32(h + 0x48, static_cast<uint32_t>(s.data_offset / s.unit));
    StoreLE32(h + 0x4C, s.entries);
    StoreLE32(h + 0x148, kDahuaAreaMarker);
    image_.Write(s.base + static_cast<int64_t>(s.header_offset), h, sizeof h);
    image_.Write(s.base + s.index_offset, a.index);
  }
}

void DahuaDisk::WipeIndex() {
  image_.Wipe(variant_.marker_position, 4);
  image_.Wipe(variant_.first_slot, static_cast<int64_t>(areas_.size()) * 64);
  for (const Area& a : areas_) {
    image_.Wipe(a.spec.base + static_cast<int64_t>(a.spec.header_offset), 512);
    image_.Wipe(a.spec.base + a.spec.index_offset, static_cast<int64_t>(a.index.size()));
  }
}

}  // namespace orvane::synth
