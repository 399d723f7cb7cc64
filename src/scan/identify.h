#pragma once
// Telling a disk's recorder brand without asking the user: by the fixed
// structures at the start of the disk (the device tree), or by the frame
// signatures in samples of its recorded data (the auto-identify dialog).
// Results are brand codes 1..8; 0 when nothing matched.

#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "device/device_info.h"

namespace orvane {

struct ScanParameters;

// IdentifyDiskBrand's result when the device could not be opened or read.
inline constexpr int32_t kBrandUnreadable = -1;
inline constexpr int32_t kDiskHeadBytes = 0x200000;

// Reads the first 2 MiB and applies DiskHeadBrand. Posts "打开源设备失败"
// and returns -1 when the device cannot be opened. A read failure posts
// "读取设备失败,可能存在坏道"; the readable sectors are still tested, and only
// when none could be read is the result -1.
int32_t IdentifyDiskBrand(const DeviceInfo& device);
int32_t IdentifyDiskBrand(const DeviceInfo& device, ScanParameters& params);
// The tests on the first 2 MiB of a disk, in their order (a shorter buffer
// is as if zero-filled).
int32_t DiskHeadBrand(std::span<const uint8_t> head);

// The earliest frame signature of a sample; at one position Hikvision, WFS,
// Dahua, Huayi, Meidian Bell, Jovision, Boli in that order. Samples are
// 1 MiB; the last 512 bytes only complete signatures that start before them.
int32_t IdentifyStreamBrand(std::span<const uint8_t> sample);
int32_t IdentifyStreamBrand(const ScanParameters& params, std::span<const uint8_t> sample);

// Texts of a result: "海康" ... "unKnown" beside a device in the device tree,
// "海康监控" ... "未知监控" in the status column of the auto-identify dialog.
std::string_view DiskBrandText(int32_t code);
std::string_view StreamBrandText(int32_t code);

// The auto-identify dialog's texts.
inline constexpr std::string_view kAutoIdentifyCaption = "自动识别";
inline constexpr std::string_view kAutoIdentifyRunning = "正在解析...";
inline constexpr std::string_view kAutoIdentifyUnknown = "未知监控";
inline constexpr std::string_view kAutoIdentifyNoneTicked = "参数设置错误，请重新设置";
inline constexpr std::string_view kAutoIdentifyBusy = "请等待其他线程执行完成";

// Where the samples are taken: four windows of 1 MiB from 0xBF20000 on, a
// fifth of the device apart.
inline constexpr int64_t kSampleStart = 0xBF20000;
inline constexpr int32_t kSampleSize = 0x100000;
inline constexpr int kSampleCount = 4;
// The progress bar of the dialog runs over 0..kSampleProgressMax.
inline constexpr int kSampleProgressMax = 3;

// Samples one device: the brand of the first window that shows a signature,
// 0 when none does or the device cannot be opened. An unreadable or short
// window reads as zeros where it could not be read. `on_sample(i)` is called
// after window i showed nothing (the dialog's progress position).
int32_t SampleStreamBrand(const DeviceInfo& device,
                          const std::function<void(int)>& on_sample = {});

// The worker loop of the dialog over its ticked rows, in order: the row's
// status turns to "正在解析...", then to the text of its result. A stop
// request is honoured between devices; rows not reached keep their status.
struct AutoIdentifyCallbacks {
  std::function<void(size_t row, std::string_view status)> status;
  std::function<void(int position)> progress;
  std::function<void(size_t row, int32_t brand)> done;
};
void RunAutoIdentify(std::span<const DeviceInfo* const> ticked, const AutoIdentifyCallbacks& cb,
                     const std::atomic<int32_t>* stop = nullptr);

}  // namespace orvane
