#include "device/background_prefetch.h"

#include <algorithm>
#include <system_error>

namespace orvane {

BackgroundPrefetch::~BackgroundPrefetch() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  asked_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void BackgroundPrefetch::Ask(const ByteRange& range) {
  // A range the page cache holds needs no request, and the thread need not
  // be woken for it: on a cached image that wake-up, on another processor,
  // is most of what reading ahead costs.
  if (range.empty() || backend_.Resident(range.begin, range.length())) return;
  if (!thread_.joinable() && !no_thread_) {
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      no_thread_ = true;
    }
  }
  if (no_thread_) {
    backend_.Prefetch(range.begin, range.length());
    return;
  }
  {
    std::lock_guard lock(mutex_);
    if (pending_.empty())
      pending_ = range;
    else
      pending_ = {std::min(pending_.begin, range.begin), std::max(pending_.end, range.end)};
  }
  asked_.notify_one();
}

void BackgroundPrefetch::Run() {
  std::unique_lock lock(mutex_);
  for (;;) {
    asked_.wait(lock, [this] { return quit_ || !pending_.empty(); });
    if (quit_) return;
    const ByteRange range = pending_;
    pending_ = {};
    lock.unlock();
    backend_.Prefetch(range.begin, range.length());
    lock.lock();
  }
}

}  // namespace orvane
