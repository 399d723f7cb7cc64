// The phase detector: finds where the recorder's 2 MiB storage blocks begin
// from the places where frame streams break off and resume.

#include <algorithm>

#include "engines/dahua/dahua_scan_parts.h"
#include "scan/task_head.h"

namespace orvane {

void PhaseDetector::Gap(int64_t w, int64_t t) {
  if (t <= w) return;
  if (low_ != -1 && high_ != -1 && high_ > w) {
    low_ = std::max(low_, w);
    high_ = std::min(high_, t);
    if (high_ - low_ == 1) {
      found_ = true;
      return;
    }
  }
  low_ = w;
  high_ = t;
}

bool PhaseDetector::Feed(int64_t offset, const DahuaFrame& f) {
  auto restart = [&] {
    run_.start = offset;
    run_.length = f.length;
    run_.channel = f.channel;
    run_.first_time = run_.last_time = f.time;
    run_.kind = f.kind;
  };
  auto gap = [&] { Gap(PhaseOf(run_.start + run_.length), PhaseOf(offset)); };
  if (run_.length == 0) {
    restart();
    return false;
  }
  const bool contiguous = offset == run_.start + static_cast<int64_t>(run_.length);
  if (f.kind == kDahuaPlainFrame) {
    if (contiguous) {
      run_.length += f.length;
      return false;
    }
    if (run_.kind == kDahuaTimeFrame) {
      gap();
      if (found_) return true;
    }
    restart();
    return false;
  }
  if (run_.kind != kDahuaTimeFrame) {
    if (contiguous) {
      run_.first_time = run_.last_time = f.time;
      run_.channel = f.channel;
      run_.kind = kDahuaTimeFrame;
      run_.length += f.length;
    } else {
      restart();
    }
    return false;
  }
  if (contiguous) {
    const int64_t dt = PackedTimeGap(run_.last_time, f.time);
    if (dt >= 0 && dt <= 9) {
      run_.length += f.length;
      run_.last_time = f.time;
      return false;
    }
  }
  if (run_.length > kDahuaFrameHeaderSize) {
    gap();
    if (found_) return true;
  }
  restart();
  return false;
}

void PhaseDetector::Vote() {
  if (high_ >= 0) ++votes_[static_cast<uint64_t>(high_)];
  low_ = high_ = -1;
  found_ = false;
}

int64_t PhaseDetector::Result() const {
  int64_t best = -1;
  uint32_t best_votes = 0;
  for (const auto& [phase, n] : votes_) {
    if (n > best_votes) {  // ascending phases: the first of equals stays
      best = static_cast<int64_t>(phase);
      best_votes = n;
    }
  }
  return best < 0 ? -1 : best * 512;
}

}  // namespace orvane
