// A whole deep parse, smart-value detection and task loading included, over
// a small image made from the input: the first byte picks the brand, the
// second the version, the rest is the image.

#include <cstdint>
#include <span>

#include "fuzz/fuzz_support.h"
#include "scan/scan_parameters.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr int32_t kBrands[] = {BrandHikvision, BrandDahua,       BrandWfs,
                                        BrandBoli,      BrandHuayi,       BrandMeidianBell,
                                        BrandJovision,  BrandZhiling};
  const auto [brand, rest] = fuzz::SelectBrand({data, size}, kBrands);
  const int32_t version = rest.empty() ? 1 : 1 + (rest[0] & 1);
  const std::span<const uint8_t> bytes = rest.empty() ? rest : rest.subspan(1);
  const DeviceInfo image = fuzz::MemoryImage(bytes, static_cast<int64_t>(bytes.size()));
  ScanParameters p;
  fuzz::RunParseOver(image, brand, ScanModeDeep, version, p);
  return 0;
}
