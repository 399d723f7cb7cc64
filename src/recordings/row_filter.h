#pragma once
// Narrowing the recording list to a time window or to some channels. The
// date window is compared by hour, as the list's time texts read.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

class RecordingRows;

inline constexpr std::string_view kMsgFiltering = "正在过滤文件中...";
inline constexpr std::string_view kMsgFilterDone = "过滤文件任务结束";
inline constexpr std::string_view kMsgFilterBadParameters = "参数设置错误，请重新设置";

enum FilterMode : int32_t {
  FilterByDate = 1,
  FilterByChannel = 2,
};

// year << 17 + month << 12 + day << 6 + hour, each a sign-extended 32-bit
// term. Compare keys as unsigned 64-bit values (HourKeyLess).
int64_t HourKey(int32_t year, int32_t month, int32_t day, int32_t hour);
inline bool HourKeyLess(int64_t a, int64_t b) {
  return static_cast<uint64_t>(a) < static_cast<uint64_t>(b);
}
// The key of a full time text "YYYY-MM-DD HH-MM-SS" (or of any text, read
// the same way: fields that are missing read as 0).
int64_t HourKeyOfText(std::string_view time_text);
// The key of a record's time word, equal to HourKeyOfText of its time text
// but made from the decoded fields, so that filtering a full page does not
// format and re-read two texts per row.
int64_t HourKeyOfTime(uint8_t time_kind, uint32_t value);
// The key the date filter compares: of the recorder's time, or with a clock
// offset of the corrected time the list shows beside it.
int64_t FilterHourKey(uint8_t time_kind, uint32_t value, int64_t clock_offset);

// "1-2-3" gives 1, 2, 3; "5" gives 5; "" gives nothing; "xx-xx-xx" gives 0, 0, 0.
std::vector<int32_t> ParseChannelList(std::string_view text);

struct FilterSettings {
  int32_t mode = FilterByDate;
  int64_t start_key = 0;  // window of HourKeys: start inclusive ...
  int64_t end_key = 0;    // ... end
  std::vector<int32_t> channels;
  // Seconds the recorder's clock ran ahead; when set, the window is one of
  // corrected times.
  int64_t clock_offset = 0;

  // The refusal of the filter dialog: an empty window, or no channel.
  bool valid() const;
};

struct FilterHooks {
  std::function<void(int64_t)> range;     // the dialog's progress bar: 0 .. (rows-1)/1000
  std::function<void(int64_t)> position;  // row / 1000
};

// The filter worker: logs its start and end ("信息"), removes the rows that
// do not match from the last towards the first, polling the stop flag after
// each row. A row of the date filter stays when its start hour lies in
// [start, end) or its end hour in (start, end]; one of the channel filter
// when its channel is listed.
void FilterRows(RecordingRows& rows, uint8_t time_kind, const FilterSettings& s,
                const std::atomic<int32_t>* stop, const FilterHooks& hooks = {});

}  // namespace orvane
