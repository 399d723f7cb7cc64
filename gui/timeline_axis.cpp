#include "timeline_axis.h"

#include <algorithm>

namespace orvane::gui {

void TimelineAxis::SetWidth(int pixels) {
  width_ = std::max(pixels, 1);
  Show(begin_, span_);
}

void TimelineAxis::SetExtent(double first, double last) {
  first_ = first;
  last_ = std::max(first, last);
  Show(begin_, span_);
}

void TimelineAxis::Show(double begin, double span) {
  span_ = std::clamp(span, kMinSpan, kMaxSpan);
  begin_ = std::clamp(begin, first_ - span_ / 2, last_ - span_ / 2);
}

void TimelineAxis::ZoomAt(double x, double factor) {
  const double anchor = TimeAt(x);
  const double span = std::clamp(span_ * factor, kMinSpan, kMaxSpan);
  Show(anchor - x * span / width_, span);
}

double TimelineAxis::RulerStep(int min_pixels) const {
  static constexpr double kSteps[] = {1,     2,     5,     10,    15,     30,     60,
                                      120,   300,   600,   900,   1800,   3600,   7200,
                                      10800, 21600, 43200, 86400, 172800, 432000, 604800};
  const double wanted = min_pixels * SecondsPerPixel();
  for (double s : kSteps)
    if (s >= wanted) return s;
  return 2 * 604800;
}

}  // namespace orvane::gui
