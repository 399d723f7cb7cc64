#include "engines/dahua/detection_walk.h"

namespace orvane {

void DetectionWalk::Take(int64_t offset, const DahuaFrame& f) {
  if (ended_ || dropped_) return;
  if (kept_.size() >= kMostRuns) {
    End(offset);
    return;
  }
  if (first_ < 0) first_ = offset;
  FrameRun ended;
  const bool began = builder_.Take(offset, f, ended);
  if (first_ended_) {
    if (began && KeptRun(ended)) kept_.push_back(ended);
    return;
  }
  if (began && offset != first_) {
    first_ended_ = true;
    first_run_ = ended;
    return;
  }
  first_rest_.Take(f);
}

void DetectionWalk::End(int64_t position) {
  if (ended_) return;
  ended_ = true;
  resume_ = position;
}

bool DetectionWalk::TakeOver(FrameRunBuilder& scan, std::vector<FrameRun>& kept,
                             int64_t& resume) const {
  if (!usable(region_end_)) return false;
  FrameRun& run = scan.run();
  if (scan.Continues(first_)) {
    if (static_cast<int64_t>(run.length) + first_rest_.length() > kDahuaRunLimit) return false;
    first_rest_.ApplyTo(run);
    resume = resume_;
    // Still in the detection's first run where it stopped: the scan's run
    // is the one in progress.
    if (!first_ended_) return true;
    if (KeptRun(run)) kept.push_back(run);
  } else {
    // The scan's run ends where the detection's first frame begins a new
    // one, and from there on the two walks build the same runs.
    if (KeptRun(run)) kept.push_back(run);
    if (first_ended_ && KeptRun(first_run_)) kept.push_back(first_run_);
  }
  kept.insert(kept.end(), kept_.begin(), kept_.end());
  run = builder_.run();
  resume = resume_;
  return true;
}

}  // namespace orvane
