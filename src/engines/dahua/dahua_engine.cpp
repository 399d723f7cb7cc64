#include "engines/dahua/dahua_engine.h"

#include "device/notify.h"
#include "device/source_device.h"
#include "scan/task_file.h"

namespace orvane {

void DahuaFamilyEngine::Scan() {
  progress_ = ScanProgress{};
  if (!params_.source) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  SourceDevice dev;
  dev.Open(*params_.source);
  if (!dev.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  params_.head.time_kind = TimePacked;
  if (params_.mode == ScanModeFast) {
    PostInfo(variant_.fast_start);
    if (params_.version == 1 || params_.version == 2) FastParse(dev);
    PostInfo(variant_.fast_done);
  } else if (params_.mode == ScanModeDeep) {
    PostInfo(variant_.deep_start);
    if (params_.version == 1) {
      ChunkScan(dev);
    } else if (params_.version == 2) {
      FrameRunScan(dev);
    }
    PostInfo(variant_.deep_done);
  }
  dev.Close();
}

void DahuaFamilyEngine::ReadTaskPage(int32_t page) {
  progress_ = ScanProgress{};
  TaskReader in;
  if (!in.Open(params_.task_path)) return;
  params_.head = in.ReadHead();
  const TaskHead& h = params_.head;
  if (h.mode == ScanModeFast && (h.version == 1 || h.version == 2)) {
    ReadFastTask(in);
  } else if (h.mode == ScanModeDeep && h.version == 1) {
    ReadChunkTask(in);
  } else if (h.mode == ScanModeDeep && h.version == 2) {
    ReadRunTask(in, page);
  }
  in.Close();
}

}  // namespace orvane
