#pragma once
// The texts of a recording-list row, shared by the desktop list and the
// command line.

#include <cstdint>
#include <string>

#include "scan/recording_entry.h"

namespace orvane {

struct RowTexts {
  std::string index;    // "%d" of the row's number in the page
  std::string channel;  // "%I64d"
  std::string size;     // FormatSize, empty for 0
  std::string start;    // full time text by the task's time kind
  std::string end;
};

// Column captions of the list, in order.
inline constexpr const char* kRowColumnCaptions[5] = {"索引", "视频通道", "文件大小", "开始时间",
                                                      "结束时间"};

RowTexts MakeRowTexts(const RecordingEntry& entry, int64_t index, uint8_t time_kind);

// The "勾选统计" log line: "勾选文件数量: %I64d   勾选文件大小: %s".
std::string TickedStatisticsText(int64_t count, int64_t total_size);

}  // namespace orvane
