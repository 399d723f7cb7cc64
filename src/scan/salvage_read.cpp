#include "scan/salvage_read.h"

#include <algorithm>
#include <cstring>

#include "device/source_device.h"

namespace orvane {

namespace {

constexpr int64_t kPiece = 64 * 1024;

// Reads [offset, offset + length) in pieces that end on multiples of `step`,
// so that a retry never straddles the boundary it is meant to isolate.
bool ReadInPieces(SourceDevice& device, int64_t offset, uint8_t* buffer, int64_t length,
                  int64_t step) {
  bool all = true;
  int64_t at = offset;
  const int64_t end = offset + length;
  while (at < end) {
    const int64_t next = std::min(end, (at / step + 1) * step);
    const auto n = static_cast<int32_t>(next - at);
    uint8_t* out = buffer + (at - offset);
    device.Read(at, out, n);
    if (!device.ok()) {
      std::memset(out, 0, static_cast<size_t>(n));
      if (step > kSectorSize) {
        all = ReadInPieces(device, at, out, n, kSectorSize) && all;
      } else {
        all = false;
      }
    }
    at = next;
  }
  return all;
}

}  // namespace

bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (length <= 0) return true;
  // A read that runs past the end comes back short and leaves the rest as
  // it was: only then does the buffer need clearing beforehand.
  const int64_t size = device.Size();
  if (size <= 0 || offset + length > size) std::memset(buffer, 0, static_cast<size_t>(length));
  device.Read(offset, buffer, length);
  if (device.ok()) return true;
  return SalvageFailedRead(device, offset, buffer, length);
}

bool SalvageFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (length <= 0) return true;
  std::memset(buffer, 0, static_cast<size_t>(length));
  // Past the end of the medium there is nothing to salvage.
  const int64_t size = device.Size();
  if (offset < 0 || (size > 0 && offset >= size)) return false;
  return ReadInPieces(device, offset, buffer, length, kPiece);
}

bool ReadZeroed(SourceDevice& device, int64_t device_size, int64_t offset, uint8_t* buffer,
                size_t length, size_t capacity) {
  // Without a known size a short read cannot be told from a full one: start
  // from a clear buffer.
  if (device_size <= 0) std::memset(buffer, 0, capacity);
  device.Read(offset, buffer, static_cast<int32_t>(length));
  if (!device.ok()) {
    std::memset(buffer, 0, capacity);
    return false;
  }
  // A short read succeeds and leaves the rest as it was: clear it.
  size_t valid = length;
  if (device_size > 0)
    valid = static_cast<size_t>(
        std::clamp<int64_t>(device_size - offset, 0, static_cast<int64_t>(length)));
  std::memset(buffer + valid, 0, capacity - valid);
  return true;
}

}  // namespace orvane
