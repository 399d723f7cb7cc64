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
      position_(start),
      bytes_(static_cast<size_t>(window), 0) {}

bool WindowReader::Next(Window& out) {
  if (position_ >= end_) return false;
  const auto length = static_cast<int32_t>(std::min<int64_t>(window_, end_ - position_));
  uint8_t* data = bytes_.data();
  device_.Read(position_, data, length);
  const bool ok = device_.ok();
  if (!ok) {
    std::memset(data, 0, bytes_.size());
  } else {
    // A short read succeeds and leaves the rest as it was: clear it.
    int64_t valid = length;
    if (device_size_ > 0) valid = std::clamp<int64_t>(device_size_ - position_, 0, length);
    std::memset(data + valid, 0, bytes_.size() - static_cast<size_t>(valid));
  }
  out = Window{data, position_, length, ok};
  position_ += std::min(length, step_);
  return true;
}

}  // namespace orvane
