// The frame walk of the Dahua-family version-2 deep parse, through the
// whole parse over an image of the input: the first byte picks the brand,
// the rest is the image. The smart value is 0, so that the grid starts at
// the image's first byte (the phase detector's walk runs in the whole
// deep parse target).

#include <cstdint>

#include "fuzz/fuzz_support.h"
#include "scan/scan_parameters.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr int32_t kBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};
  const auto [brand, bytes] = fuzz::SelectBrand({data, size}, kBrands);
  const DeviceInfo image = fuzz::MemoryImage(bytes, static_cast<int64_t>(bytes.size()));
  ScanParameters p;
  fuzz::RunParseOver(image, brand, ScanModeDeep, 2, p, 0);
  return 0;
}
