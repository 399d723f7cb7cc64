#include "recordings/row_sort.h"

#include <gtest/gtest.h>

#include <vector>

#include "recordings/recording_rows.h"
#include "recordings/row_totals.h"
#include "scan/task_head.h"

namespace orvane {
namespace {

std::vector<size_t> Order(const RecordingRows& rows) {
  std::vector<size_t> out;
  for (size_t r = 0; r < rows.size(); ++r) out.push_back(rows.EntryIndex(r));
  return out;
}

RecordingEntry Entry(int64_t channel, int64_t size, uint32_t start) {
  RecordingEntry e;
  e.channel = channel;
  e.size = size;
  e.start_time = start;
  e.end_time = start;
  return e;
}

// Keys wider than 32 bits, negative values and ties, both ways round.
TEST(RowSort, WideAndSignedKeysStayStable) {
  std::vector<RecordingEntry> entries = {Entry(5, int64_t{1} << 40, 3), Entry(-2, 7, 2),
                                         Entry(5, 7, 1), Entry(300, int64_t{3} << 33, 0)};
  RecordingRows rows;
  rows.Bind(&entries);
  rows.SetTicked(1, true);
  SortRows(rows, ColumnSize, false, TimeUnixUtc);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{1, 2, 3, 0}));
  SortRows(rows, ColumnSize, true, TimeUnixUtc);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{0, 3, 1, 2}));
  SortRows(rows, ColumnChannel, false, TimeUnixUtc);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{1, 0, 2, 3}));
  SortRows(rows, ColumnStart, true, TimeUnixUtc);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{0, 1, 2, 3}));
  // A row the user ticked is still that recording's.
  EXPECT_TRUE(rows.IsTicked(1));
  EXPECT_EQ(rows.TickedCount(), 1u);
  SortRows(rows, 9, false, TimeUnixUtc);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{0, 1, 2, 3}));
}

// Times order as their texts: a reversed packed word by its fields, not by
// its value.
TEST(RowSort, TimesOrderAsTheirTexts) {
  auto reversed = [](int y, int mo, int d, int h) {
    return static_cast<uint32_t>(y - 2000) | static_cast<uint32_t>(mo) << 6 |
           static_cast<uint32_t>(d) << 10 | static_cast<uint32_t>(h) << 15;
  };
  std::vector<RecordingEntry> entries = {Entry(1, 1, reversed(2019, 1, 2, 0)),
                                         Entry(1, 1, reversed(2018, 12, 31, 23)),
                                         Entry(1, 1, reversed(2019, 1, 1, 5))};
  RecordingRows rows;
  rows.Bind(&entries);
  SortRows(rows, ColumnStart, false, TimePackedReversed);
  EXPECT_EQ(Order(rows), (std::vector<size_t>{1, 2, 0}));
  const RowTotals t = CountRows(rows, TimePackedReversed);
  EXPECT_EQ(t.first_start, "2018-12-31 23-00-00");
  EXPECT_EQ(t.last_end, "2019-01-02 00-00-00");
  EXPECT_EQ(t.channels, 1);
}

}  // namespace
}  // namespace orvane
