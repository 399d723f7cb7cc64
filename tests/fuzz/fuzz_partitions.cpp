// The partition walk over a disk image whose first bytes are the input.

#include <cstdint>

#include "device/partitions.h"
#include "device/source_device.h"
#include "fuzz/fuzz_support.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  DeviceInfo image = fuzz::MemoryImage({data, size}, int64_t{1} << 30);
  SourceDevice source;
  source.Open(image);
  AnalysePartitions(source, image);
  for (const PartitionRecord& r : image.partitions) (void)FileSystemName(r.kind);
  return 0;
}
