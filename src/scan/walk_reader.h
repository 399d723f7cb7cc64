#pragma once
// Reading ahead for a scan whose next position is known only when it has
// searched its window (a walk from frame to frame resumes behind the last
// frame it took).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "device/source_device.h"
#include "scan/handoff.h"

namespace orvane {

// Over empty or noisy space such a scan searches its whole window and ends
// exactly one step further; there the caller asks for the next window to be
// read ahead, through a handle of its own on the source, while it searches
// this one. Where frames chain across window ends the next position is
// known only when the walk is done, and windows are read as they are asked
// for, on the caller's thread.
class WalkReader {
 public:
  // How a window is read: the bytes at `at` into `buf` (grown as needed),
  // returning where they begin in it, `ok` false when the read failed.
  // Called with `dev` on the caller's thread, with the read-ahead handle on
  // the reading thread; it must not notify.
  using Fill = std::function<const uint8_t*(SourceDevice& device, int64_t at, size_t len,
                                            std::vector<uint8_t>& buf, bool& ok)>;

  // `source` opens the read-ahead handle; without one (or when it cannot be
  // opened, or no thread can be had) every read is made by `dev`.
  WalkReader(SourceDevice& dev, const DeviceInfo* source, Fill fill);
  ~WalkReader() = default;
  WalkReader(const WalkReader&) = delete;
  WalkReader& operator=(const WalkReader&) = delete;

  // The bytes at `at` as `fill` gives them, valid until the next call. Behind
  // the `len` bytes lies only what `fill` promises: a short window (the
  // region ends in it) comes in a buffer of about its own size, read ahead
  // or not.
  const uint8_t* Read(int64_t at, size_t len, bool& ok);
  // Reads the window at `at` ahead, for a Read of the same `at` and `len`.
  void ReadAhead(int64_t at, size_t len);

 private:
  SourceDevice& dev_;
  SourceDevice ahead_dev_;
  const Fill fill_;
  std::vector<uint8_t> held_;   // the bytes handed out
  std::vector<uint8_t> ahead_;  // the read-ahead window
  int64_t ahead_at_ = -1;
  size_t ahead_len_ = 0;
  const uint8_t* ahead_data_ = nullptr;
  bool ahead_ok_ = true;
  AheadThread reader_;  // last: ends before what it reads into
};

}  // namespace orvane
