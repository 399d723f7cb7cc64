#include "recordings/row_filter.h"

#include <algorithm>
#include <limits>
#include <optional>

#include "device/notify.h"
#include "recordings/clock_offset.h"
#include "recordings/recording_rows.h"
#include "recordings/row_text.h"
#include "scan/parse_job.h"
#include "scan/task_head.h"

namespace orvane {

int64_t HourKey(int32_t year, int32_t month, int32_t day, int32_t hour) {
  // Shifted as 32-bit values, as the keys have always been made.
  auto term = [](int32_t v, int shift) {
    return static_cast<int64_t>(static_cast<int32_t>(static_cast<uint32_t>(v) << shift));
  };
  return term(year, 17) + term(month, 12) + term(day, 6) + static_cast<int64_t>(hour);
}

namespace {
// The standard string-to-integer reading: leading blanks, a sign, digits.
int32_t TextValue(std::string_view text) {
  const int64_t v = EditValue(text);
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// The text before `sep` and the rest behind it; without `sep` the whole text
// and nothing.
std::string_view Take(std::string_view& text, char sep) {
  const size_t at = text.find(sep);
  std::string_view head = text.substr(0, at);
  text = at == std::string_view::npos ? std::string_view{} : text.substr(at + 1);
  return head;
}
}  // namespace

int64_t HourKeyOfText(std::string_view text) {
  const int32_t year = TextValue(Take(text, '-'));
  const int32_t month = TextValue(Take(text, '-'));
  const int32_t day = TextValue(Take(text, ' '));
  const int32_t hour = TextValue(Take(text, '-'));
  return HourKey(year, month, day, hour);
}

int64_t HourKeyOfTime(uint8_t time_kind, uint32_t value) {
  CivilTime t;
  // An unknown kind has an empty text, which reads as all zero.
  if (!DecodeTime(time_kind, value, t)) return HourKey(0, 0, 0, 0);
  // A negative field prints a '-' of its own and reads back differently;
  // keep the text's reading for it rather than guess.
  if (t.year < 0 || t.month < 0 || t.day < 0 || t.hour < 0)
    return HourKeyOfText(FormatTimeText(time_kind, value));
  return HourKey(t.year, t.month, t.day, t.hour);
}

int64_t FilterHourKey(uint8_t time_kind, uint32_t value, int64_t clock_offset) {
  if (clock_offset == 0) return HourKeyOfTime(time_kind, value);
  const std::optional<int64_t> seconds = TimeWordSeconds(time_kind, value);
  // An unknown kind has no corrected text either: all zero, as above.
  if (!seconds) return HourKey(0, 0, 0, 0);
  const CivilTime t = SecondsCivilTime(*seconds - clock_offset);
  return HourKey(t.year, t.month, t.day, t.hour);
}

std::vector<int32_t> ParseChannelList(std::string_view text) {
  std::vector<int32_t> out;
  if (text.empty()) return out;
  for (size_t at = text.find('-'); at != std::string_view::npos && at > 0; at = text.find('-')) {
    out.push_back(TextValue(text.substr(0, at)));
    text = text.substr(at + 1);
  }
  out.push_back(TextValue(text));
  return out;
}

bool FilterSettings::valid() const {
  if (mode == FilterByDate) return HourKeyLess(start_key, end_key);
  return !channels.empty();
}

namespace {
bool KeysMatch(const FilterSettings& s, int64_t start_key, int64_t end_key) {
  const auto lo = static_cast<uint64_t>(s.start_key);
  const auto hi = static_cast<uint64_t>(s.end_key);
  const auto sk = static_cast<uint64_t>(start_key);
  const auto ek = static_cast<uint64_t>(end_key);
  return (lo <= sk && sk < hi) || (lo < ek && ek <= hi);
}
}  // namespace

void FilterRows(RecordingRows& rows, uint8_t time_kind, const FilterSettings& s,
                const std::atomic<int32_t>* stop, const FilterHooks& hooks) {
  PostInfo(kMsgFiltering);
  const int64_t last = static_cast<int64_t>(rows.size()) - 1;
  if (hooks.range) hooks.range(std::max<int64_t>(last, 0) / 1000);
  rows.RemoveRows(
      [&](size_t r) {
        const RecordingEntry& e = rows.Entry(r);
        if (s.mode == FilterByDate)
          return KeysMatch(s, FilterHourKey(time_kind, e.start_time, s.clock_offset),
                           FilterHourKey(time_kind, e.end_time, s.clock_offset));
        // The channel text is the plain decimal number, which reads back as
        // itself.
        return std::any_of(s.channels.begin(), s.channels.end(),
                           [&](int32_t c) { return c == e.channel; });
      },
      stop,
      [&](size_t r) {
        if (hooks.position && r % 1000 == 0) hooks.position(static_cast<int64_t>(r) / 1000);
      });
  PostInfo(kMsgFilterDone);
}

}  // namespace orvane
