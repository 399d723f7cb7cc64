#include "scan/speed_text.h"

#include "device/format_text.h"

namespace orvane {

std::string SpeedText(int64_t processed, int64_t region, int64_t elapsed) {
  if (elapsed <= 0 || processed <= 0) return {};
  const int64_t speed = processed / elapsed;
  if (speed <= 0) return {};
  // A region already passed (a continued scan counts from its start) leaves
  // nothing to wait for rather than a negative time.
  const int64_t left = region > processed ? region - processed : 0;
  return "速度: " + FormatSize(speed) + "/秒  剩余时间: " + FormatDuration(left / speed);
}

}  // namespace orvane
