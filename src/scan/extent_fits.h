#pragma once
// Whether a run of bytes read from a task file can lie on a source device:
// its offset and its end must both be device offsets (int64). A task file is
// not to be trusted, and a wrapped offset would send a read somewhere else.

#include <cstdint>
#include <limits>

namespace orvane {

inline bool ExtentFits(uint64_t offset, uint64_t length) {
  constexpr auto kMax = static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  return offset <= kMax && length <= kMax - offset;
}

}  // namespace orvane
