#include "timeline_strip.h"

#include <algorithm>
#include <cmath>

namespace orvane::gui {

namespace {

// Positions of the channel's recordings that may reach into [t0, t1].
std::pair<size_t, size_t> Candidates(const TimelineIndex& index, size_t c, double t0, double t1) {
  return {index.LowerBound(c, t0 - index.longest(c)), index.LowerBound(c, std::floor(t1) + 1)};
}

}  // namespace

std::pair<int, int> TimelineBarColumns(const TimelineAxis& axis, uint32_t start, uint32_t end) {
  const double limit = axis.width() + 1.0;
  const int x0 = static_cast<int>(std::clamp(std::floor(axis.XOf(start)), -1.0, limit));
  const int x1 = static_cast<int>(std::clamp(std::ceil(axis.XOf(end)), -1.0, limit));
  return {x0, std::max(x1, x0 + 1)};
}

std::vector<TimelineSegment> TimelineStrip(const TimelineIndex& index, size_t c,
                                           const TimelineAxis& axis) {
  std::vector<TimelineSegment> out;
  const int width = axis.width();
  const auto [first, last] = Candidates(index, c, axis.begin(), axis.end());
  // Room for each bar when they average two columns or more.
  if (last - first <= static_cast<size_t>(width / 2)) {
    for (size_t p = first; p < last; ++p) {
      const uint32_t row = index.RowAt(p);
      const uint32_t end = index.EndOfRow(row);
      if (end < axis.begin()) continue;
      const auto [x0, x1] = TimelineBarColumns(axis, index.StartAt(p), end);
      if (x1 <= 0 || x0 >= width) continue;
      out.push_back({x0, x1, row, index.IsTickedAt(p), true});
    }
    return out;
  }
  size_t k0 = index.LowerBound(c, axis.TimeAt(0));
  uint32_t carried = 0;  // a recording begun in an earlier column
  bool have_carried = k0 > index.begin(c);
  if (have_carried) carried = index.RowAt(k0 - 1);
  for (int x = 0; x < width; ++x) {
    const double t0 = axis.TimeAt(x);
    const double t1 = axis.TimeAt(x + 1);
    const size_t k1 = index.LowerBound(c, t1);
    if (k1 > k0) {
      carried = index.RowAt(k0);
      have_carried = true;
    }
    if (have_carried && index.Covers(c, t0, t1)) {
      const bool ticked = index.AnyTicked(k0, k1);
      if (!out.empty() && out.back().x1 == x && out.back().row == carried &&
          out.back().ticked == ticked)
        out.back().x1 = x + 1;
      else
        out.push_back({x, x + 1, carried, ticked, false});
    }
    k0 = k1;
  }
  return out;
}

std::optional<uint32_t> TimelineHit(const TimelineIndex& index, size_t c, const TimelineAxis& axis,
                                    double x, double slop) {
  if (c >= index.channel_count()) return std::nullopt;
  const double t = axis.TimeAt(x);
  const double reach = slop * axis.SecondsPerPixel();
  auto [first, last] = Candidates(index, c, t - reach, t + reach);
  // A channel with absurdly long recordings must not turn a click into a
  // walk through the whole page.
  first = std::max(first, last > (size_t{1} << 18) ? last - (size_t{1} << 18) : size_t{0});
  std::optional<uint32_t> best;
  double best_distance = reach;
  for (size_t p = last; p-- > first;) {
    const uint32_t row = index.RowAt(p);
    const double start = index.StartAt(p);
    const double end = index.EndOfRow(row);
    const double distance = t < start ? start - t : (t > end ? t - end : 0);
    // The latest start wins a tie: its bar is drawn on top.
    if (distance < best_distance || (!best && distance <= reach)) {
      best = row;
      best_distance = distance;
      if (distance == 0) break;
    }
  }
  return best;
}

}  // namespace orvane::gui
