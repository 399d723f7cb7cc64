#include "timeline_index.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <unordered_map>

#include "scan/task_head.h"

namespace orvane::gui {

namespace {

uint32_t SecondsOf(const CivilTime& t) {
  // Packed fields may hold 60 seconds or 24 hours; they simply carry over.
  const int64_t s =
      DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600LL + t.minute * 60LL + t.second;
  return static_cast<uint32_t>(std::clamp<int64_t>(s, 0, UINT32_MAX));
}

bool Stopped(const std::atomic<bool>* stop) { return stop && stop->load(); }

// Stable sort of (start << 32 | row) words by their start, two 16-bit
// passes; the stop flag is looked at between passes.
bool SortByStart(std::vector<uint64_t>& items, const std::atomic<bool>* stop) {
  if (std::is_sorted(items.begin(), items.end())) return true;
  std::vector<uint64_t> scratch(items.size());
  std::vector<size_t> counts(65537);
  for (int shift : {32, 48}) {
    if (Stopped(stop)) return false;
    std::fill(counts.begin(), counts.end(), 0);
    for (uint64_t v : items) ++counts[((v >> shift) & 0xFFFF) + 1];
    for (size_t i = 1; i < counts.size(); ++i) counts[i] += counts[i - 1];
    for (uint64_t v : items) scratch[counts[(v >> shift) & 0xFFFF]++] = v;
    items.swap(scratch);
  }
  return true;
}

}  // namespace

bool TimelineSeconds(const RecordingEntry& entry, uint8_t time_kind, uint32_t& start,
                     uint32_t& end) {
  // These kinds already count seconds since 1970; breaking them down into
  // fields and back would cost a walk through the years for every row.
  if (time_kind == TimeUnixUtc || time_kind == TimeUnixCalendar) {
    start = entry.start_time;
    end = std::max(start, entry.end_time);
    return true;
  }
  CivilTime s, e;
  if (!DecodeTime(time_kind, entry.start_time, s) || !DecodeTime(time_kind, entry.end_time, e))
    return false;
  start = SecondsOf(s);
  end = std::max(start, SecondsOf(e));
  return true;
}

std::unique_ptr<TimelineIndex> TimelineIndex::Build(uint32_t rows, TimelineEntryAt entry_at,
                                                    uint8_t time_kind,
                                                    const std::atomic<bool>* stop,
                                                    const TimelineTickedAt& ticked_at) {
  auto index = std::make_unique<TimelineIndex>();
  index->entry_at_ = std::move(entry_at);
  index->time_kind_ = time_kind;
  index->position_.assign(rows, UINT32_MAX);
  index->ticked_.assign(rows / 64 + 1, 0);

  // Pass 1: times and channel of every row. Channels are few; the last one
  // seen is nearly always the next one's.
  std::vector<uint32_t> starts(rows), ends(rows), slot(rows, UINT32_MAX);
  std::unordered_map<int64_t, uint32_t> slot_of;
  std::vector<int64_t> numbers;
  std::vector<size_t> counts;
  int64_t last_channel = 0;
  uint32_t last_slot = UINT32_MAX;
  for (uint32_t row = 0; row < rows; ++row) {
    if ((row & 0xFFFF) == 0 && Stopped(stop)) return nullptr;
    const RecordingEntry& e = index->entry_at_(row);
    if (!TimelineSeconds(e, time_kind, starts[row], ends[row])) continue;
    if (last_slot == UINT32_MAX || e.channel != last_channel) {
      auto [it, added] = slot_of.emplace(e.channel, static_cast<uint32_t>(numbers.size()));
      if (added) {
        numbers.push_back(e.channel);
        counts.push_back(0);
      }
      last_channel = e.channel;
      last_slot = it->second;
    }
    slot[row] = last_slot;
    ++counts[last_slot];
  }

  // Channels in ascending number, each a run of the order.
  std::vector<uint32_t> by_number(numbers.size());
  for (uint32_t i = 0; i < by_number.size(); ++i) by_number[i] = i;
  std::sort(by_number.begin(), by_number.end(),
            [&](uint32_t a, uint32_t b) { return numbers[a] < numbers[b]; });
  std::vector<size_t> offset(numbers.size());
  size_t total = 0;
  for (uint32_t s : by_number) {
    offset[s] = total;
    index->channels_.push_back({numbers[s], total, total + counts[s], 0});
    total += counts[s];
  }
  std::vector<uint64_t> items(total);
  {
    std::vector<size_t> fill = offset;
    for (uint32_t row = 0; row < rows; ++row)
      if (slot[row] != UINT32_MAX)
        items[fill[slot[row]]++] = (static_cast<uint64_t>(starts[row]) << 32) | row;
  }
  slot = {};

  index->row_at_.resize(total);
  index->start_at_.resize(total);
  index->max_end_.resize(total);
  index->min_time_ = UINT32_MAX;
  for (Channel& c : index->channels_) {
    std::vector<uint64_t> part(items.begin() + static_cast<ptrdiff_t>(c.begin),
                               items.begin() + static_cast<ptrdiff_t>(c.end));
    if (!SortByStart(part, stop)) return nullptr;
    uint32_t running = 0;
    for (size_t i = 0; i < part.size(); ++i) {
      const size_t p = c.begin + i;
      const auto row = static_cast<uint32_t>(part[i]);
      index->row_at_[p] = row;
      index->start_at_[p] = starts[row];
      running = std::max(running, ends[row]);
      index->max_end_[p] = running;
      c.longest = std::max(c.longest, ends[row] - starts[row]);
      index->position_[row] = static_cast<uint32_t>(p);
    }
    if (!part.empty()) {
      index->min_time_ = std::min(index->min_time_, index->start_at_[c.begin]);
      index->max_time_ = std::max(index->max_time_, running);
    }
  }
  if (total == 0) index->min_time_ = 0;
  if (ticked_at) {
    index->ticked_ = index->ReadTicks(ticked_at, stop);
    if (index->ticked_.empty()) return nullptr;
  }
  return index;
}

int TimelineIndex::ChannelIndexOf(int64_t channel) const {
  auto it = std::lower_bound(channels_.begin(), channels_.end(), channel,
                             [](const Channel& c, int64_t n) { return c.channel < n; });
  if (it == channels_.end() || it->channel != channel) return -1;
  return static_cast<int>(it - channels_.begin());
}

uint32_t TimelineIndex::EndOfRow(uint32_t row) const {
  uint32_t start = 0, end = 0;
  TimelineSeconds(entry_at_(row), time_kind_, start, end);
  return end;
}

size_t TimelineIndex::PositionOfRow(uint32_t row) const {
  if (row >= position_.size() || position_[row] == UINT32_MAX) return SIZE_MAX;
  return position_[row];
}

size_t TimelineIndex::LowerBound(size_t c, double t) const {
  const auto first = start_at_.begin() + static_cast<ptrdiff_t>(channels_[c].begin);
  const auto last = start_at_.begin() + static_cast<ptrdiff_t>(channels_[c].end);
  return static_cast<size_t>(
      std::lower_bound(first, last, t, [](uint32_t s, double v) { return s < v; }) -
      start_at_.begin());
}

bool TimelineIndex::Covers(size_t c, double t0, double t1) const {
  const size_t k = LowerBound(c, t1);
  if (k == channels_[c].begin) return false;
  return max_end_[k - 1] >= t0;
}

void TimelineIndex::SetTicked(uint32_t row, bool on) {
  const size_t p = PositionOfRow(row);
  if (p == SIZE_MAX) return;
  if (on)
    ticked_[p / 64] |= uint64_t{1} << (p % 64);
  else
    ticked_[p / 64] &= ~(uint64_t{1} << (p % 64));
}

bool TimelineIndex::IsTickedAt(size_t p) const { return (ticked_[p / 64] >> (p % 64)) & 1; }

bool TimelineIndex::AnyTicked(size_t first, size_t last) const {
  while (first < last && first % 64 != 0)
    if (IsTickedAt(first++)) return true;
  while (first + 64 <= last) {
    if (ticked_[first / 64] != 0) return true;
    first += 64;
  }
  while (first < last)
    if (IsTickedAt(first++)) return true;
  return false;
}

std::vector<uint64_t> TimelineIndex::ReadTicks(const TimelineTickedAt& ticked_at,
                                               const std::atomic<bool>* stop) const {
  std::vector<uint64_t> bits(position_.size() / 64 + 1, 0);
  for (size_t p = 0; p < row_at_.size(); ++p) {
    if ((p & 0xFFFF) == 0 && Stopped(stop)) return {};
    if (ticked_at(row_at_[p])) bits[p / 64] |= uint64_t{1} << (p % 64);
  }
  return bits;
}

void TimelineIndex::SetTicks(std::vector<uint64_t> bits) {
  if (bits.size() == ticked_.size()) ticked_ = std::move(bits);
}

}  // namespace orvane::gui
