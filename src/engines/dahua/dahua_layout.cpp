#include "engines/dahua/dahua_layout.h"

#include <algorithm>
#include <limits>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "scan/task_head.h"

namespace orvane {

bool IsValidAreaHeader(std::span<const uint8_t> h) {
  uint32_t marker = 0, unit = 0, per_block = 0, entries = 0;
  if (!ReadLE32(h, 0x148, marker) || !ReadLE32(h, 0x2C, unit) || !ReadLE32(h, 0x30, per_block) ||
      !ReadLE32(h, 0x4C, entries))
    return false;
  if (marker != kDahuaAreaMarker) return false;
  const uint64_t block = static_cast<uint64_t>(unit) * per_block;
  if (block == 0 || block > kDahuaMaxBlockSize) return false;
  if ((unit & 0x1FF) != 0) return false;
  const uint64_t index_bytes = static_cast<uint64_t>(entries) * kDahuaIndexEntrySize;
  return index_bytes != 0 && index_bytes <= kDahuaMaxIndexBytes;
}

std::vector<DahuaArea> AreasFromTable(std::span<const uint8_t> first, const DahuaVariant& v) {
  std::vector<DahuaArea> areas;
  uint32_t marker = 0;
  if (ReadLE32(first, v.marker_position, marker) && marker == kDahuaAreaMarker) {
    for (size_t slot = v.first_slot; slot < kDahuaTableSlotLimit; slot += kDahuaSlotSize) {
      uint64_t header_sector = 0, base_sector = 0;
      if (!ReadLE64(first, slot, header_sector) || !ReadLE64(first, slot + v.base_field, base_sector))
        break;
      if (header_sector == 0 || (header_sector >> 32) != 0 || header_sector > kDahuaMaxHeaderSector)
        break;
      // A base beyond any device offset is as good as the end of the table.
      if (base_sector > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()) / 512) break;
      const DahuaArea area{header_sector * 512, base_sector * 512};
      if (!areas.empty() && area.base <= areas.back().base) break;
      areas.push_back(area);
    }
  }
  if (!areas.empty()) return areas;
  for (int k = 0; k < v.fallback_count; ++k) {
    const size_t at = v.fallbacks[k];
    if (!FieldFits(first.size(), at, kDahuaAreaHeaderSize)) continue;
    if (IsValidAreaHeader(first.subspan(at, kDahuaAreaHeaderSize))) {
      areas.push_back({at, 0});
      break;
    }
  }
  return areas;
}

std::vector<DahuaArea> FindAreas(SourceDevice& dev, const DahuaVariant& v) {
  std::vector<uint8_t> first(kDahuaTableBytes, 0);
  // A disk smaller than the table window is read as far as it goes.
  int64_t want = static_cast<int64_t>(kDahuaTableBytes);
  const int64_t size = dev.Size();
  if (size > 0 && size < want) want = size;
  dev.Read(0, first.data(), static_cast<int32_t>(want));
  if (!dev.ok()) {
    PostError(kMsgReadFailed);
    return {};
  }
  return AreasFromTable(first, v);
}

bool AreaGeometry(std::span<const uint8_t> h, const DahuaArea& area, DahuaAreaGeometry& out) {
  const uint32_t unit = LE32OrZero(h, 0x2C);
  const uint32_t per_block = LE32OrZero(h, 0x30);
  const uint64_t index_units = LE32OrZero(h, 0x44);
  const uint64_t data_units = LE32OrZero(h, 0x48);
  out.entry_count = LE32OrZero(h, 0x4C);
  const uint64_t block = static_cast<uint64_t>(unit) * per_block;
  out.block_size = block > kDahuaMaxBlockSize ? 0 : static_cast<uint32_t>(block);
  // unit < 2^32 and the unit counts < 2^32, so each product fits 64 bits;
  // only the sum with the base can leave the device offset range.
  constexpr uint64_t kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  const uint64_t index_start = area.base + index_units * unit;
  const uint64_t data_start = area.base + data_units * unit;
  const uint64_t index_end = index_start + static_cast<uint64_t>(out.entry_count) * kDahuaIndexEntrySize;
  if (area.base > kMax / 2 || index_start > kMax / 2 || data_start > kMax / 2 || index_end > kMax / 2)
    return false;
  out.index_start = static_cast<int64_t>(index_start);
  out.index_end = static_cast<int64_t>(index_end);
  out.data_start = static_cast<int64_t>(data_start);
  return true;
}

DahuaIndexEntry DecodeIndexEntry(std::span<const uint8_t> b) {
  DahuaIndexEntry e;
  e.channel = static_cast<uint8_t>(((b.size() > 1 ? b[1] : 0) & 0x0F) + 1);
  e.start_time = LE32OrZero(b, 4);
  e.end_time = LE32OrZero(b, 8);
  e.next = LE32OrZero(b, 12);
  e.previous = LE32OrZero(b, 20);
  e.third = LE32OrZero(b, 24);
  return e;
}

bool IndexEntryInUse(const DahuaIndexEntry& e, uint32_t count) {
  return IsValidPackedTime(e.start_time) && IsValidPackedTime(e.end_time) && e.next <= count &&
         e.previous <= count && e.third <= count;
}

DahuaFrame ParseFrameHeader(std::span<const uint8_t> b, uint32_t magic) {
  DahuaFrame f;
  if (b.size() < kDahuaFrameHeaderSize || LoadLE32(b.data()) != magic) return f;
  const uint8_t type = b[4];
  const uint32_t length = LoadLE32(b.data() + 12);
  const bool length_ok = length > kDahuaFrameHeaderSize && length <= kDahuaMaxFrameLength;
  if (type == 0xFC || type == 0xFD) {
    const uint32_t time = LoadLE32(b.data() + 16);
    if (!length_ok || !IsValidPackedTime(time)) return f;
    f.kind = kDahuaTimeFrame;
    f.time = time;
    f.channel = static_cast<uint8_t>(b[6] + 1);
  } else {
    if (!length_ok) return f;
    f.kind = kDahuaPlainFrame;
  }
  f.length = length;
  return f;
}

}  // namespace orvane
