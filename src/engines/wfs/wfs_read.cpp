#include "engines/wfs/wfs_read.h"

#include <algorithm>

#include "device/notify.h"
#include "device/source_device.h"

namespace orvane::wfs {

namespace {

constexpr int64_t kPiece = 64 * 1024;

// Reads [from, to) in pieces that end on multiples of `step`; pieces that
// fail are handed to `failed`.
template <typename Failed>
void ReadInPieces(SourceDevice& device, int64_t base, uint8_t* buffer, int64_t from, int64_t to,
                  int64_t step, Failed failed) {
  for (int64_t at = from; at < to;) {
    const int64_t end = std::min(to, (at / step + 1) * step);
    device.Read(at, buffer + (at - base), static_cast<int32_t>(end - at));
    if (!device.ok()) failed(at, end);
    at = end;
  }
}

}  // namespace

bool ReadSalvaging(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  device.Read(offset, buffer, length);
  if (device.ok()) return true;
  PostError(kMsgReadFailed);
  SalvageFailedRead(device, offset, buffer, length);
  return false;
}

void SalvageFailedRead(SourceDevice& device, int64_t offset, uint8_t* buffer, int32_t length) {
  if (offset < 0 || length <= 0) return;
  const int64_t end = offset + length;
  ReadInPieces(device, offset, buffer, offset, end, kPiece, [&](int64_t from, int64_t to) {
    std::fill(buffer + (from - offset), buffer + (to - offset), uint8_t{0});
    ReadInPieces(device, offset, buffer, from, to, 512, [&](int64_t s, int64_t e) {
      std::fill(buffer + (s - offset), buffer + (e - offset), uint8_t{0});
    });
  });
}

}  // namespace orvane::wfs
