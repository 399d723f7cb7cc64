#pragma once
// Keeps the kernel reading ahead of a stream of forward reads, so that the
// medium works on the next stretch while the caller searches the one it
// holds, and the copy into the caller's buffer happens on the caller's own
// processor from the page cache. Scans, exports and the backup read in this
// manner. Where the kernel's own read-ahead is short (128 KiB on most disks)
// it leaves the medium idle while a scan searches; where it reaches a window
// or more, the kernel is left to it. A second thread that reads for the scan
// would move every byte from one processor's cache to the other's.

#include <cstdint>

#include "device/byte_range.h"

namespace orvane {

class SequentialPrefetch {
 public:
  // How far ahead of the stream the kernel is asked to have read, and the
  // least it is asked for at a time.
  static constexpr int64_t kHorizon = 32 << 20;
  static constexpr int64_t kBatch = 8 << 20;
  // Reads smaller than this neither start nor break a stream: a scan that
  // peeks at a frame header behind its window is still streaming.
  static constexpr int64_t kStreamRead = 64 << 10;
  // How far a read may begin behind or beyond where the stream stood and
  // still continue it (windows overlap; walks skip a little).
  static constexpr int64_t kStreamSlack = 4 << 20;

  // Called after a read of [offset, offset + length) came back whole; the
  // range the kernel should fetch next (empty when none), inside the medium.
  ByteRange AfterRead(int64_t offset, int64_t length, int64_t medium_size);
  // After a failed read: a failing medium gets no speculative reads, which
  // on a bad area cost seconds each and could not be stopped.
  void Stop() { stopped_ = true; }
  bool stopped() const { return stopped_; }

  // The kernel's own read-ahead that leaves nothing to ask for: a scan
  // window. Measured from the disk on a 2-processor machine, the scan kept
  // pace with a plain read from there up, and our requests on top of it
  // only slowed it down (fewer, larger reads do better than more, smaller).
  static constexpr int64_t kKernelEnough = 2 << 20;
  // Tells how far the kernel reads ahead of a stream by itself (-1: not
  // known); with enough, no requests are made.
  void KernelReadsAhead(int64_t bytes) { left_to_kernel_ = bytes >= kKernelEnough; }

 private:
  int64_t stream_end_ = -1;  // where the last stream read ended
  int64_t fetched_to_ = 0;   // how far the kernel was asked to read
  int streak_ = 0;           // stream reads in a row
  bool stopped_ = false;
  bool left_to_kernel_ = false;
};

}  // namespace orvane
