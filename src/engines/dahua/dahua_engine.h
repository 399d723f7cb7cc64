#pragma once
// Dahua-family recorder disks (Dahua, Huayi, Meidian Bell, Zhiling); the variant follows the brand.

#include <cstdint>

namespace orvane {

struct ScanParameters;

class DahuaFamilyEngine {
 public:
  explicit DahuaFamilyEngine(ScanParameters& params) : params_(params) {}
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
