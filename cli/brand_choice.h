#pragma once
// The brand of a device for a command that was not told it: the disk's
// first sectors are asked first, then samples of its recorded data.

#include <cstdint>
#include <string>

#include "device/device_info.h"

namespace orvane::cli {

struct BrandChoice {
  int32_t brand = 0;  // 1..8; 0 when nothing was recognised
  std::string how;    // "first sectors" or "stream samples"
};

// Identifies the brand and prints which one was chosen and how; when nothing
// is recognised, prints why the command cannot go on (brand 0).
BrandChoice ChooseBrand(const DeviceInfo& device, const std::string& device_text);

}  // namespace orvane::cli
