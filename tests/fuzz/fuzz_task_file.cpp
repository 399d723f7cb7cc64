// A task file as `orvane list` loads it: head, page count, page 0 and the
// texts of every row. Built once per engine (ORVANE_FUZZ_TASK_ENGINE); the
// input's brand, mode and version fields are bent onto that engine's brands
// and the two modes and versions, so that no run is spent on a head that
// loads nothing.

#include <cstdint>
#include <span>
#include <vector>

#include "device/byte_order.h"
#include "fuzz/fuzz_support.h"
#include "recordings/row_text.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace {

using namespace orvane;

std::span<const int32_t> EngineBrands() {
  static constexpr int32_t kHikvision[] = {BrandHikvision};
  static constexpr int32_t kDahua[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};
  static constexpr int32_t kWfs[] = {BrandWfs};
  static constexpr int32_t kBoli[] = {BrandBoli};
  static constexpr int32_t kJovision[] = {BrandJovision};
  switch (ORVANE_FUZZ_TASK_ENGINE) {
    case 1:
      return kHikvision;
    case 2:
      return kDahua;
    case 3:
      return kWfs;
    case 4:
      return kBoli;
    default:
      return kJovision;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> file(data, data + size);
  if (file.size() < kTaskHeadSize) file.resize(kTaskHeadSize);
  const auto brands = EngineBrands();
  StoreLE32(&file[36], 1 + (file[36] & 1));
  StoreLE32(&file[40], static_cast<uint32_t>(brands[file[40] % brands.size()]));
  StoreLE32(&file[44], 1 + (file[44] & 1));
  fuzz::WriteScratchTask(file);

  ScanParameters p;
  p.task_path = fuzz::ScratchTaskPath();
  if (!ReadTaskHead(p, false)) return 0;
  ApplyTaskHead(p);
  (void)TaskPageCount(p);
  LoadTaskPage(p, 0);
  int64_t index = 0;
  for (const RecordingEntry& e : p.recordings) {
    (void)MakeRowTexts(e, index++, p.head.time_kind);
    (void)FormatDateText(p.head.time_kind, e.start_time);
  }
  return 0;
}
