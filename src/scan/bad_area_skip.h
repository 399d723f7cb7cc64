#pragma once
// Reading a deep scan's windows over a failing drive. A failed read on such
// a drive costs seconds, and a bad area met window by window (or sector by
// sector) costs one or thousands of them per window: days on a large area.
// So after a failed read the scan goes on further ahead, as the first pass
// of the rescue copy does: the skip doubles from 64 KiB on each failure in a
// row, up to 1 GiB or 1% of the region, and falls back after a whole read.
// What was skipped or failed is kept in a map (the rescue copy's mapfile
// layout), which is saved beside the task so that a resumed parse can try
// those areas again.

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/byte_range.h"
#include "imaging/rescue_map.h"

namespace orvane {

class SourceDevice;

class BadAreaSkip {
 public:
  static constexpr int64_t kMinSkip = 64 << 10;
  static constexpr int64_t kMaxSkip = 1ll << 30;

  // A map of [begin, end), nothing read yet.
  BadAreaSkip(int64_t begin, int64_t end) : map_(begin, end - begin) {}
  // Goes on with a map of an earlier run.
  explicit BadAreaSkip(RescueMap map) : map_(std::move(map)) {}

  // A scan of [begin, end) starts: no skip pending, the largest skip 1% of it.
  void BeginRegion(int64_t begin, int64_t end);

  // Reads [offset, offset + length) into `buffer` (of `capacity` bytes) as
  // ReadZeroed does, but leaves out what a pending skip covers and, after a
  // failure, skips on from the bad spot and reads the rest of the window
  // behind the skip. Everything not read is zero. False when a read failed.
  bool Read(SourceDevice& device, int64_t device_size, int64_t offset, uint8_t* buffer,
            size_t length, size_t capacity);

  // [offset, offset + length) was read whole elsewhere (a survey ahead of
  // the scan) and is taken as this object's own whole read of it, except
  // for a skip under way, whose bytes stay unread.
  void NoteRead(int64_t device_size, int64_t offset, int64_t length);
  // The same for the whole sectors that hold [offset, offset + length), as
  // a walk's sector-aligned read of them would have asked for.
  void NoteSectorsRead(int64_t device_size, int64_t offset, int64_t length);

  // Whether a read at `offset` is an ordinary one: no skip pending there and
  // the last read whole. What the plain read would bring there may then be
  // worked out from elsewhere and noted with NoteRead().
  bool Calm(int64_t offset) const { return skip_until_ <= offset && !failing_; }

  // Areas that failed or were skipped: '-' the sector a read failed at,
  // '*' what was skipped behind it (ddrescue's non-trimmed).
  const RescueMap& map() const { return map_; }
  // The failed or skipped areas in order, neighbours joined.
  std::vector<ByteRange> UnreadAreas() const;
  int64_t failed_reads() const { return failed_reads_; }

  // Called with the map after a failure, at most every `interval`: a parse
  // that crashes or is killed on a failing drive still leaves its map.
  void KeepSaved(std::function<void(const RescueMap&)> save,
                 std::chrono::milliseconds interval = std::chrono::seconds(30)) {
    save_ = std::move(save);
    save_interval_ = interval;
  }

 private:
  // After a failed read of [at, end) that brought nothing: the first sector
  // that fails, reading on in pieces and then sectors, good bytes kept.
  int64_t FirstBadSector(SourceDevice& device, int64_t at, int64_t end, uint8_t* out);
  // Marks the failed sector and skips from `skip_from` on, not past `limit`.
  void Failed(int64_t bad_at, int64_t skip_from, int64_t limit);

  RescueMap map_;
  int64_t skip_ = kMinSkip;
  int64_t max_skip_ = kMaxSkip;
  int64_t skip_until_ = -1;  // reads begin at or behind this
  bool failing_ = false;     // the last read failed: the next failure is one in a row
  int64_t failed_reads_ = 0;
  std::function<void(const RescueMap&)> save_;
  std::chrono::milliseconds save_interval_{0};
  std::chrono::steady_clock::time_point last_save_{};
};

// The map a deep parse keeps beside its task: TASK.map.
std::string TaskMapPath(const std::string& task_path);

// "读取失败 偏移:%lld 大小:%lld", one line per area.
std::string BadAreaText(const ByteRange& area);

}  // namespace orvane
