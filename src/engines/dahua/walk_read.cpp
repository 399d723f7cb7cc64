#include "engines/dahua/walk_read.h"

#include <cstring>

#include "device/source_device.h"

namespace orvane {

namespace {
// Zeros wherever nothing was read: past a failed read, past the end of the
// medium, past `len`. Zeroing only those parts keeps a page-cached scan at
// the speed of the read itself.
bool ReadZeroed(SourceDevice& dev, int64_t device_size, int64_t at, uint8_t* buf, size_t len,
                size_t capacity) {
  dev.Read(at, buf, static_cast<int32_t>(len));
  if (!dev.ok()) {
    std::memset(buf, 0, capacity);
    return false;
  }
  size_t valid = len;
  if (device_size > 0 && at + static_cast<int64_t>(len) > device_size)
    valid = at >= device_size ? 0 : static_cast<size_t>(device_size - at);
  std::memset(buf + valid, 0, capacity - valid);
  return true;
}
}  // namespace

const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           std::vector<uint8_t>& buf, bool& ok) {
  const size_t lead = static_cast<size_t>(at % 512);
  const size_t want = (lead + len + 511) / 512 * 512;
  if (buf.size() < want + 64) buf.resize(want + 64);
  ok = ReadZeroed(dev, device_size, at - static_cast<int64_t>(lead), buf.data(), want, buf.size());
  std::memset(buf.data() + lead + len, 0, buf.size() - lead - len);
  return buf.data() + lead;
}

}  // namespace orvane
