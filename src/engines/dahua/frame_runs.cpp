#include "engines/dahua/frame_runs.h"

namespace orvane {

bool FrameRunBuilder::Take(int64_t offset, const DahuaFrame& f, FrameRun& ended) {
  if (Continues(offset)) {
    if (f.kind == kDahuaTimeFrame) {
      if (run_.first_time == 0) {
        run_.first_time = f.time;
        run_.channel = f.channel;
      }
      run_.last_time = f.time;
      run_.kind = kDahuaTimeFrame;
    }
    run_.length += f.length;
    return false;
  }
  ended = run_;
  run_.start = offset;
  run_.length = f.length;
  run_.channel = f.channel;
  run_.first_time = run_.last_time = f.time;
  run_.kind = f.kind;
  return true;
}

void RunContinuation::Take(const DahuaFrame& f) {
  length_ += f.length;
  if (f.kind != kDahuaTimeFrame) return;
  if (!first_settled_) {
    first_time_ = f.time;
    channel_ = f.channel;
    first_settled_ = f.time != 0;
  }
  last_time_ = f.time;
  has_time_ = true;
}

void RunContinuation::ApplyTo(FrameRun& run) const {
  run.length += static_cast<uint32_t>(length_);
  if (!has_time_) return;
  if (run.first_time == 0) {
    run.first_time = first_time_;
    run.channel = channel_;
  }
  run.last_time = last_time_;
  run.kind = kDahuaTimeFrame;
}

}  // namespace orvane
