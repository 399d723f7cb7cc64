#include "engines/hikvision/hikvision_layout.h"

#include <cstring>

#include "device/byte_order.h"
#include "scan/task_head.h"

namespace orvane::hikvision {

uint64_t DiskLayout::BlockCount() const {
  return block_size > 0 ? data_area / static_cast<uint64_t>(block_size) : 0;
}

DiskLayout ParseDiskHeader(std::span<const uint8_t> sector, int64_t device_size) {
  DiskLayout fixed;
  fixed.data_area =
      device_size > kDefaultFirstBlock ? static_cast<uint64_t>(device_size - kDefaultFirstBlock) : 0;

  if (!BytesEqual(sector, kSignatureOffset, kSignature, sizeof kSignature)) return fixed;
  uint64_t first = 0, area = 0, block = 0;
  if (!ReadLE64(sector, kFirstBlockField, first) || !ReadLE64(sector, kDataAreaField, area) ||
      !ReadLE64(sector, kBlockSizeField, block))
    return fixed;
  const auto block_size = static_cast<int64_t>(block);
  if (first > kMaxFirstBlock || block_size < kMinBlockSize ||
      area % static_cast<uint64_t>(block_size) != 0)
    return fixed;
  DiskLayout layout;
  layout.first_block = static_cast<int64_t>(first);
  layout.data_area = area;
  layout.block_size = block_size;
  layout.from_header = true;
  return layout;
}

int64_t VisitedBlockCount(const DiskLayout& layout, int64_t device_size) {
  uint64_t n = layout.BlockCount();
  if (device_size > 0) {
    const int64_t behind = device_size - layout.first_block;
    const uint64_t on_device =
        behind > 0 ? (static_cast<uint64_t>(behind) + static_cast<uint64_t>(layout.block_size) - 1) /
                         static_cast<uint64_t>(layout.block_size)
                   : 0;
    if (n > on_device) n = on_device;
  }
  // Block bases must stay inside int64 arithmetic.
  const uint64_t limit =
      static_cast<uint64_t>((INT64_MAX - layout.first_block - kIndexOffsetInBlock - kIndexSize) /
                            layout.block_size);
  if (n > limit) n = limit;
  return static_cast<int64_t>(n);
}

IndexEntry DecodeIndexEntry(std::span<const uint8_t> index, size_t offset) {
  IndexEntry e;
  if (FieldFits(index.size(), offset + kEntryChannel, 1)) e.channel = index[offset + kEntryChannel];
  e.end_time = LE32OrZero(index, offset + kEntryEndTime);
  e.start_time = LE32OrZero(index, offset + kEntryStartTime);
  e.start = LE32OrZero(index, offset + kEntryStart);
  e.end = LE32OrZero(index, offset + kEntryEnd);
  return e;
}

bool IsPlausibleUnixTime(uint32_t seconds) {
  CivilTime t;
  if (!DecodeTime(TimeUnixUtc, seconds, t)) return false;
  return t.year >= 2010 && t.year <= kLatestPlausibleYear && t.month >= 1 && t.month <= 12 &&
         t.day <= 31 && t.hour <= 24 && t.minute <= 60 && t.second <= 60;
}

bool IsValidIndexEntry(const IndexEntry& e) {
  constexpr uint64_t kLimit = 0x40000000;
  constexpr uint64_t kIndex = 0x100000;
  if (uint64_t{e.start} + kIndex > kLimit) return false;
  if (e.end <= e.start || uint64_t{e.end} + kIndex > kLimit) return false;
  return IsPlausibleUnixTime(e.start_time) && IsPlausibleUnixTime(e.end_time);
}

std::optional<TaskRecord> BestIndexEntry(std::span<const uint8_t> index, int64_t block_base) {
  std::optional<TaskRecord> best;
  for (size_t i = 0; i < kIndexEntries; ++i) {
    const size_t at = i * kIndexEntrySize;
    if (!FieldFits(index.size(), at, kIndexEntrySize)) break;
    const IndexEntry e = DecodeIndexEntry(index, at);
    if (!IsValidIndexEntry(e)) continue;
    const auto length = static_cast<int32_t>(e.end - e.start);
    if (best && length <= best->length) continue;
    best = TaskRecord{block_base + e.start, length, e.channel, e.start_time, e.end_time};
  }
  return best;
}

}  // namespace orvane::hikvision
