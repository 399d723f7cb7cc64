#pragma once
// The meeting point of a scan and the thread that reads ahead for it. Each
// side sets a state word and waits for the other's: a short spin first,
// yielding the processor, since the other side usually answers within a
// fraction of a window's read and a sleep and wake-up per window would cost
// more than that; then it blocks.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orvane {

class Handoff {
 public:
  template <class Ready>
  void WaitFor(Ready ready) {
    using Clock = std::chrono::steady_clock;
    const auto until = Clock::now() + std::chrono::microseconds(200);
    while (!ready()) {
      if (Clock::now() > until) {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, ready);
        return;
      }
      // Yielding rather than spinning hard: on a busy machine the side that
      // is waited for may need this very processor.
      std::this_thread::yield();
    }
  }

  // The store is made under the lock, so that a side about to block sees it
  // before it sleeps or is woken after it.
  template <class T, class V>
  void Publish(std::atomic<T>& word, V value) {
    {
      std::lock_guard lock(mutex_);
      word.store(static_cast<T>(value), std::memory_order_release);
    }
    changed_.notify_all();
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace orvane
