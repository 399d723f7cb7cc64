#include "engines/dahua/walk_reader.h"

#include <cstring>
#include <system_error>
#include <utility>

namespace orvane {

namespace {
// Zeros wherever nothing was read: past a failed read, past the end of the
// medium, past `len`. Zeroing only those parts keeps a page-cached scan at
// the speed of the read itself.
bool ReadZeroed(SourceDevice& dev, int64_t device_size, int64_t at, uint8_t* buf, size_t len,
                size_t capacity) {
  dev.Read(at, buf, static_cast<int32_t>(len));
  if (!dev.ok()) {
    std::memset(buf, 0, capacity);
    return false;
  }
  size_t valid = len;
  if (device_size > 0 && at + static_cast<int64_t>(len) > device_size)
    valid = at >= device_size ? 0 : static_cast<size_t>(device_size - at);
  std::memset(buf + valid, 0, capacity - valid);
  return true;
}
}  // namespace

const uint8_t* ReadForWalk(SourceDevice& dev, int64_t device_size, int64_t at, size_t len,
                           std::vector<uint8_t>& buf, bool& ok) {
  const size_t lead = static_cast<size_t>(at % 512);
  const size_t want = (lead + len + 511) / 512 * 512;
  if (buf.size() < want + 64) buf.resize(want + 64);
  ok = ReadZeroed(dev, device_size, at - static_cast<int64_t>(lead), buf.data(), want, buf.size());
  std::memset(buf.data() + lead + len, 0, buf.size() - lead - len);
  return buf.data() + lead;
}

WalkReader::WalkReader(SourceDevice& dev, const DeviceInfo* source, int64_t device_size)
    : dev_(dev), device_size_(device_size) {
  if (!source) return;
  ahead_dev_.Open(*source);
  if (!ahead_dev_.is_open()) return;
  try {
    thread_ = std::thread([this] { Run(); });
    threaded_ = true;
  } catch (const std::system_error&) {
    ahead_dev_.Close();
  }
}

WalkReader::~WalkReader() {
  if (!threaded_) return;
  handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) != kAsked; });
  handoff_.Publish(state_, kQuit);
  thread_.join();
}

void WalkReader::Run() {
  for (;;) {
    handoff_.WaitFor([&] {
      const int s = state_.load(std::memory_order_acquire);
      return s == kAsked || s == kQuit;
    });
    if (state_.load(std::memory_order_acquire) == kQuit) return;
    ahead_data_ = ReadForWalk(ahead_dev_, device_size_, ahead_at_, ahead_len_, ahead_, ahead_ok_);
    handoff_.Publish(state_, kDone);
  }
}

void WalkReader::ReadAhead(int64_t at, size_t len) {
  if (!threaded_ || state_.load(std::memory_order_acquire) != kIdle) return;
  ahead_at_ = at;
  ahead_len_ = len;
  handoff_.Publish(state_, kAsked);
}

const uint8_t* WalkReader::Read(int64_t at, size_t len, bool& ok) {
  if (threaded_ && state_.load(std::memory_order_acquire) != kIdle) {
    handoff_.WaitFor([&] { return state_.load(std::memory_order_acquire) == kDone; });
    state_.store(kIdle, std::memory_order_relaxed);
    if (ahead_at_ == at && ahead_len_ == len) {
      const auto offset = static_cast<size_t>(ahead_data_ - ahead_.data());
      std::swap(held_, ahead_);  // the bytes move with their buffer
      ok = ahead_ok_;
      return held_.data() + offset;
    }
  }
  return ReadForWalk(dev_, device_size_, at, len, held_, ok);
}

}  // namespace orvane
