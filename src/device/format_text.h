#pragma once
// Size and duration texts used by every view.

#include <cstdint>
#include <string>

namespace orvane {

// "%.1f Bytes", "%.1f KB" ... "%.1f EB"; empty below 1 byte.
std::string FormatSize(int64_t bytes);
// "%.1f 小时" from an hour on, "%.1f 分钟" from a minute on, else "%d 秒钟".
std::string FormatDuration(int64_t seconds);

}  // namespace orvane
