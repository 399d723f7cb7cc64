#pragma once
// Keeps the kernel reading ahead of a stream of forward reads, so that the
// medium works on the next stretch while the caller searches the one it
// holds, and the copy into the caller's buffer happens on the caller's own
// processor from the page cache. Scans, exports and the backup read in this
// manner; the kernel's own read-ahead is too short for a scan that stops to
// search every few megabytes, and a second thread that reads for the scan
// moves every byte from one processor's cache to the other's.

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

 private:
  int64_t stream_end_ = -1;  // where the last stream read ended
  int64_t fetched_to_ = 0;   // how far the kernel was asked to read
  int streak_ = 0;           // stream reads in a row
  bool stopped_ = false;
};

}  // namespace orvane
