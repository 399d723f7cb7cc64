#include "recordings/parallel_digests.h"

#include <algorithm>
#include <cstring>

namespace orvane {

ParallelDigests::ParallelDigests(const std::vector<DigestKind>& kinds) {
  for (DigestKind k : kinds) digests_.emplace_back(k);
  consumed_.assign(digests_.size(), 0);
  for (size_t i = 0; i < digests_.size(); ++i) threads_.emplace_back([this, i] { Run(i); });
}

ParallelDigests::~ParallelDigests() { Stop(); }

void ParallelDigests::Update(const void* data, size_t n) {
  const auto* bytes = static_cast<const uint8_t*>(data);
  while (n > 0) {
    const size_t part = std::min(n, kSlotBytes);
    Push(bytes, part);
    bytes += part;
    n -= part;
  }
}

void ParallelDigests::Push(const uint8_t* data, size_t n) {
  std::unique_lock<std::mutex> lock(mutex_);
  Slot& slot = slots_[produced_ % kSlots];
  changed_.wait(lock, [&] { return slot.pending == 0; });
  lock.unlock();
  // The slot is free: no digest reads it until `produced_` moves on.
  if (slot.bytes.size() < n) slot.bytes.resize(kSlotBytes);
  std::memcpy(slot.bytes.data(), data, n);
  slot.size = n;
  lock.lock();
  slot.pending = digests_.size();
  ++produced_;
  lock.unlock();
  changed_.notify_all();
}

void ParallelDigests::Run(size_t digest) {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [&] { return consumed_[digest] < produced_ || done_; });
    if (consumed_[digest] >= produced_) return;  // done and nothing left
    Slot& slot = slots_[consumed_[digest] % kSlots];
    lock.unlock();
    digests_[digest].Update(slot.bytes.data(), slot.size);
    lock.lock();
    ++consumed_[digest];
    --slot.pending;
    changed_.notify_all();
  }
}

void ParallelDigests::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    done_ = true;
  }
  changed_.notify_all();
  for (std::thread& t : threads_)
    if (t.joinable()) t.join();
}

std::vector<std::string> ParallelDigests::Finish() {
  Stop();
  if (results_.empty())
    for (Digest& d : digests_) results_.push_back(d.Finish());
  return results_;
}

}  // namespace orvane
