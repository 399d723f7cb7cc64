#pragma once
// Helpers shared by the WFS engine tests: a parse or a task load on a built
// disk through the dispatcher, as the parse worker runs them.

#include <string>

#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace orvane::wfs_test {

struct WfsRun {
  DeviceInfo device;
  ScanParameters params;
};

inline void SetUp(WfsRun& run, const DeviceInfo& device, const std::string& task, int32_t mode,
                  int32_t version = 1) {
  run.device = device;
  run.params.source = &run.device;
  run.params.task_path = task;
  run.params.brand = BrandWfs;
  run.params.mode = mode;
  run.params.version = version;
  run.params.region_start = 0;
  run.params.region_end = device.size;
}

// Parse, then load page 0 as the parse worker does.
inline void ParseAndLoad(ScanParameters& p, int32_t page = 0) {
  RunParse(p);
  ReadTaskHead(p, true);
  ApplyTaskHead(p);
  LoadTaskPage(p, page);
}

}  // namespace orvane::wfs_test
