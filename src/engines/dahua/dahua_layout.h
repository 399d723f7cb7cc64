#pragma once
// On-disk structures of the Dahua-family layout: the area table in the first
// 2 MiB, the 512-byte area header, the 32-byte index entries and the frame
// header that starts every frame in a data block. Each decoder takes the
// bytes it may look at and never reads past them.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "engines/dahua/dahua_variant.h"

namespace orvane {

class SourceDevice;

inline constexpr uint32_t kDahuaAreaMarker = 0x55AA55AAu;
inline constexpr size_t kDahuaTableBytes = 0x200000;     // read from offset 0
inline constexpr size_t kDahuaTableSlotLimit = 0x1FBC00;  // slots start below this
inline constexpr size_t kDahuaSlotSize = 64;
inline constexpr uint64_t kDahuaMaxHeaderSector = 0x200000;
inline constexpr size_t kDahuaAreaHeaderSize = 512;
inline constexpr size_t kDahuaIndexEntrySize = 32;
inline constexpr uint64_t kDahuaMaxBlockSize = 0xA00000;     // 10 MiB
inline constexpr uint64_t kDahuaMaxIndexBytes = 0x1F400000;  // 16,384,000 entries
inline constexpr uint32_t kDahuaBlockHeaderMagic = 0x49494844u;  // "DHII"
inline constexpr size_t kDahuaFrameHeaderSize = 20;
inline constexpr uint32_t kDahuaMaxFrameLength = 0x1FFFFF;

struct DahuaArea {
  uint64_t header_offset = 0;  // relative to the base
  uint64_t base = 0;           // absolute
  bool operator==(const DahuaArea&) const = default;
};

// The area-header test shared with brand identification: marker at 0x148,
// block size 1..10 MiB, unit size a multiple of 512, 1..16,384,000 entries.
// A span shorter than the fields it needs fails.
bool IsValidAreaHeader(std::span<const uint8_t> header);

// Areas of the table held in `first` (the first 2 MiB of the disk, or less
// when the disk is smaller), pruned to strictly rising bases, or the first
// fallback header of the variant that passes the check.
std::vector<DahuaArea> AreasFromTable(std::span<const uint8_t> first, const DahuaVariant& v);
// Reads the first 2 MiB and applies AreasFromTable. A failed read posts
// "读取设备失败,可能存在坏道" and gives no areas.
std::vector<DahuaArea> FindAreas(SourceDevice& dev, const DahuaVariant& v);

// Positions derived from a header that passed IsValidAreaHeader.
struct DahuaAreaGeometry {
  uint32_t block_size = 0;
  uint32_t entry_count = 0;
  int64_t index_start = 0;  // absolute
  int64_t index_end = 0;
  int64_t data_start = 0;
};
// False when a position does not fit a device offset (a damaged header).
bool AreaGeometry(std::span<const uint8_t> header, const DahuaArea& area, DahuaAreaGeometry& out);

struct DahuaIndexEntry {
  uint8_t channel = 0;  // 1..16
  uint32_t start_time = 0;
  uint32_t end_time = 0;
  uint32_t next = 0;
  uint32_t previous = 0;
  uint32_t third = 0;
};
// Decodes 32 bytes (shorter input reads as zeros).
DahuaIndexEntry DecodeIndexEntry(std::span<const uint8_t> bytes);
// Valid times and link fields no greater than the entry count.
bool IndexEntryInUse(const DahuaIndexEntry& e, uint32_t entry_count);

enum DahuaFrameKind : uint8_t {
  kDahuaNoFrame = 0,
  kDahuaTimeFrame = 1,
  kDahuaPlainFrame = 2,
};

struct DahuaFrame {
  uint8_t kind = kDahuaNoFrame;
  uint32_t length = 0;  // header included
  uint32_t time = 0;    // 0 for plain frames
  uint8_t channel = 0;  // byte 6 plus 1 for time frames
};

// Classifies the bytes at a position; fewer than 20 bytes are no frame.
DahuaFrame ParseFrameHeader(std::span<const uint8_t> bytes, uint32_t magic);
inline DahuaFrame ParseFrameHeader(const uint8_t* p, size_t avail, uint32_t magic) {
  return ParseFrameHeader(std::span<const uint8_t>(p, avail), magic);
}

}  // namespace orvane
