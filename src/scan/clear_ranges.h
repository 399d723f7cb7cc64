#pragma once
// Stretches of the medium that a detection pass read whole and found no
// frame signature starting in. The deep scan that follows the detection
// looks for the same signature over the same region; where a stretch covers
// one of its windows it can take the window as empty instead of reading it a
// second time. Only stretches read without a failure are kept, and at most
// kMaxRanges of them: what is not kept is simply read again.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "device/byte_range.h"

namespace orvane {

class ClearRanges {
 public:
  static constexpr size_t kMaxRanges = 1 << 16;

  // [from, to) holds no signature start. Stretches may come in any order
  // (probes of a large disk overlap); Settle() must follow the last one.
  void Add(int64_t from, int64_t to);
  // Sorts and joins the stretches; Covers() answers only after it.
  void Settle();
  // Whether no signature starts anywhere in [from, to).
  bool Covers(int64_t from, int64_t to) const;

 private:
  std::vector<ByteRange> ranges_;
  bool settled_ = false;
};

}  // namespace orvane
