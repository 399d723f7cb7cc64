#pragma once
// What the fuzz targets share: a disk image held in memory (zeros behind the
// bytes given, up to any size), a scratch task file of this process, and the
// parse job run as the command line runs it.

#include <cstdint>
#include <span>
#include <string>

#include "device/device_info.h"

namespace orvane {
struct ScanParameters;
}

namespace orvane::fuzz {

// An image device of `size` bytes holding `bytes` (copied) from offset `at`
// on; the rest reads as zeros.
DeviceInfo MemoryImage(std::span<const uint8_t> bytes, int64_t size, int64_t at = 0);

// A task file path of this process on a memory file system where there is
// one; removed when the process ends.
const std::string& ScratchTaskPath();

// Writes `bytes` as the whole scratch task file.
void WriteScratchTask(std::span<const uint8_t> bytes);

// The parse worker on `device` over the whole device, then page 0 loaded
// back, as `orvane parse` runs it. A smart value of -1 is detected, as when
// the user gives none.
void RunParseOver(const DeviceInfo& device, int32_t brand, int32_t mode, int32_t version,
                  ScanParameters& p, int64_t smart_value = -1);

// The brand and the input's bytes behind the selector byte that picked it.
struct Selected {
  int32_t brand;
  std::span<const uint8_t> rest;
};
// Picks one of `brands` with the first input byte.
Selected SelectBrand(std::span<const uint8_t> input, std::span<const int32_t> brands);

}  // namespace orvane::fuzz
