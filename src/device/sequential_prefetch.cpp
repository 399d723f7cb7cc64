#include "device/sequential_prefetch.h"

#include <algorithm>

namespace orvane {

ByteRange SequentialPrefetch::AfterRead(int64_t offset, int64_t length, int64_t medium_size) {
  if (stopped_ || left_to_kernel_ || length < kStreamRead || offset < 0) return {};
  const int64_t end = SaturatingAdd(offset, length);
  const bool continues = stream_end_ >= 0 && offset >= stream_end_ - kStreamSlack &&
                         offset <= SaturatingAdd(stream_end_, kStreamSlack);
  if (continues) {
    ++streak_;
    stream_end_ = std::max(stream_end_, end);
  } else {
    streak_ = 1;
    stream_end_ = end;
    fetched_to_ = end;
  }
  // One large read is not yet a stream: a probe or a lookup reads once.
  if (streak_ < 2) return {};
  const int64_t from = std::max(fetched_to_, stream_end_);
  const int64_t to = SaturatingAdd(stream_end_, kHorizon);
  if (to - from < kBatch) return {};
  const ByteRange next = ByteRange{from, to}.clamped_to(medium_size);
  fetched_to_ = std::max(fetched_to_, to);
  return next;
}

}  // namespace orvane
