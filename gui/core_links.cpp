#include "core_links.h"

#include <algorithm>

#include "device/device_list.h"
#include "imaging/unread_areas.h"
#include "scan/identify.h"

namespace orvane::gui {

void EnumerateInto(std::vector<DeviceInfo>& devices) { EnumerateDevices(devices); }

bool AddImageTo(std::vector<DeviceInfo>& devices, const std::string& path,
                const std::string& second_text) {
  if (!AddImage(devices, path, second_text)) return false;
  // What a rescue copy could not read is then never read, by any scan.
  UseMapBesideImage(devices.back());
  return true;
}

void RemoveDevicesExcept(std::vector<DeviceInfo>& devices, int32_t kind) {
  RemoveDevicesExceptKind(devices, kind);
}

int32_t IdentifyBrandOf(const DeviceInfo& device, ScanParameters& params) {
  return IdentifyDiskBrand(device, params);
}

int32_t SampleBrandOf(const DeviceInfo& device, const std::function<void(int)>& sampled) {
  return SampleStreamBrand(device, sampled);
}

std::string StreamBrandText(int32_t code) { return std::string(orvane::StreamBrandText(code)); }

}  // namespace orvane::gui
