#pragma once
// The version-2 scan's frame runs, built from chained frames in walk order:
// a frame that starts where the run ends joins it, until the run reaches
// kDahuaRunLimit; any other frame begins a new run. A run is kept when it
// holds a time frame.

#include <cstdint>

#include "engines/dahua/dahua_layout.h"
#include "engines/dahua/dahua_scan_parts.h"

namespace orvane {

inline constexpr int64_t kDahuaRunLimit = 0x80000000LL;

inline bool KeptRun(const FrameRun& r) { return r.length > 0 && r.kind == kDahuaTimeFrame; }

class FrameRunBuilder {
 public:
  // Whether a frame at `offset` would join the run in progress.
  bool Continues(int64_t offset) const {
    return run_.length > 0 && offset == run_.start + static_cast<int64_t>(run_.length) &&
           run_.length < kDahuaRunLimit;
  }
  // Takes the frame at `offset`. When it begins a new run, the run it ends
  // (empty before the first frame) is handed back in `ended`, and true
  // returned.
  bool Take(int64_t offset, const DahuaFrame& f, FrameRun& ended);

  FrameRun& run() { return run_; }
  const FrameRun& run() const { return run_; }

 private:
  FrameRun run_;
};

// What frames joining a run do to it, summed up so that it can be done
// without them: their length, and the times and channel they would set.
class RunContinuation {
 public:
  void Take(const DahuaFrame& f);
  int64_t length() const { return length_; }
  // The run as it would be after taking the frames one by one; the caller
  // sees to it that it stays below the limit meanwhile.
  void ApplyTo(FrameRun& run) const;

 private:
  int64_t length_ = 0;
  bool has_time_ = false;
  // A run without a first time takes it (and the channel) from time
  // frames until one has a time other than 0.
  bool first_settled_ = false;
  uint32_t first_time_ = 0;
  uint8_t channel_ = 0;
  uint32_t last_time_ = 0;
};

}  // namespace orvane
