#pragma once
// --map FILE of the scan and export commands: the map of a rescue copy,
// whose unread areas are then treated as unreadable.

#include <memory>
#include <string>

#include "device/device_info.h"
#include "imaging/rescue_map.h"

namespace orvane::cli {

// Loads the map; a map that cannot be read is an error (message printed).
bool LoadMapOption(const std::string& path, std::shared_ptr<const RescueMap>& map);
// Loads the map and makes `device` read through it. Nothing happens when
// `path` is empty.
bool ApplyMapOption(const std::string& path, DeviceInfo& device,
                    std::shared_ptr<const RescueMap>& map);

}  // namespace orvane::cli
