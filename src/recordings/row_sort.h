#pragma once
// Ordering the recording list by one of its columns. A full page holds
// 20,000,000 rows, so the order is found by a radix sort of compact keys,
// not by comparing entries; equal keys keep the order they had (clicking one
// column after another sorts by both).

#include <cstdint>

namespace orvane {

class RecordingRows;

// The list's columns in the order shown.
enum RowColumn : int {
  ColumnIndex = 0,
  ColumnChannel = 1,
  ColumnSize = 2,
  ColumnStart = 3,
  ColumnEnd = 4,
  ColumnFragments = 5,
};

// Reorders the rows by `column` as its texts read (times by their fields,
// sizes and numbers by value). Ticks stay with their recordings and each
// row keeps its index number. Unknown columns change nothing.
void SortRows(RecordingRows& rows, int column, bool descending, uint8_t time_kind);

// A key that orders time words as their full texts do.
uint64_t TimeSortKey(uint8_t time_kind, uint32_t value);

}  // namespace orvane
