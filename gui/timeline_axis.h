#pragma once
// The timeline's horizontal axis: which stretch of time the view shows and
// how it maps to pixel columns. The span stays between a minute and a month
// however far the wheel turns, and the middle of the view stays within the
// recordings' extent however far the user drags.

#include <cstdint>

namespace orvane::gui {

class TimelineAxis {
 public:
  static constexpr double kMinSpan = 60.0;
  static constexpr double kMaxSpan = 31.0 * 86400.0;

  void SetWidth(int pixels);
  // The times the middle of the view may lie between.
  void SetExtent(double first, double last);
  // Shows [begin, begin + span), both brought within the bounds.
  void Show(double begin, double span);

  int width() const { return width_; }
  double begin() const { return begin_; }
  double span() const { return span_; }
  double end() const { return begin_ + span_; }
  double extent_first() const { return first_; }
  double extent_last() const { return last_; }
  double SecondsPerPixel() const { return span_ / width_; }
  double TimeAt(double x) const { return begin_ + x * SecondsPerPixel(); }
  double XOf(double t) const { return (t - begin_) / SecondsPerPixel(); }

  // Scales the span by `factor` (below 1 zooms in) keeping the time under
  // column x where it is.
  void ZoomAt(double x, double factor);
  void PanPixels(double dx) { Show(begin_ + dx * SecondsPerPixel(), span_); }
  void CentreOn(double t) { Show(t - span_ / 2, span_); }

  // A step between ruler ticks (a round number of seconds, minutes, hours
  // or days) at least `min_pixels` apart at the current scale.
  double RulerStep(int min_pixels) const;

 private:
  int width_ = 1;
  double first_ = 0, last_ = 0;
  double begin_ = -kMaxSpan / 2, span_ = kMaxSpan;
};

}  // namespace orvane::gui
