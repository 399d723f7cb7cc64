#pragma once
// WFS recorder disks: segment index (fast) and block scan (deep).

#include <cstdint>
#include <vector>

#include "scan/scan_parameters.h"

namespace orvane {

class SourceDevice;
class TaskReader;
namespace wfs {
class AlignmentVotes;
}

class WfsEngine {
 public:
  explicit WfsEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);
  // Block alignment of the deep scan in bytes, or -1 when none is found.
  int64_t DetectSmartValue();

  const ScanProgress& progress() const { return progress_; }

 private:
  void Reset();
  void FastParse(SourceDevice& device);
  void DeepParse(SourceDevice& device);
  void ReadFastBody(TaskReader& task);
  void ReadDeepBlocks(TaskReader& task);
  void ReadDeepExtents(TaskReader& task, int32_t page);
  void Probe(SourceDevice& device, int64_t from, int64_t to, wfs::AlignmentVotes& votes);

  ScanParameters& params_;
  ScanProgress progress_;
};

}  // namespace orvane
