// The frame carving of the Boli deep parse over one buffer. The input lies
// across the end of the buffer's 2 MiB step, so that frames inside it, a
// header cut by the step end and successors read from the device beyond the
// buffer all come from it. Every record must survive its task encoding.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "device/source_device.h"
#include "engines/boli/boli_engine.h"
#include "fuzz/fuzz_support.h"

using namespace orvane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const int64_t at = BoliEngine::kStep - static_cast<int64_t>(size / 2);
  const int64_t image_size = 3 * BoliEngine::kStep;
  const DeviceInfo image = fuzz::MemoryImage({data, size}, image_size, at);
  SourceDevice device;
  device.Open(image);

  std::vector<uint8_t> buffer(BoliEngine::kReadSize);
  device.Read(0, buffer.data(), BoliEngine::kReadSize);
  ScanParameters p;
  p.source = &image;
  BoliEngine engine(p);
  const int64_t next = engine.ScanBuffer(device, buffer, 0);
  if (next < BoliEngine::kStep) std::abort();

  for (const BoliFrameRecord& r : engine.pending()) {
    uint8_t bytes[kBoliRecordSize];
    EncodeBoliRecord(r, bytes);
    if (!(DecodeBoliRecord(bytes) == r)) std::abort();
  }
  return 0;
}
