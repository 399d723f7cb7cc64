#include "recordings/row_sort.h"

#include <algorithm>
#include <array>
#include <limits>
#include <vector>

#include "recordings/recording_rows.h"
#include "scan/task_head.h"

namespace orvane {

namespace {

// Signed values ordered as unsigned keys.
uint64_t SignedKey(int64_t v) { return static_cast<uint64_t>(v) ^ (uint64_t{1} << 63); }

uint64_t ColumnKey(const RecordingEntry& e, size_t entry, int column, uint8_t time_kind) {
  switch (column) {
    case ColumnIndex:
      return entry;
    case ColumnChannel:
      return SignedKey(e.channel);
    case ColumnSize:
      return SignedKey(e.size);
    case ColumnStart:
      return TimeSortKey(time_kind, e.start_time);
    case ColumnEnd:
      return TimeSortKey(time_kind, e.end_time);
    case ColumnFragments:
      return e.fragments.size();
    default:
      return 0;
  }
}

// Stable least-significant-digit radix sort of `keys` carrying `values`,
// 11 bits a pass; a pass in which every key has the same digit is skipped,
// so narrow keys cost one or two passes.
template <class Key>
void RadixSort(std::vector<Key>& keys, std::vector<uint32_t>& values) {
  constexpr int kBits = 11;
  constexpr size_t kBuckets = size_t{1} << kBits;
  const size_t n = keys.size();
  std::vector<Key> keys_out(n);
  std::vector<uint32_t> values_out(n);
  std::vector<size_t> count(kBuckets);
  for (int shift = 0; shift < static_cast<int>(sizeof(Key) * 8); shift += kBits) {
    std::fill(count.begin(), count.end(), 0);
    for (size_t i = 0; i < n; ++i) ++count[(keys[i] >> shift) & (kBuckets - 1)];
    if (std::find(count.begin(), count.end(), n) != count.end()) continue;
    size_t at = 0;
    for (size_t& c : count) {
      const size_t here = c;
      c = at;
      at += here;
    }
    for (size_t i = 0; i < n; ++i) {
      const size_t slot = count[(keys[i] >> shift) & (kBuckets - 1)]++;
      keys_out[slot] = keys[i];
      values_out[slot] = values[i];
    }
    keys.swap(keys_out);
    values.swap(values_out);
  }
}

template <class Key>
std::vector<uint32_t> SortedEntries(std::vector<uint64_t> wide, uint64_t low,
                                    std::vector<uint32_t> entries) {
  std::vector<Key> keys(wide.size());
  for (size_t i = 0; i < wide.size(); ++i) keys[i] = static_cast<Key>(wide[i] - low);
  wide = {};  // the sort's own buffers need the room
  RadixSort(keys, entries);
  return entries;
}

}  // namespace

uint64_t TimeSortKey(uint8_t time_kind, uint32_t value) {
  CivilTime t;
  // An unknown kind shows empty texts, all alike.
  if (!DecodeTime(time_kind, value, t)) return 0;
  const auto field = [](int v, int bits) {
    return static_cast<uint64_t>(std::clamp(v, 0, (1 << bits) - 1));
  };
  // Every field is printed with a fixed width, so the texts order as the
  // fields do.
  return field(t.year, 20) << 36 | field(t.month, 6) << 30 | field(t.day, 6) << 24 |
         field(t.hour, 6) << 18 | field(t.minute, 6) << 12 | field(t.second, 6) << 6;
}

void SortRows(RecordingRows& rows, int column, bool descending, uint8_t time_kind) {
  if (column < ColumnIndex || column > ColumnFragments) return;
  const size_t n = rows.size();
  if (n < 2) return;
  std::vector<uint32_t> entries(n);
  size_t last_entry = 0;
  for (size_t r = 0; r < n; ++r) {
    entries[r] = static_cast<uint32_t>(rows.EntryIndex(r));
    last_entry = std::max<size_t>(last_entry, entries[r]);
  }
  // Keys are made walking the entries in memory order, then picked up in
  // row order: after a first sort the rows jump around a list of gigabytes,
  // a key list of 8 bytes an entry is far cheaper to jump around in.
  const RecordingEntry* first = &rows.Entry(0) - entries[0];
  std::vector<uint64_t> by_entry(last_entry + 1);
  for (size_t e = 0; e <= last_entry; ++e)
    by_entry[e] = ColumnKey(first[e], e, column, time_kind);
  std::vector<uint64_t> wide(n);
  uint64_t low = std::numeric_limits<uint64_t>::max(), high = 0;
  for (size_t r = 0; r < n; ++r) {
    uint64_t k = by_entry[entries[r]];
    if (descending) k = ~k;
    wide[r] = k;
    low = std::min(low, k);
    high = std::max(high, k);
  }
  by_entry = {};
  // Most columns span far less than 32 bits: half the memory and passes.
  if (high - low <= std::numeric_limits<uint32_t>::max()) {
    rows.SetOrder(SortedEntries<uint32_t>(std::move(wide), low, std::move(entries)));
  } else {
    rows.SetOrder(SortedEntries<uint64_t>(std::move(wide), low, std::move(entries)));
  }
}

}  // namespace orvane
