#pragma once
// The rows of the recording list: the entries of the loaded page (the
// ScanParameters' list, never copied), a tick flag for each, and which of
// them a filter left in view.
//
// Sized for a full page of 20,000,000 entries: a tick costs one bit, and the
// row-to-entry map exists only once a filter has removed rows (4 bytes a
// row). A row's number in the list ("索引", also the number in an exported
// file's name) is its entry's position in the page, so it stays the same
// when a filter removes the rows before it.
//
// Threads: ticks may be read and changed from any thread at any time (the
// export unticks from its worker while the user ticks in the list). Bind,
// Clear and RemoveRows change which rows exist; call them only while no other
// thread looks at the rows (the worker-busy rule guarantees this).

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scan/recording_entry.h"

namespace orvane {

class RecordingRows {
 public:
  RecordingRows() = default;
  RecordingRows(const RecordingRows&) = delete;
  RecordingRows& operator=(const RecordingRows&) = delete;

  // One row per entry of `entries`, in order, none ticked. The list must stay
  // unchanged while bound: bind again after every page load.
  void Bind(const std::vector<RecordingEntry>* entries);
  // No rows (before a page load empties the entries).
  void Clear();

  size_t size() const { return filtered_ ? rows_.size() : (entries_ ? entries_->size() : 0); }
  bool empty() const { return size() == 0; }
  // Position of the row's entry in the page: the row's "索引" number.
  size_t EntryIndex(size_t row) const { return filtered_ ? rows_[row] : row; }
  const RecordingEntry& Entry(size_t row) const { return (*entries_)[EntryIndex(row)]; }

  bool IsTicked(size_t row) const;
  void SetTicked(size_t row, bool on);
  void SetAllTicked(bool on);
  size_t TickedCount() const;
  // Sum of the sizes of the ticked rows' entries.
  int64_t TickedSize() const;

  // Shows these entries, in this order, as the rows (a sort). Each must be
  // an entry of the bound list. Ticks stay with their entries.
  void SetOrder(std::vector<uint32_t> entries);

  // Visits the rows from the last towards the first and removes those for
  // which keep(row) is false. Before each row `visit(row)` is called (for
  // progress) and the stop flag is looked at; when it is set, the rows not
  // yet visited stay. Rows keep their ticks.
  void RemoveRows(const std::function<bool(size_t row)>& keep,
                  const std::atomic<int32_t>* stop = nullptr,
                  const std::function<void(size_t row)>& visit = {});

 private:
  std::atomic<uint64_t>& Word(size_t entry) const { return ticks_[entry / 64]; }

  const std::vector<RecordingEntry>* entries_ = nullptr;
  // Ticks by entry, so that removing rows moves no tick.
  std::unique_ptr<std::atomic<uint64_t>[]> ticks_;
  size_t tick_words_ = 0;
  bool filtered_ = false;
  std::vector<uint32_t> rows_;  // entry of each row, once filtered or sorted
};

}  // namespace orvane
