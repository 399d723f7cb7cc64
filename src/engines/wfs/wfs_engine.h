#pragma once
// WFS recorder disks: segment index (fast) and block scan (deep).

#include <cstdint>

namespace orvane {

struct ScanParameters;

class WfsEngine {
 public:
  explicit WfsEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);
  // Block alignment of the deep scan in bytes, or -1 when none is found.
  int64_t DetectSmartValue();

 private:
  ScanParameters& params_;
};

}  // namespace orvane
