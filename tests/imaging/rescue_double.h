#pragma once
// A source with bad sectors that answers as a Linux block device does: a
// read that meets a bad sector returns the bytes before it as a short count,
// and a read that starts in one fails (EIO). Its bytes follow a pattern that
// is never zero, so an image shows at a glance what was not copied.

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/byte_range.h"
#include "device/device_info.h"

namespace orvane::rescue_test {

inline uint8_t PatternByte(int64_t pos) {
  const uint64_t x = static_cast<uint64_t>(pos) * 0x9E3779B97F4A7C15ull;
  return static_cast<uint8_t>((x >> 56) | 1);
}

struct ReadRecord {
  int64_t offset;
  int64_t length;
  int64_t result;
};

// What the source holds and how it fails; shared by every backend opened on it.
struct FaultPlan {
  int64_t size = 0;
  std::vector<ByteRange> bad;   // fail every time
  std::vector<ByteRange> weak;  // fail the first `weak_failures` reads that start in them
  int weak_failures = 2;
  // Sets `*stop` once this many reads were made (tests of stop and resume).
  std::atomic<int32_t>* stop = nullptr;
  int64_t stop_after = -1;

  std::mutex mutex;
  std::vector<ReadRecord> reads;
  std::map<int64_t, int> weak_seen;  // sector -> failed reads so far
  int64_t failed_reads = 0;

  bool InRanges(const std::vector<ByteRange>& ranges, int64_t pos) const {
    for (const auto& r : ranges)
      if (r.contains(pos)) return true;
    return false;
  }
  bool Unreadable(int64_t pos) {
    if (InRanges(bad, pos)) return true;
    if (!InRanges(weak, pos)) return false;
    return weak_seen[pos - pos % 512] < weak_failures;
  }
  // The image a perfect rescue makes: the pattern, zeros on bad sectors.
  std::string ExpectedImage() const {
    std::string image(static_cast<size_t>(size), '\0');
    for (int64_t i = 0; i < size; ++i)
      if (!InRanges(bad, i)) image[static_cast<size_t>(i)] = static_cast<char>(PatternByte(i));
    return image;
  }
};

class LinuxLikeBadSectors final : public ReadBackend {
 public:
  explicit LinuxLikeBadSectors(std::shared_ptr<FaultPlan> plan) : plan_(std::move(plan)) {}

  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    std::lock_guard<std::mutex> lock(plan_->mutex);
    const int64_t result = Answer(offset, static_cast<uint8_t*>(buffer), length);
    plan_->reads.push_back({offset, static_cast<int64_t>(length), result});
    if (result < static_cast<int64_t>(length)) ++plan_->failed_reads;
    if (plan_->stop && plan_->stop_after >= 0 &&
        static_cast<int64_t>(plan_->reads.size()) >= plan_->stop_after)
      plan_->stop->store(1);
    return result;
  }
  int64_t Size() override { return plan_->size; }

 private:
  int64_t Answer(int64_t offset, uint8_t* out, size_t length) {
    if (offset >= plan_->size) return 0;
    const int64_t end = std::min<int64_t>(plan_->size, offset + static_cast<int64_t>(length));
    if (plan_->Unreadable(offset)) {
      if (plan_->InRanges(plan_->weak, offset)) ++plan_->weak_seen[offset - offset % 512];
      errno = EIO;
      return -1;
    }
    int64_t at = offset;
    for (; at < end; ++at) {
      if (at % 512 == 0 && plan_->Unreadable(at)) break;
      out[at - offset] = PatternByte(at);
    }
    return at - offset;
  }

  std::shared_ptr<FaultPlan> plan_;
};

inline DeviceInfo FaultyDevice(std::shared_ptr<FaultPlan> plan) {
  DeviceInfo d;
  d.kind = kDeviceKindImage;
  d.name = "faulty.img";
  d.size = plan->size;
  d.backend = std::make_shared<const BackendFactory>([plan]() -> std::unique_ptr<ReadBackend> {
    return std::make_unique<LinuxLikeBadSectors>(plan);
  });
  return d;
}

}  // namespace orvane::rescue_test
