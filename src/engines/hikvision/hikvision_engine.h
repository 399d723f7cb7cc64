#pragma once
// Hikvision recorder disks: index (fast) and pack scan (deep).

#include <cstdint>

namespace orvane {

struct ScanParameters;

class HikvisionEngine {
 public:
  explicit HikvisionEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);

 private:
  ScanParameters& params_;
};

}  // namespace orvane
