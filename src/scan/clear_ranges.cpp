#include "scan/clear_ranges.h"

#include <algorithm>

namespace orvane {

void ClearRanges::Add(int64_t from, int64_t to) {
  if (to <= from) return;
  settled_ = false;
  if (!ranges_.empty()) {
    ByteRange& last = ranges_.back();
    // A walk reports its stretches in order, each beginning where the last
    // ended or a little after it.
    if (from >= last.begin && from <= last.end) {
      last.end = std::max(last.end, to);
      return;
    }
  }
  if (ranges_.size() >= kMaxRanges) {
    Settle();
    if (ranges_.size() >= kMaxRanges) return;
    settled_ = false;
  }
  ranges_.push_back({from, to});
}

void ClearRanges::Settle() {
  std::sort(ranges_.begin(), ranges_.end(),
            [](const ByteRange& a, const ByteRange& b) { return a.begin < b.begin; });
  std::vector<ByteRange> joined;
  for (const ByteRange& r : ranges_) {
    if (!joined.empty() && r.begin <= joined.back().end)
      joined.back().end = std::max(joined.back().end, r.end);
    else
      joined.push_back(r);
  }
  ranges_ = std::move(joined);
  settled_ = true;
}

bool ClearRanges::Covers(int64_t from, int64_t to) const {
  if (!settled_) return false;
  if (to <= from) return true;
  // The last stretch that begins at or before `from`.
  auto it = std::upper_bound(ranges_.begin(), ranges_.end(), from,
                             [](int64_t at, const ByteRange& r) { return at < r.begin; });
  if (it == ranges_.begin()) return false;
  --it;
  return it->begin <= from && to <= it->end;
}

}  // namespace orvane
