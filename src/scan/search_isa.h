#pragma once
// Which vector instructions the byte searches of the deep scans may use.
// Each search picks the widest the processor has; tests ask for each one in
// turn, so that every path is checked on a machine that has them all.

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orvane {

enum class SearchIsa { kPlain, kAvx2, kAvx512 };

// The widest set this processor runs.
SearchIsa HostSearchIsa();

// True when this processor can run `isa`.
bool HostRuns(SearchIsa isa);

// The first position at or after `from` whose byte starts a cache line, or
// `end` when none comes before it. The vector searches start their blocks
// there: a window read at an odd offset would otherwise have every load
// straddle two lines, and cost two.
inline size_t FirstLineStart(const uint8_t* p, size_t from, size_t end) {
  return std::min(end, from + (-reinterpret_cast<uintptr_t>(p + from) & 63));
}

}  // namespace orvane
