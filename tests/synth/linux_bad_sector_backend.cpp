#include "synth/linux_bad_sector_backend.h"

#include <algorithm>
#include <cerrno>

#include "device/source_device.h"
#include "synth/test_support.h"

namespace orvane::synth {

LinuxBadSectorBackend::LinuxBadSectorBackend(std::unique_ptr<ReadBackend> inner,
                                             const std::vector<BadSectors>& bad,
                                             std::shared_ptr<BadSectorLog> log)
    : inner_(std::move(inner)), log_(std::move(log)) {
  std::vector<BadSectors> sorted = bad;
  std::sort(sorted.begin(), sorted.end(),
            [](const BadSectors& a, const BadSectors& b) { return a.first < b.first; });
  // Overlapping and touching areas merge, so that the area holding a sector
  // is always the last one starting at or before it.
  for (const auto& b : sorted) {
    if (b.count <= 0 || b.first < 0) continue;
    const int64_t end = b.first + b.count;
    if (!bad_.empty() && std::prev(bad_.end())->second >= b.first) {
      auto& last_end = std::prev(bad_.end())->second;
      last_end = std::max(last_end, end);
    } else {
      bad_[b.first] = end;
    }
  }
}

int64_t LinuxBadSectorBackend::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (log_) ++log_->calls;
  if (offset < 0) {
    errno = EINVAL;
    return -1;
  }
  const int64_t sector = offset / kSectorSize;
  auto next = bad_.upper_bound(sector);
  if (next != bad_.begin() && std::prev(next)->second > sector) {
    if (log_) ++log_->failed_calls;
    errno = EIO;
    return -1;
  }
  // The bytes in front of the next bad sector come back as if they were all.
  if (next != bad_.end())
    length = static_cast<size_t>(
        std::min<int64_t>(static_cast<int64_t>(length), next->first * kSectorSize - offset));
  return inner_->ReadAt(offset, buffer, length);
}

DeviceInfo WithLinuxBadSectors(DeviceInfo device, std::vector<BadSectors> bad,
                               std::shared_ptr<BadSectorLog> log) {
  const std::shared_ptr<const BackendFactory> inner = device.backend;
  const std::string path = device.OpenPath();
  device.backend = std::make_shared<const BackendFactory>(
      [inner, path, bad, log]() -> std::unique_ptr<ReadBackend> {
        std::unique_ptr<ReadBackend> medium;
        if (inner && *inner) {
          medium = (*inner)();
        } else {
          medium = FileBackend::Open(path);
        }
        if (!medium) return nullptr;
        return std::make_unique<LinuxBadSectorBackend>(std::move(medium), bad, log);
      });
  return device;
}

DeviceInfo LinuxBadSectorImageDevice(const std::string& path, std::vector<BadSectors> bad,
                                     std::shared_ptr<BadSectorLog> log) {
  return WithLinuxBadSectors(ImageDevice(path), std::move(bad), std::move(log));
}

}  // namespace orvane::synth
