#pragma once
// Digests computed on threads of their own, one per digest, beside the copy
// that feeds them: the copy hands each block over (a memory copy into one of
// a few slots) and goes on reading and writing while the block is hashed.
// On a page-cached source the copy is then held up only when hashing is the
// slower of the two.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "recordings/hashing.h"

namespace orvane {

class ParallelDigests {
 public:
  explicit ParallelDigests(const std::vector<DigestKind>& kinds);
  ~ParallelDigests();
  ParallelDigests(const ParallelDigests&) = delete;
  ParallelDigests& operator=(const ParallelDigests&) = delete;

  // Feeds every digest; waits only while all slots are still being hashed.
  void Update(const void* data, size_t n);
  // Hex digests in the order of the kinds; once.
  std::vector<std::string> Finish();

 private:
  static constexpr size_t kSlots = 4;
  static constexpr size_t kSlotBytes = 2 << 20;
  struct Slot {
    std::vector<uint8_t> bytes;
    size_t size = 0;
    size_t pending = 0;  // digests still to read this slot
  };
  void Run(size_t digest);
  void Push(const uint8_t* data, size_t n);
  void Stop();

  std::vector<Digest> digests_;
  std::vector<uint64_t> consumed_;  // blocks each digest has taken in
  Slot slots_[kSlots];
  uint64_t produced_ = 0;
  bool done_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::thread> threads_;
  std::vector<std::string> results_;
};

}  // namespace orvane
