#pragma once
// Raw images cut into numbered pieces (IMAGE.001, IMAGE.002, ... or
// IMAGE.aa, IMAGE.ab, ...), read as the one medium they were cut from. The
// pieces may differ in size; only the first one is named by the user.

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/device_info.h"

namespace orvane {

// Whether `path` is named as the first piece of a split image: a suffix of
// digits counting from 0 or 1 ("000", "001", "00", "01"), or of letters
// counting from "a" ("aa", "aaa").
bool IsFirstSplitSegment(const std::string& path);

// The name that follows `path` in its numbering ("x.009" -> "x.010", "x.az"
// -> "x.ba"); empty when `path` has no such suffix or its count is used up.
std::string NextSplitSegment(const std::string& path);

// The pieces of the split image whose first piece is `first`, in order: the
// first one and every following one present. Fails (empty result, the
// reason in `problem`) when a piece is missing between the first one and a
// later one that is present.
std::vector<std::string> SplitSegmentPaths(const std::string& first, std::string* problem);

class SplitBackend final : public ReadBackend {
 public:
  // Opens every piece (all must be regular files). Null on failure, with the
  // reason in `problem` when it is given.
  static std::unique_ptr<SplitBackend> Open(const std::vector<std::string>& paths,
                                            std::string* problem = nullptr);
  ~SplitBackend() override;
  SplitBackend(const SplitBackend&) = delete;
  SplitBackend& operator=(const SplitBackend&) = delete;

  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override;
  int64_t Size() override { return size_; }
  // Only within the piece being read: opening another for a hint would take
  // the one descriptor from the reads.
  void Prefetch(int64_t offset, int64_t length) override;
  // Likewise: false for a stretch outside the piece being read.
  bool Resident(int64_t offset, int64_t length) override;
  // The least of the pieces' (-1 when one of them cannot tell).
  int64_t KernelReadAhead() override;
  // For the piece being read and every piece opened after it.
  void StopReadAhead() override;

 private:
  struct Segment {
    std::string path;
    int64_t start = 0;  // of the piece within the medium
    int64_t length = 0;
    uint64_t file_system = 0;  // st_dev of the piece
  };
  SplitBackend() = default;
  // A descriptor on piece `index`; only the last one used is kept open, so
  // that an image of thousands of pieces needs one descriptor.
  int SegmentFd(size_t index);

  std::vector<Segment> segments_;
  int64_t size_ = 0;
  std::mutex mu_;
  size_t open_index_ = 0;
  int open_fd_ = -1;
  bool read_ahead_stopped_ = false;
};

}  // namespace orvane
