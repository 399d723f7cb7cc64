#include "engines/hikvision/window_reader.h"

#include <algorithm>
#include <cstring>
#include <system_error>

#include "device/source_device.h"

namespace orvane {

WindowReader::WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
                           int32_t window, int32_t step)
    : device_(device),
      device_size_(device_size),
      end_(end),
      window_(window),
      step_(step),
      position_(start) {
  for (Slot& s : slots_) s.bytes.assign(static_cast<size_t>(window), 0);
  // One window needs no second thread; more than one overlap read and search.
  if (end_ - position_ <= step_) return;
  try {
    reader_ = std::thread([this] { ReadAhead(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;  // no thread to be had: read on the caller's thread
  }
}

WindowReader::~WindowReader() {
  if (!threaded_) return;
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  reader_.join();
}

int64_t WindowReader::ReadInto(Slot& slot, int64_t position) {
  const auto length = static_cast<int32_t>(std::min<int64_t>(window_, end_ - position));
  uint8_t* data = slot.bytes.data();
  device_.Read(position, data, length);
  const bool ok = device_.ok();
  if (!ok) {
    std::memset(data, 0, slot.bytes.size());
  } else {
    // A short read succeeds and leaves the rest as it was: clear it.
    int64_t valid = length;
    if (device_size_ > 0) valid = std::clamp<int64_t>(device_size_ - position, 0, length);
    std::memset(data + valid, 0, slot.bytes.size() - static_cast<size_t>(valid));
  }
  slot.window = Window{data, position, length, ok};
  return position + std::min(length, step_);
}

void WindowReader::ReadAhead() {
  int64_t position = position_;
  for (size_t fill = 0; position < end_; fill ^= 1) {
    Slot& slot = slots_[fill];
    {
      std::unique_lock lock(mutex_);
      changed_.wait(lock, [&] { return quit_ || slot.state == SlotState::Free; });
      if (quit_) break;
    }
    // The slot is free: the caller neither holds it nor waits on it, so it
    // is read without the lock.
    position = ReadInto(slot, position);
    {
      std::lock_guard lock(mutex_);
      slot.state = SlotState::Filled;
    }
    changed_.notify_all();
  }
  {
    std::lock_guard lock(mutex_);
    reader_done_ = true;
  }
  changed_.notify_all();
}

bool WindowReader::Next(Window& out) {
  if (!threaded_) {
    if (position_ >= end_) return false;
    position_ = ReadInto(slots_[0], position_);
    out = slots_[0].window;
    return true;
  }
  std::unique_lock lock(mutex_);
  Slot& held = slots_[take_ ^ 1];
  if (held.state == SlotState::Held) {
    held.state = SlotState::Free;
    changed_.notify_all();
  }
  Slot& slot = slots_[take_];
  changed_.wait(lock, [&] { return slot.state == SlotState::Filled || reader_done_; });
  if (slot.state != SlotState::Filled) return false;
  slot.state = SlotState::Held;
  out = slot.window;
  take_ ^= 1;
  return true;
}

}  // namespace orvane
