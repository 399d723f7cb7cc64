#include "engines/wfs/wfs_blocks.h"

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "engines/wfs/wfs_format.h"

namespace orvane::wfs {

namespace {

void KeepHead(std::span<const uint8_t> buf, uint32_t first_frame, BlockRecord& r) {
  r.head_length = first_frame;
  r.head_count = static_cast<uint8_t>(std::min<uint32_t>(first_frame, kMaxHeadBytes));
  std::memcpy(r.head, buf.data(), r.head_count);
}

void KeepTail(const uint8_t* bytes, uint32_t count, BlockRecord& r) {
  r.tail_value = count;
  r.tail_count = static_cast<uint8_t>(count);
  std::memcpy(r.tail, bytes, count);
}

}  // namespace

bool SummariseBlock(uint64_t offset, std::span<const uint8_t> buf, uint32_t length,
                    BlockRecord& out) {
  out = BlockRecord{};
  out.offset = offset;
  out.length = length;
  out.clean = 1;
  if (buf.size() < size_t{length} + kMaxHeadBytes) return false;
  const uint8_t* p = buf.data();
  const int64_t block = length;
  const std::span<const uint8_t> in_block = buf.first(length);

  int64_t i = 0;
  uint64_t chained = 0;  // bytes of frames followed by a complete header
  uint32_t first_frame = 0;
  uint32_t first_time = 0, last_time = 0;
  bool broken = false;

  while (i < block) {
    if (chained == 0) {
      // Bytes in front of the chain are skipped to the next candidate. A
      // frame whose successor cannot be confirmed does not start a chain:
      // it may be a start code that happens to lie in foreign bytes.
      i = static_cast<int64_t>(FindStartCode(in_block, static_cast<size_t>(i)));
      if (i >= block) break;
    }
    Frame f;
    if (!RecogniseFrame(buf.subspan(static_cast<size_t>(i)), f)) {
      if (chained > 0) {
        broken = true;
        break;
      }
      ++i;
      continue;
    }
    const int64_t e = i + f.size;
    const int64_t rest = block - e;
    // Each header says where the next one is, so the walk waits for memory
    // at every frame; asking for the bytes ahead keeps small frames streaming.
    __builtin_prefetch(p + std::min<int64_t>(e + 512, block));
    if (rest < 0) {
      if (chained == 0) {
        ++i;
        continue;
      }
      KeepHead(buf, first_frame, out);
      out.tail_value = static_cast<uint32_t>(e - block);
      break;
    }
    if (rest == 0) {
      if (chained == 0) {
        ++i;
        continue;
      }
      KeepHead(buf, first_frame, out);
      break;
    }
    if (rest < 4) {
      static constexpr uint8_t kCut[3] = {0, 0, 1};
      const bool cut_header = std::memcmp(p + e, kCut, static_cast<size_t>(rest)) == 0;
      if (chained == 0) {
        ++i;
        continue;
      }
      if (!cut_header) {
        broken = true;
        break;
      }
      KeepHead(buf, first_frame, out);
      KeepTail(p + e, static_cast<uint32_t>(rest), out);
      break;
    }
    const uint32_t next = LoadLE32(p + e);
    if (!IsStartCode(next)) {
      if (chained == 0) {
        ++i;
        continue;
      }
      broken = true;
      break;
    }
    if (static_cast<size_t>(rest) < TestableHeader(next)) {
      if (chained == 0) {
        ++i;
        continue;
      }
      KeepHead(buf, first_frame, out);
      KeepTail(p + e, static_cast<uint32_t>(rest), out);
      break;
    }
    if (chained == 0) first_frame = static_cast<uint32_t>(i);
    if (f.kind == FrameKey) {
      last_time = f.time;
      if (first_time == 0) first_time = f.time;
    }
    chained += f.size;
    i = e;
  }

  out.first_time = first_time;
  out.last_time = last_time;
  if (broken) {
    // The chain ends inside the block, so nothing follows from its end; its
    // head still tells which block it continues.
    out.clean = 0;
    KeepHead(buf, first_frame, out);
    out.tail_value = 0;
    out.tail_count = 0;
    if (first_time == 0) return false;
  }
  return chained > 0;
}

void EncodeBlockRecord(const BlockRecord& r, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + r.EncodedSize());
  uint8_t* p = out.data() + at;
  StoreLE64(p + 0, r.offset);
  StoreLE32(p + 8, r.length);
  p[12] = r.channel;
  StoreLE32(p + 13, r.first_time);
  StoreLE32(p + 17, r.last_time);
  p[21] = r.clean;
  StoreLE32(p + 22, r.head_length);
  p[26] = r.head_count;
  StoreLE32(p + 27, r.tail_value);
  p[31] = r.tail_count;
  std::memcpy(p + 32, r.head, r.head_count);
  std::memcpy(p + 32 + r.head_count, r.tail, r.tail_count);
}

DecodeResult DecodeBlockRecord(std::span<const uint8_t> b, BlockRecord& r, size_t& used) {
  used = 0;
  if (b.size() < kBlockRecordFixed) return DecodeResult::Short;
  const uint8_t* p = b.data();
  const size_t n = p[26];
  const size_t m = p[31];
  used = kBlockRecordFixed + n + m;
  if (b.size() < used) return DecodeResult::Short;
  if (n > kMaxHeadBytes || m > kMaxTailBytes) return DecodeResult::Malformed;
  r = BlockRecord{};
  r.offset = LoadLE64(p + 0);
  r.length = LoadLE32(p + 8);
  r.channel = p[12];
  r.first_time = LoadLE32(p + 13);
  r.last_time = LoadLE32(p + 17);
  r.clean = p[21];
  r.head_length = LoadLE32(p + 22);
  r.head_count = static_cast<uint8_t>(n);
  r.tail_value = LoadLE32(p + 27);
  r.tail_count = static_cast<uint8_t>(m);
  std::memcpy(r.head, p + 32, n);
  std::memcpy(r.tail, p + 32 + n, m);
  return DecodeResult::Ok;
}

void EncodeTimedExtent(const TimedExtent& r, uint8_t out[kV2RecordSize]) {
  StoreLE64(out + 0, r.offset);
  StoreLE32(out + 8, r.length);
  out[12] = r.channel;
  StoreLE32(out + 13, r.start_time);
  StoreLE32(out + 17, r.end_time);
  out[21] = 0;
}

TimedExtent DecodeTimedExtent(const uint8_t in[kV2RecordSize]) {
  TimedExtent r;
  r.offset = LoadLE64(in + 0);
  r.length = LoadLE32(in + 8);
  r.channel = in[12];
  r.start_time = LoadLE32(in + 13);
  r.end_time = LoadLE32(in + 17);
  return r;
}

std::vector<TimedExtent> TimedExtentsOf(const std::vector<BlockRecord>& blocks) {
  std::vector<TimedExtent> out;
  out.reserve(blocks.size());
  uint32_t seen = 0;
  for (const auto& b : blocks) {
    TimedExtent t{b.offset, b.length, b.channel, b.first_time, b.last_time};
    if (b.first_time == 0) {
      t.start_time = seen;
      t.end_time = seen;
    } else {
      seen = b.last_time;
    }
    out.push_back(t);
  }
  return out;
}

}  // namespace orvane::wfs
