#pragma once
// The line under the recording list: what the page holds and what is ticked.

#include <cstdint>
#include <string>

namespace orvane {

class RecordingRows;

struct RowTotals {
  int64_t rows = 0;
  int64_t ticked = 0;
  int64_t ticked_size = 0;
  int64_t channels = 0;     // distinct channels among the rows
  std::string first_start;  // earliest start text; empty when no time is a real date
  std::string last_end;     // latest end text
};

// The parts that change only when rows come or go (not with ticks).
RowTotals CountRows(const RecordingRows& rows, uint8_t time_kind);
// Fills in the ticked count and size.
void CountTicks(const RecordingRows& rows, RowTotals& totals);

// "本页录像: 120   已勾选: 3 (4.0 MB)   通道: 4   时间: S ~ E"
std::string RowTotalsText(const RowTotals& totals);

}  // namespace orvane
