#pragma once
// Partition tables and file-system recognition for the device list.
//
// The walk reads the MBR, the chain of extended boot records, a GPT and a
// sliced label, and probes the start of every partition found for a known
// file system; only partitions whose file system is recognised are listed.
// Tables come from damaged disks, so every offset and count read from them is
// bounded before use: a chain that loops or runs on, or a table that points
// beyond the device, ends that branch of the walk.

#include <cstdint>
#include <span>
#include <string_view>

#include "device/device_info.h"

namespace orvane {

class SourceDevice;

// File-system codes of a partition record.
inline constexpr int32_t kFsNone = 0;
inline constexpr int32_t kFsNtfs = 1;
inline constexpr int32_t kFsFat32 = 2;
inline constexpr int32_t kFsFat16 = 3;
inline constexpr int32_t kFsExfat = 4;
inline constexpr int32_t kFsHfs = 5;
inline constexpr int32_t kFsHfsWrapper = 6;  // HFS wrapper holding an HFS+ volume
inline constexpr int32_t kFsHfsPlus = 7;     // HFS+ or HFSX
inline constexpr int32_t kFsExt2 = 8;
inline constexpr int32_t kFsExt3 = 9;
inline constexpr int32_t kFsExt4 = 10;
inline constexpr int32_t kFsXfs = 11;
inline constexpr int32_t kFsReiser = 12;

// Positions a probe derives from the file system's own boot block, for later
// features. All offsets are absolute byte offsets on the device; fields that
// do not apply to the kind stay 0.
struct PartitionDetails {
  int32_t kind = kFsNone;
  // Cluster size (NTFS, FAT, exFAT) or block size (ext, XFS, ReiserFS, HFS).
  int64_t cluster_size = 0;

  // NTFS.
  int64_t mft_offset = 0;
  int64_t mft_mirror_offset = 0;
  int64_t mft_record_size = 0;

  // FAT16 and FAT32 (exFAT fills the first two and `cluster0_offset`).
  int64_t fat_size = 0;           // bytes of one FAT
  int64_t first_fat_offset = 0;
  int64_t fats_end_offset = 0;    // behind the last FAT
  int64_t cluster0_offset = 0;    // where cluster 0 would lie: data start - 2 clusters

  // The main structure of the other kinds: the ext, XFS and ReiserFS
  // superblock, or the HFS volume header.
  int64_t superblock_offset = 0;
};

// How much of a damaged table the walk follows at most.
inline constexpr int kMaxExtendedDepth = 128;  // nested extended boot records
inline constexpr int kMaxExtendedTables = 1024;  // extended boot records per device

// Fills `device.partitions` from the open `source` (appending, numbering on
// from what the list holds). Unreadable areas post kMsgReadFailed and end only
// that branch.
void AnalysePartitions(SourceDevice& source, DeviceInfo& device);

// Runs every probe on `area` (2050 sectors read at `start`, zero-filled past
// what could be read) and fills `record` and `details` from the first that
// accepts it. `sector_size` is the device's sector size. False when none does.
bool ProbeFileSystem(std::span<const uint8_t> area, int64_t start, int64_t table_length,
                     int32_t sector_size, PartitionRecord& record, PartitionDetails& details);

// The device tree's text of a kind: "NTFS", "FAT32", "FAT16", else "unKnown".
std::string_view FileSystemText(int32_t kind);
// A descriptive name of every kind ("exFAT", "ext4", ...), "unknown" otherwise.
std::string_view FileSystemName(int32_t kind);

}  // namespace orvane
