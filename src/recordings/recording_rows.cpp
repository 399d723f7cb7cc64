#include "recordings/recording_rows.h"

#include <bit>

namespace orvane {

void RecordingRows::Bind(const std::vector<RecordingEntry>* entries) {
  entries_ = entries;
  filtered_ = false;
  rows_.clear();
  rows_.shrink_to_fit();
  const size_t n = entries ? entries->size() : 0;
  tick_words_ = (n + 63) / 64;
  ticks_ = tick_words_ ? std::make_unique<std::atomic<uint64_t>[]>(tick_words_) : nullptr;
  for (size_t i = 0; i < tick_words_; ++i) ticks_[i].store(0, std::memory_order_relaxed);
}

void RecordingRows::Clear() { Bind(nullptr); }

bool RecordingRows::IsTicked(size_t row) const {
  if (row >= size()) return false;
  const size_t e = EntryIndex(row);
  return (Word(e).load(std::memory_order_relaxed) >> (e % 64)) & 1;
}

void RecordingRows::SetTicked(size_t row, bool on) {
  if (row >= size()) return;
  const size_t e = EntryIndex(row);
  const uint64_t bit = uint64_t{1} << (e % 64);
  if (on) {
    Word(e).fetch_or(bit, std::memory_order_relaxed);
  } else {
    Word(e).fetch_and(~bit, std::memory_order_relaxed);
  }
}

void RecordingRows::SetAllTicked(bool on) {
  if (!filtered_) {
    const size_t n = size();
    for (size_t w = 0; w < tick_words_; ++w) {
      uint64_t v = 0;
      if (on) {
        const size_t bits = std::min<size_t>(64, n - w * 64);
        v = bits == 64 ? ~uint64_t{0} : ((uint64_t{1} << bits) - 1);
      }
      ticks_[w].store(v, std::memory_order_relaxed);
    }
    return;
  }
  for (size_t r = 0; r < rows_.size(); ++r) SetTicked(r, on);
}

size_t RecordingRows::TickedCount() const {
  size_t count = 0;
  if (!filtered_) {
    for (size_t w = 0; w < tick_words_; ++w)
      count += static_cast<size_t>(std::popcount(ticks_[w].load(std::memory_order_relaxed)));
    return count;
  }
  for (size_t r = 0; r < rows_.size(); ++r) count += IsTicked(r) ? 1 : 0;
  return count;
}

int64_t RecordingRows::TickedSize() const {
  int64_t total = 0;
  const size_t n = size();
  for (size_t r = 0; r < n; ++r)
    if (IsTicked(r)) total += Entry(r).size;
  return total;
}

void RecordingRows::SetOrder(std::vector<uint32_t> entries) {
  rows_ = std::move(entries);
  filtered_ = true;
}

void RecordingRows::RemoveRows(const std::function<bool(size_t)>& keep,
                               const std::atomic<int32_t>* stop,
                               const std::function<void(size_t)>& visit) {
  const size_t n = size();
  if (n == 0) return;
  // Decide first, compact afterwards: the rows a stop leaves unvisited are the
  // lowest ones, and all of them stay.
  std::vector<bool> drop(n, false);
  bool any = false;
  for (size_t r = n; r-- > 0;) {
    if (visit) visit(r);
    if (!keep(r)) {
      drop[r] = true;
      any = true;
    }
    if (stop && stop->load(std::memory_order_relaxed) != 0) break;
  }
  if (!any) return;
  std::vector<uint32_t> kept;
  kept.reserve(n);
  for (size_t r = 0; r < n; ++r)
    if (!drop[r]) kept.push_back(static_cast<uint32_t>(EntryIndex(r)));
  rows_ = std::move(kept);
  filtered_ = true;
}

}  // namespace orvane
