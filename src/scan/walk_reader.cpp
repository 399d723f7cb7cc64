#include "scan/walk_reader.h"

#include <cstring>
#include <system_error>
#include <utility>

namespace orvane {

WalkReader::WalkReader(SourceDevice& dev, const DeviceInfo* source, Fill fill)
    : dev_(dev), fill_(std::move(fill)) {
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
    ahead_data_ = fill_(ahead_dev_, ahead_at_, ahead_len_, ahead_, ahead_ok_);
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
  return fill_(dev_, at, len, held_, ok);
}

}  // namespace orvane
