// The recording-file recogniser of the Jovision deep parse at every offset
// of the input (held in a buffer of exactly its size), then the deep parse
// itself over an image of the input.

#include <cstdint>
#include <span>

#include "engines/jovision/jovision_engine.h"
#include "fuzz/fuzz_support.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> input(data, size);
  for (size_t at = 0; at < size; ++at) (void)IsJvsFileStart(input, at);

  const DeviceInfo image = fuzz::MemoryImage(input, static_cast<int64_t>(size));
  ScanParameters p;
  fuzz::RunParseOver(image, BrandJovision, ScanModeDeep, 1, p);
  return 0;
}
