#include "scan/dispatch.h"

#include <algorithm>
#include <memory>

#include "device/notify.h"
#include "device/path_kind.h"
#include "device/source_device.h"
#include "engines/boli/boli_engine.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_variant.h"
#include "engines/dahua/detection_chunks.h"
#include "engines/dahua/detection_walk.h"
#include "engines/hikvision/hikvision_engine.h"
#include "engines/jovision/jovision_engine.h"
#include "engines/wfs/wfs_engine.h"
#include "scan/bad_area_parse.h"
#include "scan/clear_ranges.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {
// The WFS fast parse's refusal of a disk without its superblock.
constexpr std::string_view kMsgWfsForeignDisk = "此设备不是WFS监控系统";

void ResetTaskHead(ScanParameters& p) {
  p.recordings.clear();
  p.recordings.shrink_to_fit();
  p.head.mode = p.mode;
  p.head.brand = p.brand;
  p.head.version = p.version;
  p.head.region_end = p.region_end;
  p.head.smart_value = p.smart_value;
  p.head.buffer = p.buffer;
  p.head.scan_position = 0;
  p.head.file_length = kTaskHeadSize;
}
}  // namespace

void PrepareTaskHead(ScanParameters& p) {
  ResetTaskHead(p);
  p.stop.store(0);
}

int64_t SourceSize(const DeviceInfo& source) {
  SourceDevice device;
  device.Open(source);
  const int64_t size = device.is_open() ? device.Size() : 0;
  return size > 0 ? size : std::max<int64_t>(source.size, 0);
}

int64_t ClampRegionToSource(ScanParameters& p) {
  if (p.source == nullptr) return 0;
  const int64_t size = SourceSize(*p.source);
  if (size > 0) p.region_end = std::min(p.region_end, size);
  return size;
}

bool IsParseRefusal(std::string_view text) {
  if (text == kMsgWfsForeignDisk || text == kMsgDahuaBadBuffer) return true;
  for (int32_t brand : {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling})
    if (text == FindDahuaVariant(brand)->foreign_disk) return true;
  return false;
}

void RunParse(ScanParameters& p, StopFlag stop) {
  ClampRegionToSource(p);
  if (stop == StopFlag::Keep) {
    ResetTaskHead(p);
  } else {
    PrepareTaskHead(p);
  }
  // A command whose tree item named no device passes no source on; every
  // engine would fail its open the same way.
  if (p.source == nullptr && p.brand >= BrandHikvision && p.brand <= BrandZhiling) {
    PostError(kMsgOpenSourceFailed);
    p.user_smart_value = -1;
    return;
  }
  auto scan = [&p] {
    switch (p.brand) {
      case BrandHikvision:
        HikvisionEngine(p).Scan();
        break;
      case BrandDahua:
      case BrandHuayi:
      case BrandMeidianBell:
      case BrandZhiling:
        DahuaFamilyEngine(p).Scan();
        break;
      case BrandWfs:
        WfsEngine(p).Scan();
        break;
      case BrandBoli:
        BoliEngine(p).Scan();
        break;
      case BrandJovision:
        JovisionEngine(p).Scan();
        break;
      default:
        break;
    }
  };
  if (p.mode == ScanModeDeep) {
    RunDeepParseWithBadAreas(p, scan);
  } else {
    scan();
  }
  p.user_smart_value = -1;
}

void LoadTaskPage(ScanParameters& p, int32_t page) {
  PrepareTaskHead(p);
  // Opening a named pipe would wait for a writer for ever.
  if (!IsMediumPath(p.task_path)) {
    PostError(kMsgOpenTaskFailed);
    return;
  }
  switch (p.brand) {
    case BrandHikvision:
      HikvisionEngine(p).ReadTaskPage(page);
      break;
    case BrandDahua:
    case BrandHuayi:
    case BrandMeidianBell:
    case BrandZhiling:
      DahuaFamilyEngine(p).ReadTaskPage(page);
      break;
    case BrandWfs:
      WfsEngine(p).ReadTaskPage(page);
      break;
    case BrandBoli:
      BoliEngine(p).ReadTaskPage(page);
      break;
    case BrandJovision:
      JovisionEngine(p).ReadTaskPage(page);
      break;
    default:
      break;
  }
  // The readers mark only the groups they form; every other entry was found
  // the way the task's brand and mode find recordings.
  const FoundBy found_by = DefaultFoundBy(p.brand, p.mode);
  for (RecordingEntry& e : p.recordings)
    if (e.found_by == FoundBy::Unknown) e.found_by = found_by;
}

FoundBy DefaultFoundBy(int32_t brand, int32_t mode) {
  // Boli scans frames in both modes; Jovision's deep parse looks for the
  // starts of recording files sector by sector.
  if (brand == BrandBoli) return FoundBy::Carved;
  if (brand == BrandJovision && mode == ScanModeDeep) return FoundBy::Carved;
  if (mode == ScanModeFast) return FoundBy::Index;
  if (mode == ScanModeDeep) return FoundBy::Chain;
  return FoundBy::Unknown;
}

bool BrandHasSmartValue(int32_t brand) {
  return brand == BrandDahua || brand == BrandWfs || brand == BrandHuayi ||
         brand == BrandMeidianBell || brand == BrandZhiling;
}

namespace {

// The smart value a scan uses when the detection does not decide.
int64_t FallbackSmartValue(int32_t brand) {
  switch (brand) {
    case BrandDahua:
    case BrandZhiling:
      return 0x160000;
    case BrandWfs:
    case BrandMeidianBell:
      return 0x120000;
    case BrandHuayi:
      return 0x100000;
    default:
      return -1;
  }
}

}  // namespace

int64_t ResolveSmartValue(ScanParameters& p) {
  p.detection_clear.reset();
  p.detection_walk.reset();
  p.detection_chunks.reset();
  if (p.user_smart_value != -1) return p.user_smart_value;
  if (!BrandHasSmartValue(p.brand)) return -1;
  const int64_t fallback = FallbackSmartValue(p.brand);
  p.detection_clear = std::make_shared<ClearRanges>();
  if (p.brand != BrandWfs && p.version == 2)
    p.detection_walk = std::make_shared<DetectionWalk>(p.region_end);
  // Chunks of a size the scan takes (see its buffer checks).
  if (p.brand != BrandWfs && p.version == 1 && p.buffer > 0 && p.buffer <= (1 << 30))
    p.detection_chunks = std::make_shared<DetectionChunks>(fallback, p.buffer);
  // Zhiling disks share the Meidian Bell detector (the engine picks it).
  const int64_t found = !p.source             ? -1
                        : p.brand == BrandWfs ? WfsEngine(p).DetectSmartValue()
                                              : DahuaFamilyEngine(p).DetectSmartValue();
  return found == -1 ? fallback : found;
}

}  // namespace orvane
