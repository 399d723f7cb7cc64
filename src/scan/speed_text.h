#pragma once
// The speed and remaining-time text of a running job, shared by the main
// frame's status bar and the command line's progress line.

#include <cstdint>
#include <string>

namespace orvane {

// "速度: %s/秒  剩余时间: %s" for a job that has processed `processed_bytes`
// of a region of `region_bytes` in `elapsed_seconds` whole seconds; empty
// when nothing can be said yet (no time elapsed or nothing processed).
std::string SpeedText(int64_t processed_bytes, int64_t region_bytes, int64_t elapsed_seconds);

}  // namespace orvane
