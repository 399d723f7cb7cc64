#include "engines/dahua/walk_read.h"

#include <cstring>

#include "device/source_device.h"
#include "scan/bad_area_skip.h"
#include "scan/salvage_read.h"

namespace orvane {

const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           ScanBytes& buf, bool& ok, BadAreaSkip* skip) {
  const size_t lead = static_cast<size_t>(at % 512);
  const size_t want = (lead + len + 511) / 512 * 512;
  if (buf.size() < want + 64) buf.resize(want + 64);
  ok = skip ? skip->Read(dev, device_size, at - static_cast<int64_t>(lead), buf.data(), want,
                         buf.size())
            : ReadZeroed(dev, device_size, at - static_cast<int64_t>(lead), buf.data(), want,
                         buf.size());
  std::memset(buf.data() + lead + len, 0, buf.size() - lead - len);
  return buf.data() + lead;
}

}  // namespace orvane
