#pragma once
// A medium with bad sectors that answers as a Linux block device does: a
// read that meets a bad sector returns the bytes in front of it (a short
// count, as if all were well), and only a read that starts in a bad sector
// fails, with EIO. Whoever trusts a short count as the end of the data reads
// zeros or stale bytes where the medium holds more; this double makes such
// faults show in the tests of every reader (device, scans, export, imaging).

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "device/device_info.h"

namespace orvane::synth {

// Sectors [first, first + count) of 512 bytes.
struct BadSectors {
  int64_t first = 0;
  int64_t count = 1;
};

// What the medium was asked; shared with the test that made it, as the
// backend itself belongs to the SourceDevice that opened it.
struct BadSectorLog {
  std::atomic<int64_t> calls{0};
  std::atomic<int64_t> failed_calls{0};  // calls that started in a bad sector
};

class LinuxBadSectorBackend final : public ReadBackend {
 public:
  LinuxBadSectorBackend(std::unique_ptr<ReadBackend> inner, const std::vector<BadSectors>& bad,
                        std::shared_ptr<BadSectorLog> log = nullptr);
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override;
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::map<int64_t, int64_t> bad_;  // first bad sector -> first good one after it
  std::shared_ptr<BadSectorLog> log_;
};

// `device` read through LinuxBadSectorBackend: its own backend when it has
// one (a hole-aware image, say), else its file.
DeviceInfo WithLinuxBadSectors(DeviceInfo device, std::vector<BadSectors> bad,
                               std::shared_ptr<BadSectorLog> log = nullptr);

// The image file at `path` with bad sectors.
DeviceInfo LinuxBadSectorImageDevice(const std::string& path, std::vector<BadSectors> bad,
                                     std::shared_ptr<BadSectorLog> log = nullptr);

}  // namespace orvane::synth
