#include "recordings/clock_offset.h"

#include <gtest/gtest.h>

#include "scan/task_head.h"

namespace orvane {
namespace {

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>((y - 2000) << 26 | mo << 22 | d << 17 | h << 12 | mi << 6 | s);
}

uint32_t Reversed(int y, int mo, int d, int h, int mi, int s) {
  return static_cast<uint32_t>((y - 2000) | mo << 6 | d << 10 | h << 15 | mi << 20) |
         static_cast<uint32_t>(s) << 26;
}

TEST(ClockOffset, ParsesSignedHoursMinutesSecondsAndRefusesTheRest) {
  EXPECT_EQ(ParseClockOffset("+00:03:12"), 192);
  EXPECT_EQ(ParseClockOffset("-00:03:12"), -192);
  EXPECT_EQ(ParseClockOffset("01:00:00"), 3600);
  EXPECT_EQ(ParseClockOffset("-26:00:01"), -(26 * 3600 + 1));
  EXPECT_EQ(ParseClockOffset("+99999:59:59"), 99999LL * 3600 + 59 * 60 + 59);
  for (const char* bad : {"", "+", "3:12", "00:60:00", "00:00:60", "+00:03:12 ", " 00:03:12",
                          "00:03:1x", "--00:00:01", "100000:00:00", "00:003:12", "+00:03:12:00"})
    EXPECT_FALSE(ParseClockOffset(bad).has_value()) << bad;
  EXPECT_EQ(ClockOffsetText(192), "+00:03:12");
  EXPECT_EQ(ClockOffsetText(-(26 * 3600 + 1)), "-26:00:01");
  EXPECT_EQ(ClockOffsetText(0), "+00:00:00");
}

// A recorder that ran 3 min 12 s fast shows times that lie 3:12 after the
// true ones; the correction crosses whatever calendar boundary lies between.
TEST(ClockOffset, CorrectionCrossesDayMonthAndYearBoundaries) {
  const int64_t fast = 192;
  EXPECT_EQ(CorrectedTimeText(TimePacked, Packed(2018, 1, 1, 0, 1, 0), fast),
            "2017-12-31 23-57-48");
  EXPECT_EQ(CorrectedTimeText(TimePacked, Packed(2016, 3, 1, 0, 0, 30), fast),
            "2016-02-29 23-57-18");  // leap year
  EXPECT_EQ(CorrectedTimeText(TimePacked, Packed(2017, 3, 1, 0, 0, 30), fast),
            "2017-02-28 23-57-18");
  EXPECT_EQ(CorrectedTimeText(TimePackedAlt, Packed(2015, 5, 10, 0, 2, 0), fast),
            "2015-05-09 23-58-48");
  // A slow recorder moves forward across the same boundaries.
  EXPECT_EQ(CorrectedTimeText(TimePackedReversed, Reversed(2015, 12, 31, 23, 59, 50), -20),
            "2016-01-01 00-00-10");
  EXPECT_EQ(CorrectedTimeText(TimePackedReversed, Reversed(2016, 2, 28, 23, 0, 0), -3600),
            "2016-02-29 00-00-00");
  EXPECT_EQ(CorrectedTimeText(TimeUnixUtc, 1704067200 /* 2024-01-01 00:00:00 */, fast),
            "2023-12-31 23-56-48");
  EXPECT_EQ(CorrectedTimeText(TimeUnixCalendar, 0, -86400 * 366 - 1), "1971-01-02 00-00-01");
  EXPECT_EQ(CorrectedTimeText(TimeUnixUtc, 0, 1), "1969-12-31 23-59-59");
  // Without an offset the corrected text is the recorder's text.
  EXPECT_EQ(CorrectedTimeText(TimePacked, Packed(2018, 10, 5, 1, 59, 59), 0),
            FormatTimeText(TimePacked, Packed(2018, 10, 5, 1, 59, 59)));
  EXPECT_EQ(CorrectedTimeText(0, 12345, fast), "");
  EXPECT_EQ(CorrectedTimeText(9, 12345, fast), "");
}

}  // namespace
}  // namespace orvane
