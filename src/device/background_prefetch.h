#pragma once
// Hands the kernel its read-ahead requests from a thread of their own. On a
// cold disk a request for more than the device's queue holds blocks until
// the device has taken some of it; the scan, meanwhile, has bytes to search
// in the page cache and should not wait with it. The thread blocks on its
// requests and never spins; it is started at the first request.

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "device/byte_range.h"
#include "device/device_info.h"

namespace orvane {

class BackgroundPrefetch {
 public:
  explicit BackgroundPrefetch(ReadBackend& backend) : backend_(backend) {}
  // Waits for the request in hand (the kernel only queues its reads).
  ~BackgroundPrefetch();
  BackgroundPrefetch(const BackgroundPrefetch&) = delete;
  BackgroundPrefetch& operator=(const BackgroundPrefetch&) = delete;

  // Asks for `range` to be fetched. Ranges of one stream follow each other;
  // one not yet handed on is joined with the next. Without a thread the
  // request is made here.
  void Ask(const ByteRange& range);

 private:
  void Run();

  ReadBackend& backend_;
  std::mutex mutex_;
  std::condition_variable asked_;
  ByteRange pending_;
  bool quit_ = false;
  bool no_thread_ = false;
  std::thread thread_;
};

}  // namespace orvane
