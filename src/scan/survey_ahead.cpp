#include "scan/survey_ahead.h"

#include <algorithm>
#include <new>
#include <system_error>

#include "scan/walk_read.h"

namespace orvane {

SurveyAhead::SurveyAhead(const DeviceInfo* source, const Plan& plan, Survey survey, Notes notes,
                         Leave leave)
    : plan_(plan), survey_(std::move(survey)), notes_(std::move(notes)), leave_(std::move(leave)) {
  if (!source || !survey_ || plan_.step <= 0 || plan_.read_bytes <= 0) return;
  if (std::thread::hardware_concurrency() < 2) return;
  // A few windows are not worth a thread.
  if (plan_.end - plan_.start < 4 * static_cast<int64_t>(plan_.step)) return;
  device_.Open(*source);
  if (!device_.is_open()) return;
  // The scan's own device keeps the kernel reading ahead of both.
  device_.ReadNothingAhead();
  try {
    // Room for the sectors around a window that does not start on one, and
    // the margin ReadForWalk() keeps.
    buffer_.assign(
        static_cast<size_t>(std::max(plan_.capacity, plan_.read_bytes)) + 2 * kSectorSize + 64, 0);
    thread_ = std::thread([this] { Run(); });
  } catch (const std::bad_alloc&) {
  } catch (const std::system_error&) {
  }
}

SurveyAhead::~SurveyAhead() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  changed_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void SurveyAhead::Stop() {
  {
    std::lock_guard lock(mutex_);
    stopped_ = true;
  }
  changed_.notify_all();
}

int64_t SurveyAhead::NextClaim() const {
  if (stopped_ || anchor_ < 0) return -1;
  // Only on an empty stretch: the scan has stepped along the grid, and the
  // last window found holding something lies well behind it. Over video a
  // walk leaves the grid at every window, and a scan on a fixed grid gets
  // a window read twice only now and then.
  if (at_ < 2 || at_ < resume_at_) return -1;
  // The thread takes the odd windows, the scan the even ones. Below
  // at_ + 2 * kAhead no two of them share a slot, nor one with the window
  // the scan may be waiting for.
  for (int64_t k = at_ + 1 + (at_ % 2 == 0 ? 0 : 1); k < at_ + 2 * kAhead; k += 2) {
    if (PositionOf(k) >= plan_.end) return -1;
    const Slot& s = SlotOf(k);
    if (s.index == k && s.generation == generation_) continue;  // taken
    if (leave_ && leave_(PositionOf(k))) continue;
    return k;
  }
  return -1;
}

void SurveyAhead::Run() {
  std::vector<uint8_t> notes;
  std::unique_lock lock(mutex_);
  for (;;) {
    int64_t k = -1;
    changed_.wait(lock, [&] { return quit_ || (k = NextClaim()) >= 0; });
    if (quit_) return;
    const uint64_t generation = generation_;
    const int64_t position = PositionOf(k);
    {
      Slot& s = SlotOf(k);
      s.index = k;
      s.generation = generation;
      s.state = State::kReading;
      s.notes.clear();
    }
    lock.unlock();

    const auto length = static_cast<size_t>(plan_.ReadLength(position));
    // Whole sectors in one read: a window off the sector grid (a walk's)
    // would otherwise cost a read of each sector at its edges, and from the
    // disk each is a request of its own, as this device reads nothing ahead.
    bool ok = true;
    const uint8_t* data = ReadForWalk(device_, plan_.device_size, position, length, buffer_, ok);
    State verdict = State::kFailed;
    notes.clear();
    try {
      if (ok) verdict = survey_(data, length) ? State::kHolds : State::kEmpty;
      if (verdict == State::kHolds && notes_) {
        notes_(data, length, position, notes);
        verdict = State::kNoted;
      }
    } catch (const std::bad_alloc&) {
      // No room for the notes: the scan reads the window itself, and this
      // thread stops.
      verdict = State::kFailed;
    }

    lock.lock();
    if (verdict == State::kFailed) stopped_ = true;
    Slot& s = SlotOf(k);
    if (s.index == k && s.generation == generation) {
      s.state = verdict;
      s.notes.swap(notes);
    }
    if (verdict == State::kHolds && generation == generation_)
      resume_at_ = std::max(resume_at_, k + kPauseAfterHolds);
    changed_.notify_all();
  }
}

bool SurveyAhead::Empty(int64_t position) { return Await(position, nullptr) == State::kEmpty; }

bool SurveyAhead::Surveyed(int64_t position, std::vector<uint8_t>& notes) {
  notes.clear();
  const State state = Await(position, &notes);
  return state == State::kEmpty || state == State::kNoted;
}

SurveyAhead::State SurveyAhead::Await(int64_t position, std::vector<uint8_t>* notes) {
  if (!thread_.joinable()) return State::kScan;
  std::unique_lock lock(mutex_);
  const bool on_grid = anchor_ >= 0 && position >= anchor_ &&
                       (position - anchor_) % plan_.step == 0 &&
                       (position - anchor_) / plan_.step >= at_;
  if (!on_grid) {
    anchor_ = position;
    at_ = 0;
    resume_at_ = 0;
    ++generation_;
    // Nothing to claim until the scan has stepped along the new grid.
    return State::kScan;
  }
  at_ = (position - anchor_) / plan_.step;
  // The thread is woken only when there is a window for it: over video it
  // has none, and a wake-up at every window, on the other processor, costs
  // more than the window's read.
  if (NextClaim() >= 0) changed_.notify_all();
  if (at_ % 2 == 0) return State::kScan;
  Slot& s = SlotOf(at_);
  if (s.index != at_ || s.generation != generation_) {
    // Not taken yet: the scan reads it itself.
    s = Slot{at_, generation_, State::kScan, {}};
    return State::kScan;
  }
  const int64_t index = at_;
  const uint64_t generation = generation_;
  auto mine = [&] { return s.index == index && s.generation == generation; };
  changed_.wait(lock, [&] { return !mine() || s.state != State::kReading || quit_; });
  if (!mine() || s.state == State::kReading) return State::kScan;
  if (notes) notes->swap(s.notes);
  return s.state;
}

}  // namespace orvane
