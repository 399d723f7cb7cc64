// Turning deep-parse records back into recordings.

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "scan/task_head.h"

namespace orvane {

namespace {

constexpr int64_t kChainLimit = 0x80000000LL;   // 2 GiB per chained recording
constexpr int64_t kGroupLimit = 0x40000000LL;   // 1 GiB per group
constexpr int64_t kSmallRecording = 0xA00000;   // 10 MiB
constexpr int64_t kChainGapSeconds = 10;
constexpr int64_t kGroupGapSeconds = 3600;
constexpr int64_t kLeftoverChannel = 254;
constexpr int64_t kSmallChannel = 255;
// Candidates examined for one continuation. Real disks hold a handful of
// chunks within ten seconds of each other; the bound keeps a disk of
// millions of chunks that all carry one time from taking quadratic time.
constexpr int kMaxCandidates = 4096;

// Next chunk not yet used at or after i, over a path-compressed forest, so
// that walking past chunks already taken costs nothing on long chains.
class FreeChunks {
 public:
  explicit FreeChunks(size_t n) : next_(n + 1) {
    for (size_t i = 0; i <= n; ++i) next_[i] = i;
  }
  size_t Find(size_t i) {
    while (next_[i] != i) {
      next_[i] = next_[next_[i]];
      i = next_[i];
    }
    return i;
  }
  void Take(size_t i) { next_[i] = i + 1; }

 private:
  std::vector<size_t> next_;
};

// True when chunk k carries on the frame stream that chunk c leaves at its end.
bool Continues(const ChunkSummary& c, const ChunkSummary& k, uint32_t magic) {
  if (c.tail_count > 0) {
    uint8_t header[kDahuaFrameHeaderSize] = {};
    std::memcpy(header, c.tail, c.tail_count);
    const size_t room = kDahuaFrameHeaderSize - c.tail_count;
    std::memcpy(header + c.tail_count, k.head, std::min<size_t>(room, k.head_count));
    const DahuaFrame f = ParseFrameHeader(header, sizeof header, magic);
    return f.kind != kDahuaNoFrame &&
           static_cast<uint64_t>(f.length) == static_cast<uint64_t>(c.tail_count) + k.head_length;
  }
  return k.head_length == c.tail_value;
}

struct Group {
  RecordingEntry rec;
  bool open() const { return rec.size != 0; }
};

}  // namespace

void AssembleChunks(std::vector<ChunkSummary>& chunks, uint32_t magic,
                    std::vector<RecordingEntry>& out) {
  const size_t n = chunks.size();
  std::vector<uint8_t> used(n, 0);
  FreeChunks unused(n);
  auto key_less = [](const ChunkSummary& a, uint32_t key) { return a.first_time < key; };

  // Pass 1: seeds are chunks whose run reaches their end; each chain is
  // followed iteratively, so no chain length can exhaust the stack.
  for (size_t s = 0; s < n; ++s) {
    if (used[s] || chunks[s].reaches_end == 0) continue;
    const ChunkSummary& seed = chunks[s];
    used[s] = 1;
    unused.Take(s);
    RecordingEntry rec;
    rec.channel = seed.channel;
    rec.start_time = seed.first_time;
    rec.end_time = seed.last_time;
    // The first fragment begins at the run's first frame and ends at the
    // chunk end, so that the next chunk's bytes are not repeated.
    const uint32_t head = std::min(seed.head_length, seed.length);
    rec.fragments.push_back({seed.offset + head, seed.length - head});
    rec.size = seed.length - head;
    size_t c = s;
    while (rec.size < kChainLimit) {
      const ChunkSummary& cur = chunks[c];
      // A run that broke off inside its chunk ends the recording there.
      if (cur.reaches_end == 0) break;
      auto it = std::lower_bound(chunks.begin(), chunks.end(), cur.last_time, key_less);
      size_t next = n;
      int tried = 0;
      for (size_t k = unused.Find(static_cast<size_t>(it - chunks.begin())); k < n && tried < kMaxCandidates;
           k = unused.Find(k + 1), ++tried) {
        const ChunkSummary& cand = chunks[k];
        if (PackedTimeGap(cur.last_time, cand.first_time) > kChainGapSeconds) break;
        if (Continues(cur, cand, magic)) {
          next = k;
          break;
        }
      }
      if (next == n) break;
      const ChunkSummary& k = chunks[next];
      used[next] = 1;
      unused.Take(next);
      rec.fragments.push_back({k.offset, k.length});
      rec.size += k.length;
      rec.end_time = k.last_time;
      c = next;
    }
    out.push_back(std::move(rec));
  }

  // Pass 2a: what no chain took goes into channel-254 groups in time order.
  Group g;
  auto close_group = [&out](Group& grp) {
    if (grp.open()) out.push_back(std::move(grp.rec));
    grp = Group{};
  };
  for (size_t k = 0; k < n; ++k) {
    if (used[k]) continue;
    const ChunkSummary& ch = chunks[k];
    if (!g.open()) {
      g.rec.channel = kLeftoverChannel;
      g.rec.found_by = FoundBy::Leftover;
      g.rec.start_time = ch.first_time;
    }
    g.rec.end_time = ch.last_time;
    g.rec.size += ch.length;
    g.rec.fragments.push_back({ch.offset, ch.length});
    if (g.rec.size >= kGroupLimit ||
        PackedTimeGap(g.rec.start_time, g.rec.end_time) > kGroupGapSeconds)
      close_group(g);
  }
  close_group(g);
  chunks.clear();
  chunks.shrink_to_fit();

  // Pass 2b: small recordings of real channels are merged into channel-255
  // groups appended behind the rest.
  std::vector<RecordingEntry> kept;
  std::vector<RecordingEntry> groups;
  kept.reserve(out.size());
  Group small;
  for (auto& rec : out) {
    if (rec.channel >= kLeftoverChannel || rec.size >= kSmallRecording) {
      kept.push_back(std::move(rec));
      continue;
    }
    if (!small.open()) {
      small.rec.channel = kSmallChannel;
      small.rec.found_by = FoundBy::SmallGroup;
      small.rec.start_time = rec.start_time;
      small.rec.end_time = rec.end_time;
    }
    small.rec.start_time = std::min(small.rec.start_time, rec.start_time);
    small.rec.end_time = std::max(small.rec.end_time, rec.end_time);
    small.rec.size += rec.size;
    for (const auto& f : rec.fragments) small.rec.fragments.push_back(f);
    if (small.rec.size >= kGroupLimit ||
        PackedTimeGap(small.rec.start_time, small.rec.end_time) > kGroupGapSeconds) {
      groups.push_back(std::move(small.rec));
      small = Group{};
    }
  }
  if (small.open()) groups.push_back(std::move(small.rec));
  out.clear();
  for (auto& r : kept) out.push_back(std::move(r));
  for (auto& r : groups) out.push_back(std::move(r));
}

void EncodeRunRecord(const FrameRun& r, uint8_t* out) {
  StoreLE64(out, static_cast<uint64_t>(r.start));
  StoreLE32(out + 8, r.length);
  out[12] = r.channel;
  StoreLE32(out + 13, r.first_time);
  StoreLE32(out + 17, r.last_time);
  out[21] = r.kind;
}

FrameRun DecodeRunRecord(const uint8_t* in) {
  FrameRun r;
  r.start = static_cast<int64_t>(LoadLE64(in));
  r.length = LoadLE32(in + 8);
  r.channel = in[12];
  r.first_time = LoadLE32(in + 13);
  r.last_time = LoadLE32(in + 17);
  r.kind = in[21];
  return r;
}

void AssembleRuns(const std::vector<FrameRun>& runs, std::vector<RecordingEntry>& out) {
  RecordingEntry rec;
  for (const FrameRun& r : runs) {
    if (rec.size == 0) {
      rec = RecordingEntry{};
      rec.channel = r.channel;
      rec.start_time = r.first_time;
    }
    rec.end_time = r.last_time;
    rec.size += r.length;
    rec.fragments.push_back({r.start, r.length});
    if (rec.size >= kGroupLimit) {
      out.push_back(std::move(rec));
      rec = RecordingEntry{};
    }
  }
  if (rec.size != 0) out.push_back(std::move(rec));
}

}  // namespace orvane
