#pragma once
// The yardstick of the scan benchmarks: a plain sequential 2 MiB read of the
// whole device through SourceDevice, timed on the same clock as the scan.

#include <algorithm>
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
    dev.Read(at, buf.data(), static_cast<int32_t>(std::min<int64_t>(0x200000, device.size - at)));
    if (!dev.ok()) std::fprintf(stderr, "read failed at %lld\n", static_cast<long long>(at));
  }
  return Seconds(t0, Clock::now());
}

// The best of `rounds` plain reads and of `rounds` runs of `timed_job` (which
// returns its own seconds), taken in turns on the same page-cached device: a
// busy machine only ever slows a run, and both meet the same cache.
struct Race {
  double read = 1e9;
  double job = 1e9;
  double ratio() const { return read / job; }
};

template <class TimedJob>
Race BestOf(const DeviceInfo& device, int rounds, TimedJob&& timed_job) {
  Race r;
  for (int k = 0; k < rounds; ++k) {
    r.read = std::min(r.read, PlainRead(device));
    r.job = std::min(r.job, timed_job());
  }
  return r;
}

}  // namespace orvane::bench
