#pragma once
// What one channel's row of the timeline shows at the axis' scale, and
// which recording a click on it means.
//
// While a channel has few recordings in view each gets its own bar; when
// there are more than the row has room for, the row is drawn a pixel column
// at a time: a column is covered when any recording overlaps its stretch of
// time (two binary searches in the index), so the cost of a frame depends
// on the width of the view, not on the number of recordings.

#include <cstdint>
#include <optional>
#include <vector>

#include "timeline_axis.h"
#include "timeline_index.h"

namespace orvane::gui {

struct TimelineSegment {
  int x0 = 0, x1 = 0;  // pixel columns [x0, x1)
  uint32_t row = 0;    // the recording it shows (one of them, when aggregated)
  bool ticked = false;
  bool single = false;  // exactly one recording's bar
};

std::vector<TimelineSegment> TimelineStrip(const TimelineIndex& index, size_t channel,
                                           const TimelineAxis& axis);

// The list row of the recording under column x of the channel's row: the
// one whose bar holds x, else the nearest within `slop` pixels.
std::optional<uint32_t> TimelineHit(const TimelineIndex& index, size_t channel,
                                    const TimelineAxis& axis, double x, double slop = 2);

// Pixel columns [x0, x1) of a recording's bar; at least one column wide.
std::pair<int, int> TimelineBarColumns(const TimelineAxis& axis, uint32_t start, uint32_t end);

}  // namespace orvane::gui
