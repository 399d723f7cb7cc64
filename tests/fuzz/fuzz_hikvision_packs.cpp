// The pack search of the Hikvision deep parse over the input, checked
// against the plain test at every offset, and the segments the packs make.

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "engines/hikvision/hikvision_pack.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<uint8_t> buf(data, data + size);
  buf.resize(size + hikvision::kPackProbeBytes);  // the zeroed tail a window carries
  std::vector<uint32_t> starts;
  hikvision::FindPackStarts(buf.data(), size, starts);

  std::vector<uint32_t> plain;
  for (size_t i = 0; i < size; ++i)
    if (hikvision::IsPackAt(buf.data() + i)) plain.push_back(static_cast<uint32_t>(i));
  // The wide search is only a faster way to the same offsets.
  if (starts != plain) std::abort();

  hikvision::SegmentTracker segment;
  for (uint32_t i : starts) (void)segment.OnPack(i, hikvision::PackTime(buf.data() + i));
  (void)segment.Finish();
  return 0;
}
