#include "recordings/clock_offset.h"

#include <cstdio>

namespace orvane {

namespace {

constexpr int64_t kMaxOffsetHours = 99999;

bool ReadNumber(std::string_view& text, int64_t& value, size_t max_digits) {
  size_t n = 0;
  value = 0;
  while (n < text.size() && n < max_digits && text[n] >= '0' && text[n] <= '9')
    value = value * 10 + (text[n++] - '0');
  text.remove_prefix(n);
  return n > 0;
}

// Inverse of DaysFromCivil (Howard Hinnant's civil_from_days).
void CivilFromDays(int64_t z, int64_t& y, int& m, int& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = yoe + era * 400 + (m <= 2 ? 1 : 0);
}

}  // namespace

std::optional<int64_t> ParseClockOffset(std::string_view text) {
  int64_t sign = 1;
  if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
    sign = text[0] == '-' ? -1 : 1;
    text.remove_prefix(1);
  }
  int64_t h = 0, m = 0, s = 0;
  if (!ReadNumber(text, h, 5) || text.empty() || text[0] != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!ReadNumber(text, m, 2) || text.empty() || text[0] != ':') return std::nullopt;
  text.remove_prefix(1);
  if (!ReadNumber(text, s, 2) || !text.empty()) return std::nullopt;
  if (h > kMaxOffsetHours || m > 59 || s > 59) return std::nullopt;
  return sign * (h * 3600 + m * 60 + s);
}

std::string ClockOffsetText(int64_t seconds) {
  const char sign = seconds < 0 ? '-' : '+';
  const uint64_t a =
      seconds < 0 ? 0 - static_cast<uint64_t>(seconds) : static_cast<uint64_t>(seconds);
  char buf[48];
  std::snprintf(
      buf, sizeof buf, "%c%02llu:%02llu:%02llu", sign, static_cast<unsigned long long>(a / 3600),
      static_cast<unsigned long long>(a / 60 % 60), static_cast<unsigned long long>(a % 60));
  return buf;
}

std::optional<int64_t> TimeWordSeconds(uint8_t kind, uint32_t word) {
  CivilTime t;
  if (!DecodeTime(kind, word, t)) return std::nullopt;
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + int64_t{t.hour} * 3600 +
         int64_t{t.minute} * 60 + t.second;
}

CivilTime SecondsCivilTime(int64_t seconds) {
  int64_t days = seconds / 86400;
  int64_t rem = seconds % 86400;
  if (rem < 0) {
    rem += 86400;
    days -= 1;
  }
  int64_t y = 0;
  CivilTime t;
  CivilFromDays(days, y, t.month, t.day);
  t.year = static_cast<int>(y);
  t.hour = static_cast<int>(rem / 3600);
  t.minute = static_cast<int>(rem / 60 % 60);
  t.second = static_cast<int>(rem % 60);
  return t;
}

std::string SecondsTimeText(int64_t seconds) {
  const CivilTime t = SecondsCivilTime(seconds);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d-%02d-%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return buf;
}

std::string CorrectedTimeText(uint8_t kind, uint32_t word, int64_t offset) {
  const std::optional<int64_t> seconds = TimeWordSeconds(kind, word);
  if (!seconds) return {};
  return SecondsTimeText(*seconds - offset);
}

}  // namespace orvane
