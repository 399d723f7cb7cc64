#pragma once
// What the timeline draws from: the rows of the recording list grouped by
// channel and sorted by start time, with the prefix maximum of the end
// times, so that "is any recording of this channel on screen between t0
// and t1" is two binary searches whatever the number of recordings.
//
// Sized for a page of 20,000,000 rows: 16 bytes a row (row number, start,
// running end maximum, the row's place in the order) and a tick bit. Times
// are whole seconds since 1970 as the recorder's clock reads them (no time
// zone), so they fit 32 bits. A row whose time kind cannot be decoded is
// left out.
//
// Plain C++, no Qt: the widget paints from it, the tests query it directly.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "scan/recording_entry.h"

namespace orvane::gui {

// The entry of a list row; must stay valid for the life of the index.
using TimelineEntryAt = std::function<const RecordingEntry&(uint32_t row)>;
// Whether a list row is ticked; may be called from any thread.
using TimelineTickedAt = std::function<bool(uint32_t row)>;

// Start and end of an entry in seconds since 1970; false when the kind is
// unknown. An end before the start is taken as the start.
bool TimelineSeconds(const RecordingEntry& entry, uint8_t time_kind, uint32_t& start,
                     uint32_t& end);

class TimelineIndex {
 public:
  // Null when `stop` was set during the build (it is looked at often).
  static std::unique_ptr<TimelineIndex> Build(uint32_t rows, TimelineEntryAt entry_at,
                                              uint8_t time_kind,
                                              const std::atomic<bool>* stop = nullptr,
                                              const TimelineTickedAt& ticked_at = {});

  size_t channel_count() const { return channels_.size(); }
  int64_t channel(size_t c) const { return channels_[c].channel; }
  // Positions [begin, end) of the channel's recordings in start order.
  size_t begin(size_t c) const { return channels_[c].begin; }
  size_t end(size_t c) const { return channels_[c].end; }
  // Longest recording of the channel, seconds.
  uint32_t longest(size_t c) const { return channels_[c].longest; }
  // Channel index of a channel number, or -1.
  int ChannelIndexOf(int64_t channel) const;
  size_t size() const { return row_at_.size(); }
  bool empty() const { return row_at_.empty(); }
  uint32_t min_time() const { return min_time_; }
  uint32_t max_time() const { return max_time_; }

  uint32_t RowAt(size_t position) const { return row_at_[position]; }
  uint32_t StartAt(size_t position) const { return start_at_[position]; }
  uint32_t EndOfRow(uint32_t row) const;
  const RecordingEntry& EntryOfRow(uint32_t row) const { return entry_at_(row); }
  // Position of a row, or SIZE_MAX for a row left out.
  size_t PositionOfRow(uint32_t row) const;
  // First position of channel c whose start is >= t.
  size_t LowerBound(size_t c, double t) const;
  // Whether a recording of channel c overlaps [t0, t1): one starting before
  // t1 and ending at or after t0.
  bool Covers(size_t c, double t0, double t1) const;

  // The ticks as the list has them, mirrored by position so that a span of
  // the order can be tested a word at a time.
  void SetTicked(uint32_t row, bool on);
  bool IsTickedAt(size_t position) const;
  bool AnyTicked(size_t first, size_t last) const;  // positions [first, last)
  // The ticks of every row, a bit by position, for SetTicks; empty when
  // `stop` was set. Reads only what Build fixed, so it may run on another
  // thread while this one draws.
  std::vector<uint64_t> ReadTicks(const TimelineTickedAt& ticked_at,
                                  const std::atomic<bool>* stop = nullptr) const;
  void SetTicks(std::vector<uint64_t> bits);

 private:
  struct Channel {
    int64_t channel = 0;
    size_t begin = 0, end = 0;
    uint32_t longest = 0;
  };
  TimelineEntryAt entry_at_;
  uint8_t time_kind_ = 0;
  std::vector<Channel> channels_;
  std::vector<uint32_t> row_at_;
  std::vector<uint32_t> start_at_;
  std::vector<uint32_t> max_end_;   // running maximum of the ends within a channel
  std::vector<uint32_t> position_;  // by row; UINT32_MAX when left out
  std::vector<uint64_t> ticked_;    // by position
  uint32_t min_time_ = 0, max_time_ = 0;
};

}  // namespace orvane::gui
