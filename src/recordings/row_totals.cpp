#include "recordings/row_totals.h"

#include <algorithm>
#include <unordered_set>

#include "device/format_text.h"
#include "recordings/recording_rows.h"
#include "recordings/row_sort.h"
#include "scan/task_head.h"

namespace orvane {

namespace {
// A time a day can have; an unset or damaged word (all zero, a month of 15)
// would stretch the page's span to nonsense.
bool IsCalendarTime(uint8_t kind, uint32_t value) {
  CivilTime t;
  if (!DecodeTime(kind, value, t)) return false;
  return t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 && t.hour < 24 &&
         t.minute < 60 && t.second < 60;
}
}  // namespace

RowTotals CountRows(const RecordingRows& rows, uint8_t time_kind) {
  RowTotals t;
  const size_t n = rows.size();
  t.rows = static_cast<int64_t>(n);
  if (n == 0) return t;
  std::unordered_set<int64_t> channels;
  uint64_t first_key = 0, last_key = 0;
  bool any_time = false, any_end = false;
  uint32_t first = 0, last = 0;
  int64_t previous_channel = 0;
  for (size_t r = 0; r < n; ++r) {
    const RecordingEntry& e = rows.Entry(r);
    // Neighbouring rows mostly share a channel; the set is asked less.
    if (r == 0 || e.channel != previous_channel) channels.insert(e.channel);
    previous_channel = e.channel;
    if (IsCalendarTime(time_kind, e.start_time)) {
      const uint64_t k = TimeSortKey(time_kind, e.start_time);
      if (!any_time || k < first_key) first_key = k, first = e.start_time;
      any_time = true;
    }
    if (IsCalendarTime(time_kind, e.end_time)) {
      const uint64_t k = TimeSortKey(time_kind, e.end_time);
      if (!any_end || k >= last_key) last_key = k, last = e.end_time;
      any_end = true;
    }
  }
  t.channels = static_cast<int64_t>(channels.size());
  if (any_time && any_end) {
    t.first_start = FormatTimeText(time_kind, first);
    t.last_end = FormatTimeText(time_kind, last);
  }
  return t;
}

void CountTicks(const RecordingRows& rows, RowTotals& totals) {
  totals.ticked = static_cast<int64_t>(rows.TickedCount());
  totals.ticked_size = totals.ticked > 0 ? rows.TickedSize() : 0;
}

std::string RowTotalsText(const RowTotals& t) {
  std::string text =
      "本页录像: " + std::to_string(t.rows) + "   已勾选: " + std::to_string(t.ticked);
  if (t.ticked > 0) text += " (" + FormatSize(t.ticked_size) + ")";
  text += "   通道: " + std::to_string(t.channels);
  if (!t.first_start.empty()) text += "   时间: " + t.first_start + " ~ " + t.last_end;
  return text;
}

}  // namespace orvane
