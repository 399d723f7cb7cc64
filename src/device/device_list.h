#pragma once
// The list of source devices: the drives of the machine, then the images the
// user opened. Drive number N is the Nth whole-disk block device under
// /sys/block in name order, leaving out RAM disks, zram and unbound loop
// devices; a drive that cannot be opened keeps its number but is not listed.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_info.h"
#include "device/device_query.h"

namespace orvane {

using DeviceList = std::vector<DeviceInfo>;

inline constexpr std::string_view kMsgEnumerating = "正在枚举设备中 ...";
inline constexpr std::string_view kMsgEnumerationDone = "设备枚举任务结束";
inline constexpr std::string_view kMsgOpenImageFailed = "打开镜像文件失败";

// What an enumeration saw, beyond the devices it listed.
struct EnumerationReport {
  int candidates = 0;  // drives the kernel lists
  int listed = 0;      // drives opened and added
  int denied = 0;      // drives left out because this user may not read them
};

// The drive candidates in drive-number order (index = drive number).
std::vector<std::string> DriveCandidates(DeviceQuery& query);

// Fills `out` for the candidate `block_name` numbered `number`: name, serial,
// size, partitions. False when it cannot be opened; `open_error` gets errno.
bool DescribeDrive(DeviceQuery& query, const std::string& block_name, int32_t number,
                   DeviceInfo& out, int* open_error = nullptr);

// Rebuilds the drive part of `list` (images stay, behind the drives) and
// names mounted partitions by their mount points.
EnumerationReport EnumerateDevices(DeviceList& list, DeviceQuery& query);
EnumerationReport EnumerateDevices(DeviceList& list);  // this machine

// Gives every partition of `list` that a mounted partition of the same drive
// starts at the mount point as its name.
void NameMountedPartitions(DeviceList& list, DeviceQuery& query);

// Appends the image at `path`, numbered device count × 10, with `second` as
// its serial text. Posts kMsgOpenImageFailed and adds nothing on failure.
bool AddImage(DeviceList& list, const std::string& path, const std::string& second);
// The second text the open-image command passes: the file name up to its
// last dot.
std::string ImageSecondText(const std::string& path);

// Removes every device whose kind differs from `kind`; 0 removes all.
void RemoveDevicesExceptKind(DeviceList& list, int32_t kind);

// The text at `offset` of a device descriptor: hexadecimal digit pairs are
// decoded, else the printable bytes up to the terminating 0 are taken, else
// empty; optionally byte pairs swapped; white space trimmed.
std::string DescriptorText(std::span<const uint8_t> descriptor, int64_t offset, bool swap = false);
// The same rule on a text that starts at the first byte of `text` (ending at
// its first 0 byte or, when it has none, at its end).
std::string DecodeDescriptorText(std::span<const uint8_t> text, bool swap = false);

// The serial of a unit serial number page (VPD 0x80) with spaces removed.
std::string SerialFromVpd80(std::span<const uint8_t> page);

}  // namespace orvane
