#include "engines/hikvision/hikvision_engine.h"

#include <vector>

#include "device/notify.h"
#include "device/source_device.h"
#include "engines/hikvision/hikvision_layout.h"
#include "scan/task_file.h"

namespace orvane {

using hikvision::TaskRecord;

namespace {
constexpr std::string_view kMsgFastStart = "正在快速解析海康监控录像...";
constexpr std::string_view kMsgFastDone = "快速解析海康监控录像任务完成";
constexpr std::string_view kMsgDeepStart = "正在深度解析海康监控录像...";
constexpr std::string_view kMsgDeepDone = "深度解析海康监控录像任务完成";
// Records held in memory before they are written out part-way.
constexpr size_t kFlushThreshold = 500'000;
}  // namespace

void HikvisionEngine::Scan() {
  progress_ = {};
  found_.clear();
  if (params_.mode != ScanModeFast && params_.mode != ScanModeDeep) return;
  SourceDevice device;
  if (params_.source) device.Open(*params_.source, kGenericRead);
  if (!params_.source || !device.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  if (params_.mode == ScanModeFast) {
    params_.head.time_kind = TimeUnixUtc;
    PostInfo(kMsgFastStart);
    FastParse(device);
    PostInfo(kMsgFastDone);
  } else {
    params_.head.time_kind = TimePackedAlt;
    PostInfo(kMsgDeepStart);
    DeepParse(device);
    PostInfo(kMsgDeepDone);
  }
}

void HikvisionEngine::AddFound(const TaskRecord& record, bool counted) {
  if (counted) {
    progress_.found_bytes += record.length;
    progress_.found_count += 1;
  }
  found_.push_back(record);
}

void HikvisionEngine::Flush(TaskWriter& writer) {
  hikvision::WriteRecords(writer, found_);
  found_.clear();
}

void HikvisionEngine::FastParse(SourceDevice& device) {
  using namespace hikvision;
  TaskWriter writer;
  if (!writer.Open(params_)) return;

  uint8_t header[kHeaderSize] = {};
  device.Read(kHeaderOffset, header, kHeaderSize);
  if (!device.ok()) {
    // Nothing is written: the task keeps only the head it was opened with.
    writer.Close();
    PostError(kMsgReadFailed);
    return;
  }
  int64_t device_size = device.Size();
  if (device_size <= 0 && params_.source) device_size = params_.source->size;
  const DiskLayout layout = ParseDiskHeader(header, device_size);
  const int64_t blocks = VisitedBlockCount(layout, device_size);
  PostRange(blocks);

  std::vector<uint8_t> index(kIndexSize);
  for (int64_t i = 0; i < blocks && !params_.stop_requested(); ++i) {
    PostPosition(i);
    std::fill(index.begin(), index.end(), 0);
    const int64_t base = layout.BlockBase(i);
    device.Read(base + kIndexOffsetInBlock, index.data(), kIndexSize);
    if (!device.ok()) {
      PostError(kMsgReadFailed);
      continue;
    }
    if (auto best = BestIndexEntry(index, base)) {
      AddFound(*best);
      PostFound(progress_);
      if (found_.size() > kFlushThreshold) Flush(writer);
    }
  }
  params_.head.scan_position = params_.region_end;
  Flush(writer);
}

}  // namespace orvane
