#include "brand_choice.h"

#include "cli_common.h"
#include "scan/identify.h"
#include "scan/scan_parameters.h"

namespace orvane::cli {

BrandChoice ChooseBrand(const DeviceInfo& device, const std::string& device_text) {
  BrandChoice choice;
  TerminalSink sink;
  ScopedNotifySink scoped(&sink);
  const int32_t disk = IdentifyDiskBrand(device);
  if (disk >= 1 && disk <= 8) {
    choice = {disk, "first sectors"};
  } else if (disk != kBrandUnreadable) {
    const int32_t sampled = SampleStreamBrand(device);
    if (sampled >= 1 && sampled <= 8) choice = {sampled, "stream samples"};
  }
  if (choice.brand == 0) {
    PrintMessage("错误", "no recorder brand recognised on " + device_text +
                             " (neither its first sectors nor samples of its recorded data); "
                             "name it with --brand");
    return choice;
  }
  PrintMessage("信息", "brand: " + std::string(StreamBrandText(choice.brand)) + " (" +
                           BrandSlug(choice.brand) + "), recognised by its " + choice.how);
  return choice;
}

}  // namespace orvane::cli
