#include "core_links.h"

#include <algorithm>

#include "device/device_list.h"

namespace orvane::gui {

void EnumerateInto(std::vector<DeviceInfo>& devices) { EnumerateDevices(devices); }

bool AddImageTo(std::vector<DeviceInfo>& devices, const std::string& path,
                const std::string& second_text) {
  return AddImage(devices, path, second_text);
}

void RemoveDevicesExcept(std::vector<DeviceInfo>& devices, int32_t kind) {
  RemoveDevicesExceptKind(devices, kind);
}

int32_t IdentifyBrandOf(const DeviceInfo&, ScanParameters&) { return 0; }

int32_t SampleBrandOf(const DeviceInfo&, const std::function<void(int)>&) { return 0; }

std::string StreamBrandText(int32_t) { return "未知监控"; }

}  // namespace orvane::gui
