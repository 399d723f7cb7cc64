// The recording list without a window: row texts, ticks, the filter.

#include <gtest/gtest.h>

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

TEST(RowFilter, DateWindowTakesStartsInsideAndEndsInside) {
  FilterSettings s;
  s.mode = FilterByDate;
  s.start_key = HourKey(2019, 5, 1, 8);
  s.end_key = HourKey(2019, 5, 1, 10);
  ASSERT_TRUE(s.valid());
  EXPECT_TRUE(RowMatchesDate(s, "2019-05-01 08-00-00", "2019-05-01 08-30-00"));
  EXPECT_TRUE(RowMatchesDate(s, "2019-05-01 09-00-00", "2019-05-01 09-59-00"));
  EXPECT_TRUE(RowMatchesDate(s, "2019-05-01 10-00-00", "2019-05-01 10-20-00"));
  EXPECT_FALSE(RowMatchesDate(s, "2019-05-01 07-30-00", "2019-05-01 08-10-00"));
  EXPECT_FALSE(RowMatchesDate(s, "2019-05-01 07-00-00", "2019-05-01 11-00-00"));
  EXPECT_FALSE(RowMatchesDate(s, "", ""));
  s.end_key = s.start_key;
  EXPECT_FALSE(s.valid());
  FilterSettings c;
  c.mode = FilterByChannel;
  EXPECT_FALSE(c.valid());
  c.channels = ParseChannelList("1-3");
  EXPECT_TRUE(RowMatches(c, "3", "", ""));
  EXPECT_FALSE(RowMatches(c, "2", "", ""));
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
