#include "device/format_text.h"

#include <cstdio>

namespace orvane {

std::string FormatSize(int64_t bytes) {
  if (bytes < 1) return {};
  static const char* const kUnits[] = {"Bytes", "KB", "MB", "GB", "TB", "PB", "EB"};
  double value = static_cast<double>(bytes);
  int k = 0;
  while (value / 1024.0 >= 1.0) {
    value /= 1024.0;
    ++k;
  }
  if (k > 6) return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.1f %s", value, kUnits[k]);
  return buf;
}

std::string FormatDuration(int64_t seconds) {
  char buf[64];
  if (seconds >= 3600) {
    std::snprintf(buf, sizeof buf, "%.1f 小时", static_cast<double>(seconds) / 3600.0);
  } else if (seconds >= 60) {
    std::snprintf(buf, sizeof buf, "%.1f 分钟", static_cast<double>(seconds) / 60.0);
  } else {
    std::snprintf(buf, sizeof buf, "%lld 秒钟", static_cast<long long>(seconds));
  }
  return buf;
}

}  // namespace orvane
