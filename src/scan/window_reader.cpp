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
    for (Slot& s : slots_) s.bytes.assign(capacity, 0);
  } catch (const std::bad_alloc&) {
    for (Slot& s : slots_) std::vector<uint8_t>().swap(s.bytes);
    usable_ = false;
    return;
  }
  // One window needs no second thread; more than one overlap read and search.
  if (plan_.step <= 0 || plan_.end - position_ <= plan_.step) return;
  try {
    reader_ = std::thread([this] { ReadAhead(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    threaded_ = false;  // no thread to be had: read on the caller's thread
  }
}

WindowReader::~WindowReader() {
  if (!threaded_) return;
  handoff_.Publish(quit_, true);
  reader_.join();
}

int64_t WindowReader::ReadInto(Slot& slot, int64_t position) {
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
  return position + std::min(length, plan_.step);
}

void WindowReader::ReadAhead() {
  int64_t position = position_;
  for (size_t fill = 0; position < plan_.end; fill ^= 1) {
    Slot& slot = slots_[fill];
    handoff_.WaitFor(
        [&] { return quit_.load() || slot.state.load(std::memory_order_acquire) == kFree; });
    if (quit_.load()) break;
    // The slot is free: the caller neither holds it nor waits on it.
    position = ReadInto(slot, position);
    handoff_.Publish(slot.state, kFilled);
  }
  handoff_.Publish(reader_done_, true);
}

bool WindowReader::Next(Window& out) {
  if (!threaded_) {
    if (!usable_ || plan_.step <= 0 || position_ >= plan_.end) return false;
    position_ = ReadInto(slots_[0], position_);
    out = slots_[0].window;
    return true;
  }
  Slot& held = slots_[take_ ^ 1];
  if (held.state.load(std::memory_order_relaxed) == kHeld) handoff_.Publish(held.state, kFree);
  Slot& slot = slots_[take_];
  handoff_.WaitFor(
      [&] { return slot.state.load(std::memory_order_acquire) == kFilled || reader_done_.load(); });
  if (slot.state.load(std::memory_order_acquire) != kFilled) return false;
  slot.state.store(kHeld, std::memory_order_relaxed);
  out = slot.window;
  take_ ^= 1;
  return true;
}

}  // namespace orvane
