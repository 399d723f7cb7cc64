// A whole deep parse, smart-value detection and task loading included, over
// a small image made from the input: the first byte picks the brand, the
// second the version and the smart value (odd: detected; even: that many
// sectors over two, so that the grid of the brands that use one can start
// inside the image), the rest is the image.

#include <cstdint>
#include <span>

#include "fuzz/fuzz_support.h"
#include "scan/scan_parameters.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static constexpr int32_t kBrands[] = {BrandHikvision, BrandDahua,  BrandWfs,
                                        BrandBoli,      BrandHuayi,  BrandMeidianBell,
                                        BrandJovision,  BrandZhiling};
  const auto [brand, rest] = fuzz::SelectBrand({data, size}, kBrands);
  const uint8_t settings = rest.empty() ? 0 : rest[0];
  const int32_t version = 1 + (settings >> 7);
  const int64_t smart = (settings & 1) ? -1 : int64_t{(settings & 0x7F) >> 1} * 512;
  const std::span<const uint8_t> bytes = rest.empty() ? rest : rest.subspan(1);
  const DeviceInfo image = fuzz::MemoryImage(bytes, static_cast<int64_t>(bytes.size()));
  ScanParameters p;
  fuzz::RunParseOver(image, brand, ScanModeDeep, version, p, smart);
  return 0;
}
