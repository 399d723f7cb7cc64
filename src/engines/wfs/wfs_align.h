#pragma once
// Finding where, within every 2 MiB, a recorder's blocks begin.
//
// A recorder writes its stream frame after frame; where one of its blocks
// ends and the next (of another recording) begins, the run of contiguous
// frames breaks. Every break brackets the block border between the sector in
// which the run ended and the sector in which the next run starts; the
// brackets of several breaks narrow to one sector, which gets a vote.

#include <cstdint>
#include <map>

namespace orvane::wfs {

inline constexpr int64_t kAlignWindow = 0x200000;  // 2 MiB
inline constexpr int64_t kSectorsPerWindow = kAlignWindow / 512;

// Sector of an offset within its 2 MiB window.
inline int64_t WindowSector(uint64_t offset) {
  return static_cast<int64_t>((offset / 512) % kSectorsPerWindow);
}

class AlignmentVotes {
 public:
  // One frame of the stream at absolute offset `at`, of `size` bytes, of kind
  // 1 (key frame, with its time) or 2.
  void Track(uint64_t at, uint32_t size, uint32_t time, int kind);
  // A break in the stream between sector `from` and sector `to`.
  void Vote(int64_t from, int64_t to);

  // A bracket narrowed to one sector: counts it and starts afresh.
  bool decided() const { return found_; }
  void CountDecision();
  // Starts a new run (each probe begins with one).
  void NewRun() { run_length_ = 0; }

  // Bytes offset of the sector with the most votes (the smallest on a tie),
  // or -1 without votes.
  int64_t Result() const;
  int64_t low() const { return low_; }
  int64_t high() const { return high_; }

 private:
  void StartRun(uint64_t at, uint32_t size, uint32_t time, int kind);

  uint64_t run_offset_ = 0;
  int64_t run_length_ = 0;
  uint32_t run_time_ = 0;
  int run_kind_ = 0;
  int64_t low_ = -1, high_ = -1;
  bool found_ = false;
  std::map<int64_t, int64_t> votes_;
};

}  // namespace orvane::wfs
