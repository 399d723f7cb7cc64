#include "engines/hikvision/window_reader.h"

#include <algorithm>
#include <cstring>

#include "device/source_device.h"

namespace orvane {

WindowReader::WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
                           int32_t window, int32_t step)
    : device_(device),
      device_size_(device_size),
      end_(end),
      window_(window),
      step_(step),
      next_position_(start) {
  for (Slot& s : slots_) s.bytes.assign(static_cast<size_t>(window), 0);
  thread_ = std::thread([this] { Run(); });
}

WindowReader::~WindowReader() {
  {
    std::lock_guard lock(mu_);
    cancel_ = true;
  }
  cv_.notify_all();
  thread_.join();
}

void WindowReader::Run() {
  int produce = 0;
  int64_t position = next_position_;
  while (true) {
    Slot& slot = slots_[produce];
    {
      std::unique_lock lock(mu_);
      cv_.wait(lock, [&] { return cancel_ || !slot.full; });
      if (cancel_) return;
    }
    if (position >= end_) {
      std::lock_guard lock(mu_);
      slot.last = true;
      slot.full = true;
      cv_.notify_all();
      return;
    }
    const auto length = static_cast<int32_t>(std::min<int64_t>(window_, end_ - position));
    uint8_t* data = slot.bytes.data();
    device_.Read(position, data, length);
    const bool ok = device_.ok();
    if (!ok) {
      std::memset(data, 0, slot.bytes.size());
    } else {
      // What lies behind the request, or behind the end of the medium (a
      // short read succeeds and leaves the rest as it was), reads as zero.
      int64_t valid = length;
      if (device_size_ > 0) valid = std::clamp<int64_t>(device_size_ - position, 0, length);
      std::memset(data + valid, 0, slot.bytes.size() - static_cast<size_t>(valid));
    }
    {
      std::lock_guard lock(mu_);
      slot.info = Window{data, position, length, ok};
      slot.last = false;
      slot.full = true;
    }
    cv_.notify_all();
    position += std::min(length, step_);
    produce ^= 1;
  }
}

bool WindowReader::Next(Window& out) {
  std::unique_lock lock(mu_);
  if (holding_) {
    slots_[consume_].full = false;
    consume_ ^= 1;
    holding_ = false;
    cv_.notify_all();
  }
  Slot& slot = slots_[consume_];
  cv_.wait(lock, [&] { return slot.full; });
  if (slot.last) return false;
  out = slot.info;
  holding_ = true;
  return true;
}

}  // namespace orvane
