#pragma once
// The frame runs the smart-value detection's walk found, kept for the
// version-2 scan of the same region. Both walk frames the same way, and a
// walk goes on from a frame the same way whichever window it stands in: from
// the first frame they share, the scan would find what the detection found.
// So when the scan's walk comes to the detection's first frame it takes over
// the detection's runs and goes on where the detection's walk stopped,
// instead of reading those frames a second time.
//
// The scan's results are those of its own walk: it takes over only when its
// walk meets the detection's at a frame, never after a read failed on either
// side, and only where a run of its own that goes on into the detection's
// first run stays below the run limit.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/dahua/frame_runs.h"

namespace orvane {

class DetectionWalk {
 public:
  // Runs kept before the detection stops keeping them (and the scan walks
  // on from there): the memory stays small whatever the disk holds.
  static constexpr size_t kMostRuns = size_t{1} << 16;

  // For a scan of the region ending at `region_end`; a scan of another
  // region takes nothing over.
  explicit DetectionWalk(int64_t region_end) : region_end_(region_end) {}

  // The detection's side: each chained frame its walk takes, in order, up
  // to End(); the position its walk would go on from.
  void Take(int64_t offset, const DahuaFrame& f);
  void End(int64_t position);
  // A read failed: what the detection saw may not be what the scan reads.
  void Drop() { dropped_ = true; }

  // The scan's side.
  bool usable(int64_t region_end) const {
    return region_end == region_end_ && ended_ && !dropped_ && first_ >= 0 && resume_ > first_;
  }
  // Where the detection's first frame starts.
  int64_t first_frame() const { return first_; }
  // With the scan's walk at first_frame(), its runs so far in `scan`:
  // appends the runs the scan would keep up to where the detection stopped
  // to `kept`, leaves `scan` as the scan would have it there, and gives the
  // position to walk on from. False (nothing changed) when the scan's run
  // would run into the limit before the detection's first run ends.
  bool TakeOver(FrameRunBuilder& scan, std::vector<FrameRun>& kept, int64_t& resume) const;

 private:
  int64_t region_end_;
  bool ended_ = false;
  bool dropped_ = false;
  int64_t first_ = -1;
  int64_t resume_ = -1;
  // The first run is kept apart: a run of the scan's may go on into it.
  bool first_ended_ = false;
  FrameRun first_run_;
  RunContinuation first_rest_;
  std::vector<FrameRun> kept_;  // behind the first run
  FrameRunBuilder builder_;
};

}  // namespace orvane
