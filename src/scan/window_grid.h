#pragma once
// Where the windows of a sequential scan lie and how much of each is read:
// shared by the reader of the windows and the survey that reads ahead of it.

#include <algorithm>
#include <cstdint>

namespace orvane {

struct WindowGrid {
  int64_t start = 0;
  int64_t end = 0;  // windows begin below this
  // Bytes asked at each window's position; with clip_to_end, no more than
  // remain below `end`.
  int32_t read_bytes = 0;
  bool clip_to_end = true;
  // Distance to the next window; the reader of the windows also ends a
  // shorter read's window here.
  int32_t step = 0;
  // Size of each window's buffer (at least read_bytes); everything behind
  // the bytes read is zero.
  int32_t capacity = 0;
  // Size of the medium (0 = unknown): a read reaching past it comes back
  // short, and the rest is zeroed.
  int64_t device_size = 0;

  // The bytes asked at the window at `position`.
  int32_t ReadLength(int64_t position) const {
    return clip_to_end ? static_cast<int32_t>(std::min<int64_t>(read_bytes, end - position))
                       : read_bytes;
  }
};

}  // namespace orvane
