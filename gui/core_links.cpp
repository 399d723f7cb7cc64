#include "core_links.h"

#include <algorithm>

#include "device/device_list.h"
#include "recording_model.h"

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

uint64_t HourKeyOf(int, int, int, int) { return 0; }

std::vector<int32_t> ChannelListOf(const std::string&) { return {}; }

std::vector<uint32_t> FilterEntries(const ScanParameters&, int64_t rows,
                                    const std::function<uint32_t(int64_t)>& entry_of,
                                    const RowFilter&, const std::function<void(int64_t)>&) {
  std::vector<uint32_t> kept;
  for (int64_t r = 0; r < rows; ++r) kept.push_back(entry_of(r));
  return kept;
}

void RunExportJob(ScanParameters&, RecordingModel&, const std::string&, bool, int) {}

}  // namespace orvane::gui
