#include "scan/salvage_read.h"

#include <algorithm>
#include <cstring>

#include "device/source_device.h"

namespace orvane {

namespace {

constexpr int64_t kPiece = 64 * 1024;

// Reads [offset, offset + length) in pieces that end on multiples of `step`,
// so that a retry never straddles the boundary it is meant to isolate. A
// failed piece keeps what it brought in front of its bad spot, and only the
// rest of it is read again, sector by sector. The buffer is zero beforehand.
// Returns the bytes that could not be read.
int64_t ReadInPieces(SourceDevice& device, int64_t offset, uint8_t* buffer, int64_t length,
                     int64_t step) {
  int64_t unreadable = 0;
  int64_t at = offset;
  const int64_t end = offset + length;
  while (at < end) {
    const int64_t next = std::min(end, (at / step + 1) * step);
    const auto n = static_cast<int32_t>(next - at);
    uint8_t* out = buffer + (at - offset);
    device.Read(at, out, n);
    const int32_t got = device.read_length();
    if (device.ok()) {
      if (got < n) break;  // the medium ends here
    } else if (step > kSectorSize) {
      std::memset(out + got, 0, static_cast<size_t>(n - got));
      unreadable += ReadInPieces(device, at + got, out + got, n - got, kSectorSize);
    } else {
      std::memset(out + got, 0, static_cast<size_t>(n - got));
      unreadable += n - got;
    }
    at = next;
  }
  return unreadable;
}

}  // namespace

bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (length <= 0) return true;
  device.Read(offset, buffer, length);
  if (device.ok()) {
    // Short only at the end of the medium.
    const int32_t got = device.read_length();
    std::memset(buffer + got, 0, static_cast<size_t>(length - got));
    return true;
  }
  return SalvageFailedRead(device, offset, buffer, length);
}

bool SalvageFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (length <= 0) return true;
  const int64_t size = device.Size();
  const bool past_end = offset < 0 || (size > 0 && offset >= size);
  return RecoverFailedRead(device, offset, buffer, length) == 0 && !past_end;
}

int64_t RecoverFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (length <= 0) return 0;
  // The failed read itself kept the bytes in front of its bad spot.
  int32_t kept = 0;
  if (!device.ok() && device.failed_offset() == offset)
    kept = std::clamp(device.read_length(), 0, length);
  std::memset(buffer + kept, 0, static_cast<size_t>(length - kept));
  if (offset < 0) return 0;
  // Past the end of the medium there is nothing to salvage, nor to miss.
  const int64_t size = device.Size();
  int64_t end = offset + length;
  if (size > 0) end = std::min(end, size);
  const int64_t from = offset + kept;
  if (from >= end) return 0;
  // The read just failed at `from`: the piece holding it goes sector by
  // sector straight away instead of failing once more as a whole.
  const int64_t first_piece_end = std::min(end, (from / kPiece + 1) * kPiece);
  uint8_t* out = buffer + kept;
  int64_t unreadable = ReadInPieces(device, from, out, first_piece_end - from, kSectorSize);
  if (first_piece_end < end)
    unreadable += ReadInPieces(device, first_piece_end, out + (first_piece_end - from),
                               end - first_piece_end, kPiece);
  return unreadable;
}

bool ReadZeroed(SourceDevice& device, int64_t device_size, int64_t offset, uint8_t* buffer,
                size_t length, size_t capacity) {
  device.Read(offset, buffer, static_cast<int32_t>(length));
  // What the read placed, and nothing at or behind the end of the medium
  // when its size is known; everything behind is zero, also after a failed
  // read, whose bytes in front of the bad spot are kept.
  auto valid = static_cast<size_t>(std::clamp<int64_t>(device.read_length(), 0,
                                                       static_cast<int64_t>(length)));
  if (device_size > 0)
    valid = std::min(valid, static_cast<size_t>(std::clamp<int64_t>(
                                device_size - offset, 0, static_cast<int64_t>(length))));
  std::memset(buffer + valid, 0, capacity - valid);
  return device.ok();
}

}  // namespace orvane
