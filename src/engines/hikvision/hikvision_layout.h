#pragma once
// The Hikvision recorder disk: a header at byte 512, equal data blocks behind
// it, and in the last MiB of each block an index of 512-byte entries that
// name the extents of the recordings stored in that block.

#include <cstdint>
#include <optional>
#include <span>

#include "engines/hikvision/hikvision_record.h"

namespace orvane::hikvision {

inline constexpr int64_t kHeaderOffset = 512;
inline constexpr int64_t kHeaderSize = 512;
inline constexpr char kSignature[8] = {'H', 'I', 'K', 'V', 'I', 'S', 'I', 'O'};
inline constexpr size_t kSignatureOffset = 16;
inline constexpr size_t kFirstBlockField = 120;
inline constexpr size_t kDataAreaField = 128;
inline constexpr size_t kBlockSizeField = 136;

// The layout assumed when the header is missing or fails its checks.
inline constexpr int64_t kDefaultFirstBlock = 80'076'800;
inline constexpr int64_t kDefaultBlockSize = 0x40000000;
inline constexpr uint64_t kMaxFirstBlock = 0x100000000ull;
inline constexpr int64_t kMinBlockSize = 0x6400000;

// The index sits 1 GiB - 1 MiB into a block whatever block size the header
// gives: recorders address it that way.
inline constexpr int64_t kIndexOffsetInBlock = 0x3FF00000;
inline constexpr int32_t kIndexSize = 0x100000;
inline constexpr size_t kIndexEntrySize = 512;
inline constexpr size_t kIndexEntries = kIndexSize / kIndexEntrySize;

struct DiskLayout {
  int64_t first_block = kDefaultFirstBlock;
  uint64_t data_area = 0;  // bytes of all blocks
  int64_t block_size = kDefaultBlockSize;
  bool from_header = false;

  // Blocks the data area holds.
  uint64_t BlockCount() const;
  int64_t BlockBase(int64_t block) const { return first_block + block * block_size; }
};

// Reads the header sector (the 512 bytes at device offset 512). When the
// signature or a check fails the fixed layout is used, its data area being
// everything behind the first block.
DiskLayout ParseDiskHeader(std::span<const uint8_t> sector, int64_t device_size);

// Blocks the fast parse visits: the header's count, without the blocks that
// would begin at or past the end of the device (a damaged header may claim
// millions). A device size of 0 (unknown) caps nothing.
int64_t VisitedBlockCount(const DiskLayout& layout, int64_t device_size);

struct IndexEntry {
  uint8_t channel = 0;
  uint32_t end_time = 0;    // Unix seconds
  uint32_t start_time = 0;  // Unix seconds
  uint32_t start = 0;       // byte offset within the block
  uint32_t end = 0;         // exclusive
};

inline constexpr size_t kEntryChannel = 13;
inline constexpr size_t kEntryEndTime = 48;
inline constexpr size_t kEntryStartTime = 56;
inline constexpr size_t kEntryStart = 72;
inline constexpr size_t kEntryEnd = 76;

// Decodes the entry at `offset` of an index area; fields past the buffer read
// as zero.
IndexEntry DecodeIndexEntry(std::span<const uint8_t> index, size_t offset);
// A recorder time is plausible when its UTC year lies within the years
// recorders are known to write.
bool IsPlausibleUnixTime(uint32_t seconds);
// Extent inside the block before the index, end past start, plausible times.
bool IsValidIndexEntry(const IndexEntry& e);

// The recording a block's index names: its longest valid extent, the first of
// equally long ones. None when no entry is valid.
std::optional<TaskRecord> BestIndexEntry(std::span<const uint8_t> index, int64_t block_base);

}  // namespace orvane::hikvision
