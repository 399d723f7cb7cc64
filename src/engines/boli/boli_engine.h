#pragma once
// Boli recorder disks: frame carving.

#include <cstdint>

namespace orvane {

struct ScanParameters;

class BoliEngine {
 public:
  explicit BoliEngine(ScanParameters& params) : params_(params) {}
  // The whole parse of the current mode, task file included.
  void Scan();
  // Appends the recordings of one task page to the loaded list.
  void ReadTaskPage(int32_t page);

 private:
  ScanParameters& params_;
};

}  // namespace orvane
