#include "device/device_label.h"

#include <charconv>

#include "device/format_text.h"
#include "scan/identify.h"

namespace orvane {

std::string BrandTreeText(int32_t code) { return std::string(DiskBrandText(code)); }

int32_t PreselectedBrand(std::string_view t) {
  if (t == "海康") return 1;
  if (t == "大华") return 2;
  if (t == "WFS") return 3;
  auto has = [&](std::string_view s) { return t.find(s) != std::string_view::npos; };
  if (has("华亿")) return 5;
  if (has("波粒")) return 4;
  if (has("美电贝尔")) return 6;
  if (has("中维监控")) return 7;
  if (has("智灵监控")) return 8;
  return 0;
}

std::string DeviceItemText(const DeviceInfo& d, std::string_view brand_text) {
  return "[#" + std::to_string(d.number) + "] " + d.name + " [" + d.serial + "] [" +
         FormatSize(d.size) + "] [" + std::string(brand_text) + "]";
}

std::string FileSystemText(int32_t kind) {
  switch (kind) {
    case 1: return "NTFS";
    case 2: return "FAT32";
    case 3: return "FAT16";
    default: return "unKnown";
  }
}

std::string PartitionItemText(const PartitionRecord& p) {
  return p.name + " [" + FileSystemText(p.kind) + "] [" + FormatSize(p.start) + "] [" +
         FormatSize(p.length) + "]";
}

ItemReference ParseDeviceItemText(std::string_view text) {
  ItemReference ref;
  const size_t hash = text.find('#');
  const size_t close = text.find(']');
  if (hash == std::string_view::npos || close == std::string_view::npos || hash == 0 ||
      hash >= close)
    return ref;
  // Decimal value as a C conversion reads it: optional sign, digits, else 0.
  std::string_view digits = text.substr(hash + 1, close - hash - 1);
  int32_t number = 0;
  const char* first = digits.data();
  const char* last = digits.data() + digits.size();
  if (first != last && *first == '+') ++first;
  if (std::from_chars(first, last, number).ec != std::errc{}) number = 0;
  ref.has_number = true;
  ref.number = number;
  const size_t open_last = text.rfind('[');
  const size_t close_last = text.rfind(']');
  if (open_last != std::string_view::npos && open_last > 0 && open_last < close_last)
    ref.brand_text = std::string(text.substr(open_last + 1, close_last - open_last - 1));
  return ref;
}

const DeviceInfo* FindDeviceByNumber(const std::vector<DeviceInfo>& devices, int32_t number) {
  if (number < 0) return nullptr;
  for (const auto& d : devices)
    if (d.number == number) return &d;
  return nullptr;
}

std::string SourceDeviceText(const DeviceInfo& d) {
  return d.name + "---" + d.serial + "---#" + std::to_string(d.number);
}

}  // namespace orvane
