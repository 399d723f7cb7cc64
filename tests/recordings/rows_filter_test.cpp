// The recording list without a window: row texts, ticks, the filter.

#include <gtest/gtest.h>

#include "recordings/clock_offset.h"
#include "recordings/recording_rows.h"
#include "recordings/row_filter.h"
#include "recordings/row_text.h"
#include "scan/task_head.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

RecordingEntry Rec(int64_t channel, int64_t size, uint32_t start = 0, uint32_t end = 0) {
  RecordingEntry e;
  e.channel = channel;
  e.size = size;
  e.start_time = start;
  e.end_time = end;
  return e;
}

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 2000) << 26) | (mo << 22) | (d << 17) | (h << 12) | (mi << 6) |
         s;
}

TEST(RowTexts, AsTheListShowsThem) {
  RowTexts t = MakeRowTexts(Rec(12, 0, 0, 0), 7, TimeUnixUtc);
  EXPECT_EQ(t.index, "7");
  EXPECT_EQ(t.channel, "12");
  EXPECT_EQ(t.size, "");
  EXPECT_EQ(t.start, "1970-01-01 00-00-00");
  t = MakeRowTexts(Rec(-1, 3 * 1024 * 1024, 0x4A8A1F3B, 0x4A8A1F3B), 0, TimePacked);
  EXPECT_EQ(t.channel, "-1");
  EXPECT_EQ(t.size, "3.0 MB");
  EXPECT_EQ(t.start, "2018-10-05 01-60-59");
  t = MakeRowTexts(Rec(1, 1, 5, 5), 0, 0);
  EXPECT_EQ(t.start, "");
  EXPECT_EQ(TickedStatisticsText(2, 4 * 1024 * 1024), "勾选文件数量: 2   勾选文件大小: 4.0 MB");
  EXPECT_EQ(TickedStatisticsText(0, 0), "勾选文件数量: 0   勾选文件大小: ");
}

TEST(HourKey, KeysAndChannelLists) {
  EXPECT_EQ(HourKey(2019, 5, 1, 8), (2019LL << 17) + (5 << 12) + (1 << 6) + 8);
  EXPECT_EQ(HourKeyOfText("2019-05-01 08-30-00"), HourKey(2019, 5, 1, 8));
  EXPECT_EQ(HourKeyOfText(""), 0);
  // A time that cannot be broken down: hour -1 makes the key huge unsigned.
  EXPECT_TRUE(HourKeyLess(HourKey(2037, 12, 31, 23), HourKey(0, 0, 0, -1)));
  EXPECT_EQ(ParseChannelList("1-2-3"), (std::vector<int32_t>{1, 2, 3}));
  EXPECT_EQ(ParseChannelList("5"), (std::vector<int32_t>{5}));
  EXPECT_EQ(ParseChannelList("xx-xx-xx"), (std::vector<int32_t>{0, 0, 0}));
  EXPECT_TRUE(ParseChannelList("").empty());
  EXPECT_EQ(ParseChannelList("-4"), (std::vector<int32_t>{-4}));
  EXPECT_EQ(ParseChannelList("12-"), (std::vector<int32_t>{12, 0}));
}

TEST(HourKey, KeyOfTimeWordReadsAsItsText) {
  // The filter keys rows from the decoded fields; it must agree with the
  // list's text for every kind, also for words that decode to odd fields.
  uint32_t v = 0x12345678;
  for (uint8_t kind = 0; kind <= 6; ++kind) {
    for (uint32_t word : {0u, 1u, 0xFFFFFFFFu, 0x80000000u, Packed(2019, 5, 1, 8, 30, 0),
                          Packed(2037, 15, 31, 31, 63, 63)}) {
      EXPECT_EQ(HourKeyOfTime(kind, word), HourKeyOfText(FormatTimeText(kind, word)))
          << int(kind) << " " << word;
    }
    for (int i = 0; i < 20000; ++i) {
      v = v * 1664525u + 1013904223u;
      ASSERT_EQ(HourKeyOfTime(kind, v), HourKeyOfText(FormatTimeText(kind, v)))
          << int(kind) << " " << v;
    }
  }
}

// The entry numbers of the rows the date filter keeps.
std::vector<size_t> KeptByDate(const std::vector<RecordingEntry>& list, int64_t start_key,
                               int64_t end_key, int64_t clock_offset,
                               uint8_t time_kind = TimePacked) {
  std::vector<RecordingEntry> copy = list;
  RecordingRows rows;
  rows.Bind(&copy);
  FilterSettings s;
  s.start_key = start_key;
  s.end_key = end_key;
  s.clock_offset = clock_offset;
  FilterRows(rows, time_kind, s, nullptr);
  std::vector<size_t> kept;
  for (size_t r = 0; r < rows.size(); ++r) kept.push_back(rows.EntryIndex(r));
  return kept;
}

TEST(RowFilter, DateWindowTakesStartsInsideAndEndsInside) {
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  FilterSettings s;
  s.mode = FilterByDate;
  s.start_key = HourKey(2019, 5, 1, 8);
  s.end_key = HourKey(2019, 5, 1, 10);
  ASSERT_TRUE(s.valid());
  auto at = [](int h, int mi) { return Packed(2019, 5, 1, h, mi, 0); };
  const std::vector<RecordingEntry> list = {
      Rec(1, 1, at(8, 0), at(8, 30)),   Rec(1, 1, at(9, 0), at(9, 59)),
      Rec(1, 1, at(10, 0), at(10, 20)), Rec(1, 1, at(7, 30), at(8, 10)),
      Rec(1, 1, at(7, 0), at(11, 0)),
  };
  EXPECT_EQ(KeptByDate(list, s.start_key, s.end_key, 0), (std::vector<size_t>{0, 1, 2}));
  // Without a time kind the times have no text, and no hour in the window.
  EXPECT_TRUE(KeptByDate(list, s.start_key, s.end_key, 0, 0).empty());
  s.end_key = s.start_key;
  EXPECT_FALSE(s.valid());
  FilterSettings c;
  c.mode = FilterByChannel;
  EXPECT_FALSE(c.valid());
  c.channels = ParseChannelList("1-3");
  EXPECT_TRUE(c.valid());
}

// With a clock offset the window is read as corrected time, the time the list
// shows beside the recorder's, across whatever calendar boundary lies between.
TEST(RowFilter, WithAClockOffsetTheWindowIsOfCorrectedTimes) {
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  const int64_t fast = 192;  // +00:03:12
  const std::vector<RecordingEntry> hours = {
      // Recorder 10:01 to 11:30, corrected 09:57:48 to 11:26:48.
      Rec(1, 1, Packed(2019, 5, 1, 10, 1, 0), Packed(2019, 5, 1, 11, 30, 0)),
      // Recorder 08:02 to 08:30, corrected 07:58:48 to 08:26:48.
      Rec(1, 1, Packed(2019, 5, 1, 8, 2, 0), Packed(2019, 5, 1, 8, 30, 0)),
  };
  const int64_t from = HourKey(2019, 5, 1, 8), to = HourKey(2019, 5, 1, 10);
  EXPECT_EQ(KeptByDate(hours, from, to, 0), (std::vector<size_t>{1}));
  EXPECT_EQ(KeptByDate(hours, from, to, fast), (std::vector<size_t>{0}));

  const std::vector<RecordingEntry> new_year = {
      // Corrected 2018-12-31 23:57:48 to 23:58:48.
      Rec(1, 1, Packed(2019, 1, 1, 0, 1, 0), Packed(2019, 1, 1, 0, 2, 0)),
      // Corrected 2019-01-01 01:58:48 to 02:56:48.
      Rec(1, 1, Packed(2019, 1, 1, 2, 2, 0), Packed(2019, 1, 1, 3, 0, 0)),
      // A slow recorder's 2018-12-31 23:58 is 2019-01-01 00:01 in truth.
      Rec(1, 1, Packed(2018, 12, 31, 23, 58, 0), Packed(2018, 12, 31, 23, 59, 0)),
  };
  const int64_t jan1 = HourKey(2019, 1, 1, 0), two = HourKey(2019, 1, 1, 2);
  EXPECT_EQ(KeptByDate(new_year, jan1, two, 0), (std::vector<size_t>{0}));
  EXPECT_EQ(KeptByDate(new_year, jan1, two, fast), (std::vector<size_t>{1}));
  EXPECT_EQ(KeptByDate(new_year, jan1, two, -180), (std::vector<size_t>{0, 2}));
  const int64_t eve = HourKey(2018, 12, 31, 22), late = HourKey(2018, 12, 31, 23);
  EXPECT_EQ(KeptByDate(new_year, eve, late, 0), (std::vector<size_t>{2}));
  EXPECT_EQ(KeptByDate(new_year, eve, late, fast), (std::vector<size_t>{0, 2}));

  // The key of the corrected time is the key of its text; without an offset
  // it is the recorder's.
  for (uint32_t word : {Packed(2016, 3, 1, 0, 0, 30), Packed(2037, 15, 31, 31, 63, 63), 0u}) {
    EXPECT_EQ(FilterHourKey(TimePacked, word, fast),
              HourKeyOfText(CorrectedTimeText(TimePacked, word, fast)));
    EXPECT_EQ(FilterHourKey(TimePacked, word, 0), HourKeyOfTime(TimePacked, word));
  }
  EXPECT_EQ(FilterHourKey(0, 12345, fast), HourKeyOfText(""));
}

TEST(RecordingRows, TicksSurviveFilteringAndRowsKeepTheirNumbers) {
  std::vector<RecordingEntry> list;
  for (int i = 0; i < 130; ++i) list.push_back(Rec(i % 3 + 1, 100 + i));
  RecordingRows rows;
  rows.Bind(&list);
  EXPECT_EQ(rows.size(), 130u);
  rows.SetAllTicked(true);
  EXPECT_EQ(rows.TickedCount(), 130u);
  rows.SetTicked(129, false);
  rows.SetTicked(500, true);  // no such row: ignored
  EXPECT_EQ(rows.TickedCount(), 129u);
  rows.SetAllTicked(false);
  rows.SetTicked(2, true);
  rows.SetTicked(5, true);
  EXPECT_EQ(rows.TickedSize(), 102 + 105);

  FilterSettings s;
  s.mode = FilterByChannel;
  s.channels = ParseChannelList("1-3");
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  std::vector<int64_t> progress;
  FilterRows(rows, TimePacked, s, nullptr, {[&](int64_t r) { progress.push_back(r); }, {}});
  EXPECT_EQ(progress, std::vector<int64_t>{0});
  EXPECT_TRUE(sink.Has("正在过滤文件中..."));
  EXPECT_TRUE(sink.Has("过滤文件任务结束"));
  ASSERT_EQ(rows.size(), 87u);
  EXPECT_EQ(rows.EntryIndex(0), 0u);
  EXPECT_EQ(rows.EntryIndex(1), 2u);
  EXPECT_EQ(rows.Entry(1).channel, 3);
  EXPECT_TRUE(rows.IsTicked(1));  // entry 2 kept its tick
  EXPECT_EQ(rows.TickedCount(), 2u);
  rows.SetAllTicked(true);
  EXPECT_EQ(rows.TickedCount(), 87u);
  rows.Bind(&list);  // a new page load brings every row back, unticked
  EXPECT_EQ(rows.size(), 130u);
  EXPECT_EQ(rows.TickedCount(), 0u);
}

TEST(RecordingRows, StoppedFilterLeavesTheLowerRows) {
  std::vector<RecordingEntry> list;
  for (int i = 0; i < 10; ++i)
    list.push_back(Rec(1, 1, Packed(2020, 1, 1, i, 0, 0), Packed(2020, 1, 1, i, 10, 0)));
  RecordingRows rows;
  rows.Bind(&list);
  std::atomic<int32_t> stop{0};
  // Nothing matches the window; stop once row 6 is done.
  rows.RemoveRows(
      [&](size_t r) {
        if (r == 6) stop.store(1);
        return false;
      },
      &stop);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows.EntryIndex(5), 5u);
}

}  // namespace
}  // namespace orvane
