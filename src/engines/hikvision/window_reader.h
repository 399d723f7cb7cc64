#pragma once
// Reads the windows of a sequential scan one ahead on a helper thread, so
// that scanning one window and reading the next overlap and a deep scan runs
// at the speed of the read alone.
//
// Only the helper thread touches the device while the reader lives; the scan
// thread sees each window with its read status and reports failures itself,
// so notifications keep coming from the worker.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace orvane {

class SourceDevice;

class WindowReader {
 public:
  struct Window {
    const uint8_t* data = nullptr;  // `capacity` bytes; zero past what was read
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
  ~WindowReader();
  WindowReader(const WindowReader&) = delete;
  WindowReader& operator=(const WindowReader&) = delete;

  // The next window in order; false past the end. The previous window's
  // bytes are released by this call.
  bool Next(Window& out);

 private:
  void Run();

  SourceDevice& device_;
  const int64_t device_size_;
  const int64_t end_;
  const int32_t window_;
  const int32_t step_;

  struct Slot {
    std::vector<uint8_t> bytes;
    Window info;
    bool full = false;
    bool last = false;  // no window follows
  };
  Slot slots_[2];
  int64_t next_position_;
  int consume_ = 0;
  bool holding_ = false;
  bool cancel_ = false;
  std::mutex mu_;
  std::condition_variable cv_;
  std::thread thread_;
};

}  // namespace orvane
