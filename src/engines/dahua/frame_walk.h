#pragma once
// The frame walk shared by the phase detector and the version-2 scan: it
// jumps from chained frame to chained frame, searches for the magic in
// between, and tells where the first frame it did not handle begins.
//
// A walk sees only the bytes it is given. The window it stands for is
// 0x200000 bytes of frame starts; whatever of it lies behind the bytes given
// (the region ended, the medium ended) counts as zeros, which hold no magic,
// so the search ends where the last whole magic fits. Only the bytes behind
// a frame that ends outside them are fetched, through `read_beyond`.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

#include "device/byte_order.h"
#include "engines/dahua/dahua_layout.h"
#include "engines/dahua/dahua_scan_parts.h"

namespace orvane {

// Frames are taken when they start at or below this position of a window.
inline constexpr size_t kDahuaWalkLimit = 0x1FFFFF;

// The window positions a walk of `valid` held bytes searches for a magic:
// those below the return value (a whole magic must fit in what is held).
inline size_t DahuaWalkSearchEnd(size_t valid) {
  return std::min(kDahuaWalkLimit + 1, valid >= 4 ? valid - 3 : 0);
}

// Walks `held`, the bytes at the start of a window. `read_beyond(e)` says
// whether the magic lies at window position e, which is behind `held`;
// `on_frame(i, frame)` takes each chained frame at window position i and
// returns true to end the walk there. Returns the window position of the
// first frame not handled: that frame's start after a stop, else at least
// kDahuaWalkLimit + 1 (further when the last frame taken ends beyond it).
// `on_searched(from, to)` hears of each stretch of window positions the
// walk searched and found no magic starting in.
template <class ReadBeyond, class OnFrame, class OnSearched>
size_t WalkDahuaFrames(std::span<const uint8_t> held, uint32_t magic, ReadBeyond&& read_beyond,
                       OnFrame&& on_frame, OnSearched&& on_searched) {
  const uint8_t* buf = held.data();
  const size_t valid = held.size();
  const size_t search_end = DahuaWalkSearchEnd(valid);
  size_t i = 0;
  while (i < search_end) {
    const size_t from = i;
    i = FindMagic(buf, i, search_end, magic);
    on_searched(from, std::min(i, search_end));
    if (i >= search_end) break;
    DahuaFrame f;
    if (valid - i >= kDahuaFrameHeaderSize) {
      f = ParseFrameHeader(buf + i, kDahuaFrameHeaderSize, magic);
    } else {
      // A header cut by the end of what is held reads on in zeros.
      uint8_t header[kDahuaFrameHeaderSize] = {};
      std::memcpy(header, buf + i, valid - i);
      f = ParseFrameHeader(header, sizeof header, magic);
    }
    if (f.kind == kDahuaNoFrame) {
      ++i;
      continue;
    }
    const size_t e = i + f.length;
    const bool chained = e + 4 <= valid ? LoadLE32(buf + e) == magic : read_beyond(e);
    if (!chained) {
      i += 8;
      continue;
    }
    if (on_frame(i, f)) return i;
    i = e;
  }
  return std::max(i, kDahuaWalkLimit + 1);
}

template <class ReadBeyond, class OnFrame>
size_t WalkDahuaFrames(std::span<const uint8_t> held, uint32_t magic, ReadBeyond&& read_beyond,
                       OnFrame&& on_frame) {
  return WalkDahuaFrames(held, magic, read_beyond, on_frame, [](size_t, size_t) {});
}

}  // namespace orvane
