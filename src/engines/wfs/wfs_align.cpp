#include "engines/wfs/wfs_align.h"

#include <algorithm>

#include "engines/wfs/wfs_format.h"
#include "scan/task_head.h"

namespace orvane::wfs {

void AlignmentVotes::StartRun(uint64_t at, uint32_t size, uint32_t time, int kind) {
  run_offset_ = at;
  run_length_ = size;
  run_time_ = time;
  run_kind_ = kind;
}

void AlignmentVotes::Track(uint64_t at, uint32_t size, uint32_t time, int kind) {
  if (run_length_ == 0) return StartRun(at, size, time, kind);
  const uint64_t run_end = run_offset_ + static_cast<uint64_t>(run_length_);
  if (kind != FrameKey) {
    if (at == run_end) {
      run_length_ += size;
      return;
    }
    if (run_kind_ == FrameKey) Vote(WindowSector(run_end), WindowSector(at));
    return StartRun(at, size, time, kind);
  }
  if (run_kind_ != FrameKey) {
    if (at == run_end) {
      run_length_ += size;
      run_time_ = time;
      run_kind_ = FrameKey;
      return;
    }
    return StartRun(at, size, time, FrameKey);
  }
  if (at == run_end) {
    const int64_t gap = PackedTimeGap(run_time_, time);
    if (gap >= 0 && gap <= 9) {
      run_length_ += size;
      run_time_ = time;
      return;
    }
  }
  if (run_length_ > 20) Vote(WindowSector(run_end), WindowSector(at));
  StartRun(at, size, time, kind);
}

void AlignmentVotes::Vote(int64_t from, int64_t to) {
  if (to <= from) return;
  if (low_ >= 0 && high_ >= 0 && high_ > from) {
    const int64_t low = std::max(low_, from);
    const int64_t high = std::min(high_, to);
    if (high - low == 1) {
      low_ = low;
      high_ = high;
      found_ = true;
      return;
    }
    // A bracket that still holds the border narrows further; one that no
    // longer overlaps the new break was a false one and is replaced.
    if (high - low > 1) {
      low_ = low;
      high_ = high;
      return;
    }
  }
  low_ = from;
  high_ = to;
}

void AlignmentVotes::CountDecision() {
  ++votes_[high_];
  low_ = high_ = -1;
  found_ = false;
}

int64_t AlignmentVotes::Result() const {
  int64_t best = -1, best_votes = 0;
  for (const auto& [sector, count] : votes_) {
    if (count > best_votes) {
      best = sector;
      best_votes = count;
    }
  }
  return best < 0 ? -1 : best * 512;
}

}  // namespace orvane::wfs
