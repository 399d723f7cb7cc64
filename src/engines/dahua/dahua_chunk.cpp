// Version-1 chunk analysis and the chunk-record codec.

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "engines/dahua/dahua_scan_parts.h"

namespace orvane {

bool AnalyzeChunk(const uint8_t* chunk, size_t n, int64_t offset, uint32_t magic, ChunkSummary& out) {
  out = ChunkSummary{};
  out.offset = offset;
  out.length = static_cast<uint32_t>(n);
  uint8_t magic_bytes[4];
  StoreLE32(magic_bytes, magic);

  size_t i = 0;
  bool absorbed = false;
  enum { kNone, kComplete, kBroken } outcome = kNone;
  while (i < n) {
    if (!absorbed) {
      // Before the run starts only a magic can begin a frame; jump to it.
      i = FindMagic(chunk, i, n, magic);
      if (i >= n) break;
    }
    const DahuaFrame f = ParseFrameHeader(chunk + i, kDahuaFrameHeaderSize, magic);
    if (f.kind == kDahuaNoFrame) {
      if (absorbed) {
        outcome = kBroken;
        break;
      }
      ++i;
      continue;
    }
    const int64_t e = static_cast<int64_t>(i) + f.length;
    const int64_t r = static_cast<int64_t>(n) - e;
    if (r < 0) {
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(e - static_cast<int64_t>(n));
      break;
    }
    if (r == 0) {
      outcome = kComplete;
      break;
    }
    const uint8_t* after = chunk + e;
    if (r < 4) {
      if (std::memcmp(after, magic_bytes, static_cast<size_t>(r)) != 0) {
        outcome = kBroken;
        break;
      }
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(r);
      out.tail_count = static_cast<uint8_t>(r);
      std::memcpy(out.tail, after, static_cast<size_t>(r));
      break;
    }
    if (LoadLE32(after) != magic) {
      outcome = kBroken;
      break;
    }
    if (r < static_cast<int64_t>(kDahuaFrameHeaderSize)) {
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(r);
      out.tail_count = static_cast<uint8_t>(r);
      std::memcpy(out.tail, after, static_cast<size_t>(r));
      break;
    }
    if (!absorbed) out.head_length = static_cast<uint32_t>(i);
    absorbed = true;
    if (f.kind == kDahuaTimeFrame) {
      if (out.first_time == 0) out.first_time = f.time;
      out.last_time = f.time;
      out.channel = f.channel;
    }
    i = static_cast<size_t>(e);
  }

  const bool kept =
      (outcome == kComplete && absorbed) || (outcome == kBroken && out.first_time != 0);
  if (!kept) return false;
  // A run that breaks off inside the chunk still tells by its head which
  // chunk it continues; nothing continues it, so it keeps no tail.
  out.head_count = static_cast<uint8_t>(std::min<uint32_t>(out.head_length, kDahuaMaxHeadBytes));
  std::memcpy(out.head, chunk, out.head_count);
  out.reaches_end = outcome == kComplete ? 1 : 0;
  return true;
}

size_t ChunkRecordSize(const ChunkSummary& s) {
  return kDahuaChunkRecordFixed + s.head_count + s.tail_count;
}

void EncodeChunkRecord(const ChunkSummary& s, uint8_t* out) {
  StoreLE64(out, static_cast<uint64_t>(s.offset));
  StoreLE32(out + 8, s.length);
  out[12] = s.channel;
  StoreLE32(out + 13, s.first_time);
  StoreLE32(out + 17, s.last_time);
  out[21] = s.reaches_end;
  StoreLE32(out + 22, s.head_length);
  out[26] = s.head_count;
  StoreLE32(out + 27, s.tail_value);
  out[31] = s.tail_count;
  std::memcpy(out + 32, s.head, s.head_count);
  std::memcpy(out + 32 + s.head_count, s.tail, s.tail_count);
}

size_t DecodeChunkRecord(std::span<const uint8_t> b, ChunkSummary& s) {
  if (b.size() < kDahuaChunkRecordFixed) return 0;
  const uint8_t* p = b.data();
  const size_t h = p[26];
  const size_t t = p[31];
  const size_t size = kDahuaChunkRecordFixed + h + t;
  if (size > b.size()) return 0;
  s = ChunkSummary{};
  s.offset = static_cast<int64_t>(LoadLE64(p));
  s.length = LoadLE32(p + 8);
  s.channel = p[12];
  s.first_time = LoadLE32(p + 13);
  s.last_time = LoadLE32(p + 17);
  s.reaches_end = p[21];
  s.head_length = LoadLE32(p + 22);
  s.tail_value = LoadLE32(p + 27);
  // A foreign file may claim more bytes than a chunk end can carry: keep
  // what fits the copies, skip the rest with the record.
  s.head_count = static_cast<uint8_t>(std::min(h, kDahuaMaxHeadBytes));
  s.tail_count = static_cast<uint8_t>(std::min(t, kDahuaMaxTailBytes));
  std::memcpy(s.head, p + 32, s.head_count);
  std::memcpy(s.tail, p + 32 + h, s.tail_count);
  return size;
}

int64_t GridStart(int64_t region_start, int64_t smart_value, int32_t buffer) {
  if (buffer <= 0) return region_start;
  if (region_start > smart_value) {
    return smart_value + (region_start - smart_value) / buffer * static_cast<int64_t>(buffer);
  }
  return smart_value;
}

}  // namespace orvane
