#pragma once
// A half-open byte range on a device whose arithmetic saturates instead of
// overflowing. Offsets and lengths taken from a disk or a task file are
// untrusted; clamping them through this type keeps every later computation
// inside int64.

#include <algorithm>
#include <cstdint>
#include <limits>

namespace orvane {

inline int64_t SaturatingAdd(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_add_overflow(a, b, &r)) {
    return b > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
  }
  return r;
}

inline int64_t SaturatingMul(int64_t a, int64_t b) {
  int64_t r;
  if (__builtin_mul_overflow(a, b, &r)) {
    return ((a < 0) != (b < 0)) ? std::numeric_limits<int64_t>::min()
                                : std::numeric_limits<int64_t>::max();
  }
  return r;
}

// The whole units of `unit` bytes (sectors) that hold [begin, begin +
// length), as a read that starts on a unit boundary asks for them.
struct UnitSpan {
  int64_t begin = 0;   // on a unit boundary
  int64_t length = 0;  // whole units
  int64_t lead = 0;    // from `begin` to the start of the range held
};
inline UnitSpan UnitsHolding(int64_t begin, int64_t length, int64_t unit) {
  const int64_t lead = begin % unit;
  return {begin - lead, (lead + length + unit - 1) / unit * unit, lead};
}

struct ByteRange {
  int64_t begin = 0;
  int64_t end = 0;  // exclusive

  static ByteRange FromLength(int64_t begin, int64_t length) {
    return {begin, SaturatingAdd(begin, std::max<int64_t>(length, 0))};
  }
  int64_t length() const { return end > begin ? end - begin : 0; }
  bool empty() const { return end <= begin; }
  bool contains(int64_t offset) const { return offset >= begin && offset < end; }
  ByteRange clamped_to(int64_t device_size) const {
    ByteRange r{std::clamp<int64_t>(begin, 0, device_size),
                std::clamp<int64_t>(end, 0, device_size)};
    if (r.end < r.begin) r.end = r.begin;
    return r;
  }
  ByteRange intersect(const ByteRange& o) const {
    ByteRange r{std::max(begin, o.begin), std::min(end, o.end)};
    if (r.end < r.begin) r.end = r.begin;
    return r;
  }
};

}  // namespace orvane
