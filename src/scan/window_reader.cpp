#include "scan/window_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <utility>

#include "device/source_device.h"
#include "scan/bad_area_skip.h"
#include "scan/clear_ranges.h"
#include "scan/salvage_read.h"

namespace orvane {

WindowReader::WindowReader(SourceDevice& device, const WindowPlan& plan, Salvage salvage)
    : device_(device), plan_(plan), salvage_(std::move(salvage)), position_(plan.start) {
  const size_t capacity = static_cast<size_t>(std::max(plan_.capacity, plan_.read_bytes));
  try {
    held_.bytes.assign(capacity, 0);
  } catch (const std::bad_alloc&) {
    usable_ = false;
  }
  if (usable_ && plan_.survey && plan_.survey_source) {
    ahead_ = std::make_unique<SurveyAhead>(plan_.survey_source, plan_, plan_.survey, plan_.notes,
                                           plan_.may_take);
  }
}

WindowReader::WindowReader(SourceDevice& device, int64_t device_size, int64_t start, int64_t end,
                           int32_t window, int32_t step, BadAreaSkip* skip)
    : WindowReader(device, ClippedWindows(device_size, start, end, window, step, skip)) {}

WindowPlan ClippedWindows(int64_t device_size, int64_t start, int64_t end, int32_t window,
                          int32_t step, BadAreaSkip* skip) {
  WindowPlan plan;
  plan.start = start;
  plan.end = end;
  plan.read_bytes = window;
  plan.step = step;
  plan.capacity = window;
  plan.device_size = device_size;
  plan.skip = skip;
  return plan;
}

void WindowReader::ReadInto(Slot& slot, int64_t position) {
  const int32_t length = plan_.ReadLength(position);
  if (plan_.known_clear && plan_.known_clear->Covers(position, position + length) &&
      HandOutClear(slot, position, length))
    return;
  // Only where the plain read would bring the bytes as they are: a skip
  // under way leaves some out.
  if (plan_.take && (!plan_.skip || plan_.skip->Calm(position)) &&
      plan_.take(device_, position, slot.notes) && HandOutClear(slot, position, length)) {
    slot.window.notes = &slot.notes;
    if (plan_.skip) plan_.skip->NoteRead(plan_.device_size, position, length);
    return;
  }
  const bool surveyed =
      ahead_ && (plan_.notes ? ahead_->Surveyed(position, slot.notes) : ahead_->Empty(position));
  if (surveyed && HandOutClear(slot, position, length)) {
    if (plan_.notes) slot.window.notes = &slot.notes;
    if (plan_.skip) plan_.skip->NoteRead(plan_.device_size, position, length);
    return;
  }
  uint8_t* data = slot.bytes.data();
  if (plan_.skip) {
    const bool ok = plan_.skip->Read(device_, plan_.device_size, position, data,
                                     static_cast<size_t>(length), slot.bytes.size());
    if (!ok && ahead_) ahead_->Stop();
    slot.window = Window{data, position, length, ok};
    slot.next = position + std::min(length, plan_.step);
    return;
  }
  const bool ok = ReadZeroed(device_, plan_.device_size, position, data,
                             static_cast<size_t>(length), slot.bytes.size());
  if (!ok && ahead_) ahead_->Stop();
  if (!ok && salvage_) salvage_(device_, position, data, length);
  slot.window = Window{data, position, length, ok};
  slot.next = position + std::min(length, plan_.step);
}

bool WindowReader::HandOutClear(Slot& slot, int64_t position, int32_t length) {
  if (!zeros_.Map(slot.bytes.size())) return false;
  slot.window = Window{zeros_.data(), position, length, true, true};
  slot.next = position + std::min(length, plan_.step);
  return true;
}

bool WindowReader::Next(Window& out) {
  if (!usable_ || plan_.step <= 0 || position_ >= plan_.end) return false;
  ReadInto(held_, position_);
  out = held_.window;
  position_ = held_.next;
  return true;
}

}  // namespace orvane
