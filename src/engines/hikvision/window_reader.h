#pragma once
// The windows of a sequential scan: each read into one buffer, zero wherever
// nothing was read (a failed read, the part behind the request or behind the
// end of the medium), so that the caller never clears a whole buffer before
// a read that fills it anyway.
//
// A reader thread fetches the next window while the caller searches the one
// it holds: the search of a window costs a good part of its read, and run
// one after the other the two would keep the scan well below the speed of
// the medium. The device is used by the reader thread alone while windows
// are being handed out; reads stay in order and of the same sizes.

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
  // Waits for a read in flight; at most one window is read ahead of the
  // last one handed out.
  ~WindowReader();
  WindowReader(const WindowReader&) = delete;
  WindowReader& operator=(const WindowReader&) = delete;

  // The next window in order; false past the end. The previous window's
  // bytes are overwritten by this call or soon after it.
  bool Next(Window& out);

 private:
  enum class SlotState { Free, Filled, Held };
  struct Slot {
    std::vector<uint8_t> bytes;
    Window window;
    SlotState state = SlotState::Free;
  };

  // Reads the window at `position` into `slot`; returns where the next one
  // begins.
  int64_t ReadInto(Slot& slot, int64_t position);
  void ReadAhead();

  SourceDevice& device_;
  const int64_t device_size_;
  const int64_t end_;
  const int32_t window_;
  const int32_t step_;
  int64_t position_;  // next window to read (the synchronous path only)

  Slot slots_[2];
  size_t take_ = 0;  // slot the next window is handed out from
  std::mutex mutex_;
  std::condition_variable changed_;
  bool reader_done_ = false;  // no more windows will be filled
  bool quit_ = false;
  bool threaded_ = false;
  std::thread reader_;
};

}  // namespace orvane
