#pragma once
// The texts with which the device tree names drives, images and partitions,
// and the way an item's text leads back to its device. The tree keeps no
// other link, so the two directions live side by side here.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_info.h"

namespace orvane {

// Tree text of an identification result: "海康" ... "智灵监控", else "unKnown".
std::string BrandTreeText(int32_t code);
// The brand the parse dialog preselects for a tree brand text; 0 for none.
int32_t PreselectedBrand(std::string_view brand_text);

// "[#%d] %s [%s] [%s] [%s]": number, name, serial, size, brand text.
std::string DeviceItemText(const DeviceInfo& device, std::string_view brand_text);
// "%s [%s] [%s] [%s]": name, file-system text, start, length.
std::string PartitionItemText(const PartitionRecord& partition);
// "NTFS", "FAT32", "FAT16" for kinds 1..3, else "unKnown".
std::string FileSystemText(int32_t kind);

struct ItemReference {
  bool has_number = false;
  int32_t number = -1;
  std::string brand_text;
};
// Reads the number between the first "#" and the first "]" and the brand
// text between the last "[" and the last "]" of a device item's text.
ItemReference ParseDeviceItemText(std::string_view text);
// The first device with that number, or null.
const DeviceInfo* FindDeviceByNumber(const std::vector<DeviceInfo>& devices, int32_t number);

// "%s---%s---#%d" of a source device, as the parse and load dialogs show it.
std::string SourceDeviceText(const DeviceInfo& device);
}  // namespace orvane
