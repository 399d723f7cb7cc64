#pragma once
// Dahua-family recorder disks (Dahua, Huayi, Meidian Bell, Zhiling); the
// variant follows the brand code of the parameters.

#include <cstdint>
#include <map>

#include "engines/dahua/dahua_layout.h"
#include "engines/dahua/dahua_variant.h"
#include "scan/scan_parameters.h"

namespace orvane {

class SourceDevice;
class TaskWriter;
class TaskReader;

class DahuaFamilyEngine {
 public:
  explicit DahuaFamilyEngine(ScanParameters& params)
      : params_(params), variant_(DahuaVariantFor(params.brand)) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);
  // Block alignment of the deep scan in bytes: the user's value when given,
  // else what the phase detector finds, else -1.
  int64_t DetectSmartValue();

  const DahuaVariant& variant() const { return variant_; }
  const ScanProgress& progress() const { return progress_; }

 private:
  void FastParse(SourceDevice& dev);
  // `indexes_read` holds the index ranges of the areas parsed before; an
  // area whose index overlaps one of them is passed over.
  void ParseArea(SourceDevice& dev, TaskWriter& task, const DahuaArea& area,
                 std::map<int64_t, int64_t>& indexes_read);
  void ChunkScan(SourceDevice& dev);
  void FrameRunScan(SourceDevice& dev);
  // Opens the task file for a deep scan and gives the first position.
  bool OpenDeepTask(TaskWriter& task, int64_t& start);
  // With `walk`, the frames the probe walks are kept for the scan.
  void Probe(SourceDevice& dev, class PhaseDetector& detector, int64_t from, int64_t to,
             class DetectionWalk* walk, class DetectionChunks* chunks);

  void ReadFastTask(TaskReader& in);
  void ReadChunkTask(TaskReader& in);
  void ReadRunTask(TaskReader& in, int32_t page);

  ScanParameters& params_;
  const DahuaVariant& variant_;
  ScanProgress progress_{};
};

}  // namespace orvane
