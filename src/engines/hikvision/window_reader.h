#pragma once
// The windows of a sequential scan: each read into one buffer, zero wherever
// nothing was read (a failed read, the part behind the request or behind the
// end of the medium), so that the caller never clears a whole buffer before
// a read that fills it anyway.
//
// Reads happen on the calling thread: the pack search is several times
// faster than the read, and handing windows to a helper thread costs more in
// wake-ups on a busy machine than the overlap gains.

#include <cstdint>
#include <vector>

namespace orvane {

class SourceDevice;

class WindowReader {
 public:
  struct Window {
    const uint8_t* data = nullptr;  // `window` bytes; zero past what was read
    int64_t position = 0;
    int32_t length = 0;  // bytes asked for at `position`
    bool ok = true;      // false: the read failed and the window is all zero
  };

  // Windows of up to `window` bytes at start, start + step, ... below `end`
  // (each read of min(window, end - position) bytes; the next begins `step`
  // further, or at the end of a shorter read). `device_size` (0 = unknown)
  // marks where a read comes back short, so that the rest is zeroed.
  WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
               int32_t window, int32_t step);

  // The next window in order; false past the end. The previous window's
  // bytes are overwritten by this call.
  bool Next(Window& out);

 private:
  SourceDevice& device_;
  const int64_t device_size_;
  const int64_t end_;
  const int32_t window_;
  const int32_t step_;
  int64_t position_;
  std::vector<uint8_t> bytes_;
};

}  // namespace orvane
