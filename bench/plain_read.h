#pragma once
// The yardstick of the scan benchmarks: a plain sequential 2 MiB read of the
// whole device through SourceDevice, timed on the same clock as the scan.

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "device/source_device.h"

namespace orvane::bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

inline double PlainRead(const DeviceInfo& device) {
  SourceDevice dev;
  dev.Open(device);
  std::vector<uint8_t> buf(0x200000);
  const auto t0 = Clock::now();
  for (int64_t at = 0; at < device.size; at += 0x200000) {
    dev.Read(at, buf.data(), 0x200000);
    if (!dev.ok()) std::fprintf(stderr, "read failed at %lld\n", static_cast<long long>(at));
  }
  return Seconds(t0, Clock::now());
}

}  // namespace orvane::bench
