#pragma once
// Pieces of the Dahua-family deep parse and its task records that are worth
// having on their own: the magic search, the chunk analysis, the grid start,
// the phase detector, the record codecs and the recording assembly. The
// engine strings them together with the device and the task file.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "engines/dahua/dahua_layout.h"
#include "scan/magic_find.h"
#include "scan/recording_entry.h"

namespace orvane {

// ----- version 1: chunk summaries and records -----------------------------

inline constexpr size_t kDahuaMaxHeadBytes = 20;
inline constexpr size_t kDahuaMaxTailBytes = 19;
inline constexpr size_t kDahuaChunkRecordFixed = 32;

struct ChunkSummary {
  int64_t offset = 0;
  uint32_t length = 0;
  uint8_t channel = 0;
  uint32_t first_time = 0;
  uint32_t last_time = 0;
  uint8_t reaches_end = 0;
  uint32_t head_length = 0;
  uint8_t head_count = 0;
  uint32_t tail_value = 0;
  uint8_t tail_count = 0;
  uint8_t head[kDahuaMaxHeadBytes] = {};
  uint8_t tail[kDahuaMaxTailBytes] = {};
};

// Analyses one chunk of n bytes read at `offset`. `chunk` must hold n + 20
// readable bytes (the scan's buffer carries a zeroed margin). Returns true
// when the chunk yields a summary.
bool AnalyzeChunk(const uint8_t* chunk, size_t n, int64_t offset, uint32_t magic, ChunkSummary& out);

size_t ChunkRecordSize(const ChunkSummary& s);
// Encodes into `out`, which must hold ChunkRecordSize(s) bytes.
void EncodeChunkRecord(const ChunkSummary& s, uint8_t* out);
// Decodes the record at the start of `bytes`: its size, or 0 when the record
// does not fit in `bytes`. Counts above 20 / 19 are clamped for the copies but
// the record still occupies the bytes its counts claim.
size_t DecodeChunkRecord(std::span<const uint8_t> bytes, ChunkSummary& out);

// Pass 1 (chaining by tail and head bytes and by time) and pass 2 (leftovers
// in channel 254, small recordings merged into channel 255). `chunks` is
// ordered by first time, equal times in file order; it is consumed.
void AssembleChunks(std::vector<ChunkSummary>& chunks, uint32_t magic,
                    std::vector<RecordingEntry>& out);

// ----- version 2: frame runs ----------------------------------------------

inline constexpr size_t kDahuaRunRecordSize = 22;

struct FrameRun {
  int64_t start = 0;
  uint32_t length = 0;
  uint8_t channel = 0;
  uint32_t first_time = 0;
  uint32_t last_time = 0;
  uint8_t kind = 0;  // 1 = holds a time frame, 2 = none
};

void EncodeRunRecord(const FrameRun& r, uint8_t* out);
FrameRun DecodeRunRecord(const uint8_t* in);

// Concatenates runs (ordered by first time, then file order) into recordings
// of at most 1 GiB each.
void AssembleRuns(const std::vector<FrameRun>& runs, std::vector<RecordingEntry>& out);

// Where a fresh deep scan starts: on the grid of `buffer` steps anchored at
// the smart value, at or below the region start; the smart value itself
// when the region starts below it.
int64_t GridStart(int64_t region_start, int64_t smart_value, int32_t buffer);

// ----- phase detection ------------------------------------------------------

// The phase of a byte offset: its sector's place in a 2 MiB cycle.
inline int64_t PhaseOf(int64_t offset) { return (offset / 512) % 4096; }

class PhaseDetector {
 public:
  // Starts a probe: the frame run is empty. Low, high and the found flag
  // carry over between probes until a vote is cast.
  void BeginProbe() { run_ = FrameRun{}; }
  // One chained frame at `offset`; true once the probe has decided.
  bool Feed(int64_t offset, const DahuaFrame& f);
  // One gap of a frame stream (where the run ended, where a stream resumes).
  void Gap(int64_t w, int64_t t);
  bool found() const { return found_; }
  // Casts the vote of a decided probe and resets low and high.
  void Vote();
  // 512 × the phase with the most votes (the smallest among equals), or -1.
  int64_t Result() const;
  int64_t low() const { return low_; }
  int64_t high() const { return high_; }
  const std::map<uint64_t, uint32_t>& votes() const { return votes_; }

 private:
  FrameRun run_;
  int64_t low_ = -1;
  int64_t high_ = -1;
  bool found_ = false;
  std::map<uint64_t, uint32_t> votes_;
};

}  // namespace orvane
