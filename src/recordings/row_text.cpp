#include "recordings/row_text.h"

#include <cstdio>

#include "device/format_text.h"
#include "scan/task_head.h"

namespace orvane {

RowTexts MakeRowTexts(const RecordingEntry& entry, int64_t index, uint8_t time_kind) {
  RowTexts t;
  t.index = std::to_string(index);
  t.channel = std::to_string(entry.channel);
  t.size = FormatSize(entry.size);
  t.start = FormatTimeText(time_kind, entry.start_time);
  t.end = FormatTimeText(time_kind, entry.end_time);
  return t;
}

std::string TickedStatisticsText(int64_t count, int64_t total_size) {
  return "勾选文件数量: " + std::to_string(count) + "   勾选文件大小: " + FormatSize(total_size);
}

}  // namespace orvane
