#include "scan/walk_read.h"

#include <cstring>

#include "device/byte_range.h"
#include "device/source_device.h"
#include "scan/bad_area_skip.h"
#include "scan/salvage_read.h"

namespace orvane {

const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           ScanBytes& buf, bool& ok, BadAreaSkip* skip) {
  const UnitSpan read = UnitsHolding(at, static_cast<int64_t>(len), kSectorSize);
  const auto lead = static_cast<size_t>(read.lead);
  const auto want = static_cast<size_t>(read.length);
  if (buf.size() < want + 64) buf.resize(want + 64);
  ok = skip ? skip->Read(dev, device_size, read.begin, buf.data(), want, buf.size())
            : ReadZeroed(dev, device_size, read.begin, buf.data(), want, buf.size());
  std::memset(buf.data() + lead + len, 0, buf.size() - lead - len);
  return buf.data() + lead;
}

}  // namespace orvane
