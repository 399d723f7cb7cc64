#include "scan/window_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>

#include "device/source_device.h"

namespace orvane {

WindowReader::WindowReader(SourceDevice& device, const WindowPlan& plan, Salvage salvage)
    : device_(device), plan_(plan), salvage_(std::move(salvage)), position_(plan.start) {
  Start();
}

WindowReader::WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
                           int32_t window, int32_t step)
    : WindowReader(device, WindowPlan{start, end, window, true, step, window, device_size}) {}

void WindowReader::Start() {
  const size_t capacity = static_cast<size_t>(std::max(plan_.capacity, plan_.read_bytes));
  try {
    held_.bytes.assign(capacity, 0);
    ahead_.bytes.assign(capacity, 0);
  } catch (const std::bad_alloc&) {
    std::vector<uint8_t>().swap(held_.bytes);
    std::vector<uint8_t>().swap(ahead_.bytes);
    usable_ = false;
    return;
  }
  // One window needs no second thread; more than one overlap read and search.
  if (plan_.step <= 0 || plan_.end - position_ <= plan_.step) return;
  try {
    reader_ = std::thread([this] { Run(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;  // no thread to be had: read on the caller's thread
  }
}

WindowReader::~WindowReader() {
  if (!threaded_) return;
  handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) != kAsked; });
  handoff_.Publish(state_, kQuit);
  reader_.join();
}

void WindowReader::ReadInto(Slot& slot, int64_t position) {
  const auto length = static_cast<int32_t>(
      plan_.clip_to_end ? std::min<int64_t>(plan_.read_bytes, plan_.end - position)
                        : plan_.read_bytes);
  uint8_t* data = slot.bytes.data();
  // Without a known size a short read cannot be told from a full one: start
  // from a clear window.
  if (plan_.device_size <= 0) std::memset(data, 0, slot.bytes.size());
  device_.Read(position, data, length);
  const bool ok = device_.ok();
  if (!ok) {
    std::memset(data, 0, slot.bytes.size());
    if (salvage_) salvage_(device_, position, data, length);
  } else {
    // A short read succeeds and leaves the rest as it was: clear it.
    int64_t valid = length;
    if (plan_.device_size > 0) valid = std::clamp<int64_t>(plan_.device_size - position, 0, length);
    std::memset(data + valid, 0, slot.bytes.size() - static_cast<size_t>(valid));
  }
  slot.window = Window{data, position, length, ok};
  slot.next = position + std::min(length, plan_.step);
}

void WindowReader::Run() {
  for (;;) {
    handoff_.WaitFor([&] {
      const int s = state_.load(std::memory_order_acquire);
      return s == kAsked || s == kQuit;
    });
    if (state_.load(std::memory_order_acquire) == kQuit) return;
    // Asked: the caller does not touch the device or this slot until done.
    ReadInto(ahead_, ahead_at_);
    handoff_.Publish(state_, kDone);
  }
}

bool WindowReader::Next(Window& out) {
  if (!usable_ || plan_.step <= 0 || position_ >= plan_.end) return false;
  if (state_.load(std::memory_order_acquire) != kIdle) {
    // The window read ahead is always the next one in order.
    handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) == kDone; });
    std::swap(held_, ahead_);  // the bytes move with their buffer
    state_.store(kIdle, std::memory_order_relaxed);
  } else {
    ReadInto(held_, position_);
  }
  out = held_.window;
  position_ = held_.next;
  if (threaded_ && read_ahead_ && position_ < plan_.end) {
    ahead_at_ = position_;
    handoff_.Publish(state_, kAsked);
  }
  return true;
}

}  // namespace orvane
