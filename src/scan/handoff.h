#pragma once
// The meeting point of a scan and the thread that reads ahead for it. Each
// side sets a state word and waits for the other's: a short spin first,
// yielding the processor, since the other side usually answers within a
// fraction of a window's read and a sleep and wake-up per window would cost
// more than that; then it blocks.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

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

// The reading thread of a scan: runs its job once each time it is asked,
// one job at a time, while the scan goes on with what it holds. The owner
// declares it after everything the job touches, so that it ends first.
class AheadThread {
 public:
  AheadThread() = default;
  AheadThread(const AheadThread&) = delete;
  AheadThread& operator=(const AheadThread&) = delete;
  // Waits for a job in flight, then ends the thread.
  ~AheadThread() {
    if (!thread_.joinable()) return;
    handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) != kAsked; });
    handoff_.Publish(state_, kQuit);
    thread_.join();
  }

  // False when no thread can be had: the owner then does its reads itself.
  bool Start(std::function<void()> job) {
    job_ = std::move(job);
    try {
      thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
      return false;
    }
    return true;
  }
  bool running() const { return thread_.joinable(); }
  // Neither asked nor holding a finished job that was not taken.
  bool idle() const { return state_.load(std::memory_order_acquire) == kIdle; }

  // Runs the job once more; only when idle.
  void Ask() { handoff_.Publish(state_, kAsked); }
  // Waits for the job asked for and makes the thread idle again; false when
  // none was asked. What the job wrote is the caller's once this returns.
  bool Take() {
    if (idle()) return false;
    handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) == kDone; });
    state_.store(kIdle, std::memory_order_relaxed);
    return true;
  }

 private:
  enum : int { kIdle, kAsked, kDone, kQuit };
  void Run() {
    for (;;) {
      handoff_.WaitFor([&] {
        const int s = state_.load(std::memory_order_acquire);
        return s == kAsked || s == kQuit;
      });
      if (state_.load(std::memory_order_acquire) == kQuit) return;
      job_();
      handoff_.Publish(state_, kDone);
    }
  }

  std::function<void()> job_;
  std::atomic<int> state_{kIdle};
  Handoff handoff_;
  std::thread thread_;
};

}  // namespace orvane
