#include "scan/speed_text.h"

#include "device/format_text.h"

namespace orvane {

std::string SpeedText(int64_t processed, int64_t total, double elapsed) {
  if (processed <= 0 || elapsed < 1.0) return {};
  const double per_second = static_cast<double>(processed) / elapsed;
  const int64_t left = total > processed ? total - processed : 0;
  const auto remaining = static_cast<int64_t>(static_cast<double>(left) / per_second);
  return "速度: " + FormatSize(static_cast<int64_t>(per_second)) + "/秒  剩余时间: " +
         FormatDuration(remaining);
}

}  // namespace orvane
