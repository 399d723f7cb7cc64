#pragma once
// What the smart-value detection's walk tells of the chunks of the
// version-1 scan, kept so that the scan need not read those chunks again.
//
// A chunk's analysis starts at the first frame header in the chunk and
// follows the frames chained behind it to the chunk's end. Where the walk
// took a chunk's frames from its first one to its end without a break,
// everything of the chunk's record is known but the bytes in front of that
// first frame (which must hold no header of their own, and give the
// record's head) and the few bytes behind its last frame. The scan reads
// just those; where they do not bear the walk out, or cannot be read, it
// reads the chunk whole as before. So a chunk's record is always the one
// its own analysis gives.
//
// Chunks lie on the grid through the recorder's default smart value, on
// which the scan reads when the detection does not decide; on another grid
// the scan finds nothing kept for its chunks.

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engines/dahua/dahua_layout.h"

namespace orvane {

class SourceDevice;

class DetectionChunks {
 public:
  // Chunks kept before the detection stops keeping them: the memory stays
  // small whatever the disk holds.
  static constexpr size_t kMostChunks = size_t{1} << 16;
  // The most bytes in front of a chunk's first frame that the scan reads.
  static constexpr int64_t kMostLead = 1 << 20;

  // Chunks of `length` bytes on the grid through `anchor`.
  DetectionChunks(int64_t anchor, int32_t length);

  // The detection's side. Its walk holds the bytes below `held_end`: a
  // header reaching past it was read in part. Then each chained frame the
  // walk takes, in order.
  void Begin(int64_t held_end);
  void Take(int64_t offset, const DahuaFrame& f);
  // A read failed: what the detection saw may not be what the scan reads.
  void Drop();

  // The scan's side, for chunks of `length` bytes. Whether the chunk at
  // `position` was kept; safe to ask from any thread once the detection is
  // done.
  bool Holds(int64_t position, int32_t length) const;
  // The chunk's record in `notes` (none when its analysis keeps nothing),
  // from what was kept and the bytes read of it on `dev`. False when they
  // could not be read or show a header the walk did not take: the chunk is
  // then to be read whole. On the scan's thread only.
  bool Summarise(SourceDevice& dev, int64_t position, int32_t length, uint32_t magic,
                 std::vector<uint8_t>& notes);

  size_t size() const { return kept_.size(); }

 private:
  // A chunk whose analysis the walk followed to its end.
  struct Kept {
    int64_t chunk = 0;
    uint32_t first = 0;       // the first frame's position in the chunk
    uint32_t tail_value = 0;  // as the analysis gives it
    uint32_t first_time = 0;
    uint32_t last_time = 0;
    uint8_t channel = 0;
    uint8_t tail_count = 0;  // bytes behind the last frame, up to the chunk end
    bool keeps = false;      // the analysis keeps a record
  };

  // The chunk whose frames the walk is following.
  struct Open {
    bool active = false;
    bool absorbed = false;
    int64_t next = 0;  // where the next frame must start
    Kept kept;
  };

  int64_t ChunkOf(int64_t offset) const;
  // One frame of the open chunk, at `at` within it.
  void Step(int64_t at, const DahuaFrame& f);
  void Close();
  const Kept* Find(int64_t position) const;

  int64_t anchor_;
  int64_t length_;
  int64_t held_end_ = -1;
  int64_t last_opened_ = -1;  // the chunk last opened, whether or not it was kept
  bool dropped_ = false;
  Open open_;
  std::vector<Kept> kept_;      // in chunk order
  std::vector<uint8_t> bytes_;  // what Summarise() reads
};

}  // namespace orvane
