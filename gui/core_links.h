#pragma once
// The core calls that the windows make on the device list, the brand
// recognisers, the filter and the export, gathered in one place so that each
// window stays a thin layer over them.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/device_info.h"
#include "scan/scan_parameters.h"

namespace orvane::gui {

class RecordingModel;

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

struct RowFilter {
  bool by_date = true;
  uint64_t start_key = 0;
  uint64_t end_key = 0;
  std::vector<int32_t> channels;
};
uint64_t HourKeyOf(int year, int month, int day, int hour);
std::vector<int32_t> ChannelListOf(const std::string& text);
// Entries (of `rows` shown, row r showing entry_of(r)) that pass the filter,
// in row order. Works from the last row to the first; on a stop the rows not
// yet visited are kept as they are.
std::vector<uint32_t> FilterEntries(const ScanParameters& params, int64_t rows,
                                    const std::function<uint32_t(int64_t)>& entry_of,
                                    const RowFilter& filter,
                                    const std::function<void(int64_t)>& visited);

// The export of one selected row or of every ticked row.
void RunExportJob(ScanParameters& params, RecordingModel& model, const std::string& base,
                  bool single, int row);

}  // namespace orvane::gui
