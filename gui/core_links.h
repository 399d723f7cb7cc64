#pragma once
// The core calls that the windows make on the device list and the brand
// recognisers, gathered in one place so that each
// window stays a thin layer over them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "scan/scan_parameters.h"

namespace orvane::gui {

void EnumerateInto(std::vector<DeviceInfo>& devices);
// False when the image could not be opened (the core has said why).
bool AddImageTo(std::vector<DeviceInfo>& devices, const std::string& path,
                const std::string& second_text);
void RemoveDevicesExcept(std::vector<DeviceInfo>& devices, int32_t kind);
// Brand code from the disk's fixed structures; 0 unknown, -1 unreadable.
int32_t IdentifyBrandOf(const DeviceInfo& device, ScanParameters& params);
// Brand code from samples of the recorded stream; `sampled` reports the
// index of each sample that showed nothing.
int32_t SampleBrandOf(const DeviceInfo& device, const std::function<void(int)>& sampled);
// Text of a sampling result in the auto-identify list.
std::string StreamBrandText(int32_t code);

}  // namespace orvane::gui
