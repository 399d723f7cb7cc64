// The fast parse of one engine (ORVANE_FUZZ_FAST_ENGINE) over a disk image
// whose first bytes are the input, and the task it wrote loaded back. For
// the Dahua family the input's length picks the brand, so that every byte
// stays part of the image.

#include <cstdint>
#include <span>

#include "engines/jovision/jovision_engine.h"
#include "fuzz/fuzz_support.h"
#include "scan/scan_parameters.h"

using namespace orvane;

namespace {
// Large enough for the layouts' first structures and a few of their areas,
// small enough that a parse of zeros stays quick.
constexpr int64_t kImageSize = int64_t{64} << 20;
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  int32_t brand = BrandHikvision;
  switch (ORVANE_FUZZ_FAST_ENGINE) {
    case 1:
      brand = BrandHikvision;
      break;
    case 2: {
      static constexpr int32_t kBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};
      brand = kBrands[size % 4];
      break;
    }
    case 3:
      brand = BrandWfs;
      break;
    default: {
      brand = BrandJovision;
      // The index block decoder on its own, at every place it could start.
      JvsRecording r;
      for (size_t at = 0; at < size; at += 4) (void)ParseJvsIndexBlock(input, at, r);
      break;
    }
  }
  const DeviceInfo image = fuzz::MemoryImage(input, kImageSize);
  ScanParameters p;
  fuzz::RunParseOver(image, brand, ScanModeFast, 1, p);
  return 0;
}
