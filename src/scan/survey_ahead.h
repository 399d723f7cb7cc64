#pragma once
// Surveys, on a second thread, windows a scan comes to while the ones before
// them hold nothing. Of the windows ahead of the scan on its grid, every
// other one is read on that thread, into a buffer of its own, and searched
// there; only the verdict crosses over. On the empty stretches of a disk the
// two processors then copy and search each their own windows, and no byte
// moves from one processor's cache to the other's. A window that may hold
// something is read and worked on by the scan itself, as without a survey,
// so nothing of the scan's results depends on it.

#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "device/device_info.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "scan/window_grid.h"

namespace orvane {

class SurveyAhead {
 public:
  // False only when the scan's own search of `length` bytes (zero behind
  // them up to the plan's capacity) would find nothing there. Runs on the
  // survey's thread: it may use nothing but the bytes.
  using Survey = std::function<bool(const uint8_t* data, size_t length)>;

  // What the scan needs of the window at `position` that may hold
  // something, worked out where its bytes are, appended to `notes`. Runs on
  // the survey's thread.
  using Notes = std::function<void(const uint8_t* data, size_t length, int64_t position,
                                   std::vector<uint8_t>& notes)>;

  // Windows the thread is to leave to the scan: it never reads them.
  using Leave = std::function<bool(int64_t position)>;

  // The windows ahead: `step` is the distance from a window that held
  // nothing to the next.
  using Plan = WindowGrid;

  // Starts the thread on a device of its own. Without one (the source does
  // not open again, a single processor, a region of a few windows) Empty()
  // is always false and the scan runs as it would alone.
  // With `notes` the thread also works out what the scan needs of the
  // windows that hold something, and does so on every stretch, not only on
  // empty ones: no window is then read twice.
  SurveyAhead(const DeviceInfo* source, const Plan& plan, Survey survey, Notes notes = {},
              Leave leave = {});
  ~SurveyAhead();
  SurveyAhead(const SurveyAhead&) = delete;
  SurveyAhead& operator=(const SurveyAhead&) = delete;

  // Whether the window at `position` was read whole and holds nothing. Tells
  // the thread where the scan stands, too: it surveys the grid of `step`
  // from the first position asked after the scan left the grid.
  bool Empty(int64_t position);
  // As Empty(), for a survey with notes: whether the thread read the window
  // at `position` whole, `notes` then holding its notes (none when empty).
  bool Surveyed(int64_t position, std::vector<uint8_t>& notes);
  // After a failed read: no more reads ahead, each of which could cost
  // seconds on a failing drive.
  void Stop();

  bool running() const { return thread_.joinable(); }

 private:
  enum class State { kFree, kScan, kReading, kEmpty, kHolds, kNoted, kFailed };
  struct Slot {
    int64_t index = -1;
    uint64_t generation = 0;
    State state = State::kFree;
    std::vector<uint8_t> notes;
  };
  static constexpr int kAhead = 4;  // windows of the thread's ahead of the scan
  // Windows the scan goes on before the thread reads again after it found
  // one that holds something.
  static constexpr int64_t kPauseAfterHolds = 8;

  void Run();
  // The state the window at `position` ends in once the thread is done with
  // it; kScan when the scan is to read it itself. Its notes go to `notes`.
  State Await(int64_t position, std::vector<uint8_t>* notes);
  // The next window for the thread, or -1. Under the lock.
  int64_t NextClaim() const;
  Slot& SlotOf(int64_t index) { return slots_[static_cast<size_t>((index / 2) % kAhead)]; }
  const Slot& SlotOf(int64_t index) const {
    return slots_[static_cast<size_t>((index / 2) % kAhead)];
  }
  int64_t PositionOf(int64_t index) const { return anchor_ + index * plan_.step; }

  const Plan plan_;
  const Survey survey_;
  const Notes notes_;
  const Leave leave_;
  SourceDevice device_;
  ScanBytes buffer_;

  std::mutex mutex_;
  std::condition_variable changed_;
  int64_t anchor_ = -1;  // the grid: anchor_ + k * step
  int64_t at_ = 0;       // the index the scan stands at
  int64_t resume_at_ = 0;
  uint64_t generation_ = 0;
  Slot slots_[kAhead];
  bool quit_ = false;
  bool stopped_ = false;
  std::thread thread_;
};

}  // namespace orvane
