#pragma once
// The reads of a scan whose next position is known only when it has searched
// its window (a walk from frame to frame resumes behind the last frame it
// took). Each window is read on the caller's thread when asked for; the
// device keeps the kernel reading ahead of the walk (see SequentialPrefetch).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/scan_bytes.h"
#include "device/source_device.h"

namespace orvane {

class WalkReader {
 public:
  // How a window is read: the bytes at `at` into `buf` (grown as needed),
  // returning where they begin in it, `ok` false when the read failed. It
  // must not notify.
  using Fill = std::function<const uint8_t*(SourceDevice& device, int64_t at, size_t len,
                                            ScanBytes& buf, bool& ok)>;

  WalkReader(SourceDevice& dev, Fill fill) : dev_(dev), fill_(std::move(fill)) {}
  WalkReader(const WalkReader&) = delete;
  WalkReader& operator=(const WalkReader&) = delete;

  // The bytes at `at` as `fill` gives them, valid until the next call.
  const uint8_t* Read(int64_t at, size_t len, bool& ok) { return fill_(dev_, at, len, held_, ok); }

 private:
  SourceDevice& dev_;
  const Fill fill_;
  ScanBytes held_;
};

}  // namespace orvane
