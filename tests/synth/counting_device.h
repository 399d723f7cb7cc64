#pragma once
// An image device whose reads are counted, and whose reads of one area fail
// for as long as that area is set: a marginal stretch that a later pass
// reads.

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "device/byte_range.h"
#include "device/device_info.h"

namespace orvane::synth {

struct CountedReads {
  std::atomic<int64_t> bytes{0};
  void SetFailing(const ByteRange& area) {
    std::lock_guard lock(mu);
    failing = area;
  }
  std::mutex mu;
  ByteRange failing;
};

DeviceInfo CountingImageDevice(const std::string& path, std::shared_ptr<CountedReads> reads);

// A deep parse of `image` as the parse job runs it: the smart value given,
// or (given_smart -1) detected, with `failing` unreadable while the
// detection reads. What it wrote and what it read.
struct CountedParse {
  std::string task;     // the task file's bytes
  int64_t read = 0;     // bytes read from the image, detection included
  int64_t smart = 0;    // the smart value the scan used
  bool shared = false;  // the detection handed the scan what it searched
};
// With `survey` false the scans read on one thread only. The region runs
// from `region_start` to the end of the image.
CountedParse ParseCounted(const std::string& image, int32_t brand, int32_t version,
                          int64_t given_smart, const std::string& task_path,
                          const ByteRange& failing = {}, bool survey = true,
                          int64_t region_start = 0);

}  // namespace orvane::synth
