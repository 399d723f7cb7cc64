#pragma once
// The speed and remaining-time text of a running job, shared by the main
// frame's status bar and the command line's progress line.

#include <cstdint>
#include <string>

namespace orvane {

// "速度: %s/秒  剩余时间: %s", or empty when nothing can be said yet (no
// processed bytes, or less than a second since the job started).
std::string SpeedText(int64_t processed_bytes, int64_t total_bytes, double elapsed_seconds);

}  // namespace orvane
