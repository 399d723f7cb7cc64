#include "engines/wfs/wfs_chain.h"

#include <algorithm>
#include <cstring>

#include "engines/wfs/wfs_format.h"
#include "scan/extent_fits.h"
#include "scan/task_head.h"

namespace orvane::wfs {

namespace {

// A chain looks for its successor among the blocks of the next ten seconds.
// Blocks of equal time that cannot follow are looked at again for every step
// of every chain; past this many in one window the search gives up, so a
// damaged task of millions of equal times cannot take quadratic time.
constexpr int kMaxCandidates = 1024;

// Seconds of a packed time on one scale, so that the window test of a
// candidate is a subtraction.
int64_t Seconds(uint32_t t) { return PackedTimeGap(0, t); }

// Index of the next unused block at or after i (used ones are skipped in
// amortised constant time).
class UnusedBlocks {
 public:
  explicit UnusedBlocks(const std::vector<BlockRecord>& blocks) : next_(blocks.size() + 1) {
    for (size_t i = 0; i <= blocks.size(); ++i)
      next_[i] = (i < blocks.size() && blocks[i].length == 0) ? i + 1 : i;
  }
  size_t Find(size_t i) {
    size_t root = i;
    while (next_[root] != root) root = next_[root];
    while (next_[i] != root) {
      const size_t up = next_[i];
      next_[i] = root;
      i = up;
    }
    return root;
  }
  void Use(size_t i) { next_[i] = i + 1; }

 private:
  std::vector<size_t> next_;
};

RecordingEntry StartRecording(int64_t channel, uint32_t start, uint32_t end) {
  RecordingEntry r;
  r.channel = channel;
  r.start_time = start;
  r.end_time = end;
  return r;
}

void AddExtent(RecordingEntry& r, uint64_t offset, uint32_t length) {
  r.fragments.push_back({static_cast<int64_t>(offset), length});
  r.size += length;
}

bool Usable(const BlockRecord& b) { return b.length != 0 && ExtentFits(b.offset, b.length); }

size_t FirstAtOrAfter(const std::vector<BlockRecord>& blocks, uint32_t time) {
  return static_cast<size_t>(
      std::lower_bound(blocks.begin(), blocks.end(), time,
                       [](const BlockRecord& b, uint32_t t) { return b.first_time < t; }) -
      blocks.begin());
}

}  // namespace

bool BlockFollows(const BlockRecord& b, const BlockRecord& r) {
  if (b.tail_count == 0) return r.head_length == b.tail_value;
  // The cut header: b's tail bytes and the first bytes of r.
  uint8_t joined[kMaxHeaderTestable] = {};
  const size_t m = std::min<size_t>(b.tail_count, kMaxTailBytes);
  std::memcpy(joined, b.tail, m);
  const size_t more = std::min<size_t>(kMaxHeaderTestable - m, r.head_count);
  std::memcpy(joined + m, r.head, more);
  Frame f;
  if (!RecogniseFrame(joined, f)) return false;
  return uint64_t{b.tail_count} + r.head_length == f.size;
}

void ChainBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out) {
  for (auto& b : blocks)
    if (!Usable(b)) b.length = 0;
  UnusedBlocks unused(blocks);
  std::vector<int64_t> first_seconds(blocks.size());
  for (size_t k = 0; k < blocks.size(); ++k) first_seconds[k] = Seconds(blocks[k].first_time);
  for (size_t i = unused.Find(0); i < blocks.size(); i = unused.Find(i + 1)) {
    BlockRecord& first = blocks[i];
    if (!first.clean) continue;
    // The chain begins with its first whole frame and runs to the block end.
    const uint32_t head = std::min(first.head_length, first.length);
    RecordingEntry rec = StartRecording(first.channel, first.first_time, first.last_time);
    AddExtent(rec, first.offset + head, first.length - head);
    first.length = 0;
    unused.Use(i);

    // Follow the chain from block to block.
    size_t at = i;
    while (rec.size < kChainLimit) {
      const BlockRecord& b = blocks[at];
      // A chain broken inside its block ends the recording there.
      if (!b.clean) break;
      const int64_t last_seconds = Seconds(b.last_time);
      size_t found = blocks.size();
      int looked = 0;
      for (size_t j = unused.Find(FirstAtOrAfter(blocks, b.last_time)); j < blocks.size();
           j = unused.Find(j + 1)) {
        const BlockRecord& r = blocks[j];
        if (first_seconds[j] - last_seconds > kFollowWindow) break;
        if (BlockFollows(b, r)) {
          found = j;
          break;
        }
        if (++looked >= kMaxCandidates) break;
      }
      if (found == blocks.size()) break;
      BlockRecord& r = blocks[found];
      AddExtent(rec, r.offset, r.length);
      rec.end_time = r.last_time;
      r.length = 0;
      unused.Use(found);
      at = found;
    }
    out.push_back(std::move(rec));
  }
}

void GroupLeftoverBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out) {
  RecordingEntry group;
  bool open = false;
  for (auto& b : blocks) {
    if (!Usable(b)) continue;
    if (!open) {
      group = StartRecording(kLeftoverChannel, b.first_time, b.last_time);
      group.found_by = FoundBy::Leftover;
      open = true;
    }
    group.end_time = b.last_time;
    AddExtent(group, b.offset, b.length);
    b.length = 0;
    if (group.size > kGroupLimit ||
        PackedTimeGap(group.start_time, group.end_time) > kGroupWindow) {
      out.push_back(std::move(group));
      open = false;
    }
  }
  if (open) out.push_back(std::move(group));
}

void GroupSmallRecordings(std::vector<RecordingEntry>& recordings) {
  std::vector<RecordingEntry> kept;
  std::vector<RecordingEntry> groups;
  kept.reserve(recordings.size());
  RecordingEntry group;
  bool open = false;
  for (auto& r : recordings) {
    if (r.size >= kSmallRecording || r.channel >= kLeftoverChannel) {
      kept.push_back(std::move(r));
      continue;
    }
    if (!open) {
      group = StartRecording(kSmallGroupChannel, r.start_time, r.end_time);
      group.found_by = FoundBy::SmallGroup;
      open = true;
    }
    group.start_time = std::min(group.start_time, r.start_time);
    group.end_time = std::max(group.end_time, r.end_time);
    group.size += r.size;
    for (const auto& f : r.fragments) group.fragments.push_back(f);
    if (group.size > kGroupLimit ||
        PackedTimeGap(group.start_time, group.end_time) > kGroupWindow) {
      groups.push_back(std::move(group));
      open = false;
    }
  }
  if (open) groups.push_back(std::move(group));
  for (auto& g : groups) kept.push_back(std::move(g));
  recordings = std::move(kept);
}

void AssembleBlocks(std::vector<BlockRecord>& blocks, std::vector<RecordingEntry>& out) {
  std::vector<RecordingEntry> found;
  ChainBlocks(blocks, found);
  GroupLeftoverBlocks(blocks, found);
  GroupSmallRecordings(found);
  for (auto& r : found) out.push_back(std::move(r));
}

void GroupByTime(std::vector<TimedExtent>& records, std::vector<RecordingEntry>& out) {
  std::stable_sort(records.begin(), records.end(), [](const TimedExtent& a, const TimedExtent& b) {
    return a.start_time < b.start_time;
  });
  RecordingEntry group;
  bool open = false;
  for (const auto& r : records) {
    if (r.length == 0 || !ExtentFits(r.offset, r.length)) continue;
    if (!open) {
      group = StartRecording(r.channel, r.start_time, r.end_time);
      open = true;
    }
    group.end_time = r.end_time;
    AddExtent(group, r.offset, r.length);
    if (group.size > kGroupLimit) {
      out.push_back(std::move(group));
      open = false;
    }
  }
  if (open) out.push_back(std::move(group));
  records.clear();
  records.shrink_to_fit();
}

}  // namespace orvane::wfs
