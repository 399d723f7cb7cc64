#pragma once
// Hikvision recorder disks: index (fast) and pack scan (deep).

#include <cstdint>
#include <vector>

#include "engines/hikvision/hikvision_record.h"
#include "scan/scan_parameters.h"

namespace orvane {

class SourceDevice;
class TaskWriter;

class HikvisionEngine {
 public:
  explicit HikvisionEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);

  const ScanProgress& progress() const { return progress_; }

 private:
  void FastParse(SourceDevice& device);
  void DeepParse(SourceDevice& device);
  // Counts a finished record and queues it for the task file.
  void AddFound(const hikvision::TaskRecord& record, bool counted = true);
  // Writes the queued records behind the task file and forgets them.
  void Flush(TaskWriter& writer);

  ScanParameters& params_;
  ScanProgress progress_;
  std::vector<hikvision::TaskRecord> found_;
};

}  // namespace orvane
