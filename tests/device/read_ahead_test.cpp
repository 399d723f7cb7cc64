// The kernel is asked to read ahead of streams of forward reads, never past
// the medium's end, never for scattered reads, and never again once the
// medium has failed a read.

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "device/byte_range.h"
#include "device/source_device.h"

namespace orvane {
namespace {

struct MediumLog {
  std::vector<ByteRange> prefetched;
  int64_t bad_from = -1;  // reads starting at or behind this fail
};

class LoggedMedium final : public ReadBackend {
 public:
  LoggedMedium(std::shared_ptr<MediumLog> log, int64_t size) : log_(std::move(log)), size_(size) {}
  int64_t ReadAt(int64_t offset, void*, size_t length) override {
    if (log_->bad_from >= 0 && offset >= log_->bad_from) return -1;
    int64_t end = std::min<int64_t>(size_, offset + static_cast<int64_t>(length));
    if (log_->bad_from >= 0) end = std::min(end, log_->bad_from);
    return std::max<int64_t>(end - offset, 0);
  }
  int64_t Size() override { return size_; }
  void Prefetch(int64_t offset, int64_t length) override {
    log_->prefetched.push_back(ByteRange::FromLength(offset, length));
  }

 private:
  std::shared_ptr<MediumLog> log_;
  int64_t size_;
};

DeviceInfo LoggedDevice(std::shared_ptr<MediumLog> log, int64_t size) {
  DeviceInfo d;
  d.kind = kDeviceKindImage;
  d.size = size;
  d.backend = std::make_shared<const BackendFactory>([log, size]() -> std::unique_ptr<ReadBackend> {
    return std::make_unique<LoggedMedium>(log, size);
  });
  return d;
}

constexpr int64_t kMiB = 1 << 20;

TEST(ReadAhead, AStreamIsFetchedAheadOfItsReadsUpToTheEndAndNoFurther) {
  auto log = std::make_shared<MediumLog>();
  const int64_t size = 100 * kMiB + 4096;
  SourceDevice dev;
  dev.Open(LoggedDevice(log, size));
  std::vector<uint8_t> window(2 * kMiB + 512);
  for (int64_t at = 0; at < size; at += 2 * kMiB) {
    // Every window after the first two was asked for before it is read.
    if (at >= 4 * kMiB) {
      ASSERT_FALSE(log->prefetched.empty());
      EXPECT_GE(log->prefetched.back().end, std::min<int64_t>(size, at + 2 * kMiB + 512)) << at;
    }
    dev.Read(at, window.data(), static_cast<int32_t>(window.size()));
    // A scan peeking at a header behind its window is still streaming.
    dev.Read(at + 3 * kMiB, window.data(), 20);
  }
  ASSERT_FALSE(log->prefetched.empty());
  for (size_t k = 0; k < log->prefetched.size(); ++k) {
    const ByteRange& r = log->prefetched[k];
    EXPECT_FALSE(r.empty());
    EXPECT_LE(r.end, size);
    // Each part is asked for once, and none is left out.
    if (k > 0) {
      EXPECT_EQ(r.begin, log->prefetched[k - 1].end);
    }
  }
  EXPECT_EQ(log->prefetched.back().end, size);
}

TEST(ReadAhead, ScatteredReadsAndFailingMediaGetNone) {
  auto log = std::make_shared<MediumLog>();
  const int64_t size = 1024 * kMiB;
  SourceDevice dev;
  dev.Open(LoggedDevice(log, size));
  std::vector<uint8_t> buffer(2 * kMiB);
  // Samples far apart, as identification takes them.
  for (int64_t at = 0; at < size; at += 64 * kMiB)
    dev.Read(at, buffer.data(), static_cast<int32_t>(buffer.size()));
  EXPECT_TRUE(log->prefetched.empty());

  // A stream that meets a bad area: nothing is asked for after the failure,
  // also when the reads behind the area are whole again.
  log->bad_from = 500 * kMiB;
  for (int64_t at = 480 * kMiB; at < 500 * kMiB; at += 2 * kMiB)
    dev.Read(at, buffer.data(), static_cast<int32_t>(buffer.size()));
  ASSERT_FALSE(log->prefetched.empty());
  dev.Read(500 * kMiB, buffer.data(), static_cast<int32_t>(buffer.size()));
  EXPECT_FALSE(dev.ok());
  const size_t asked = log->prefetched.size();
  log->bad_from = -1;
  for (int64_t at = 502 * kMiB; at < 600 * kMiB; at += 2 * kMiB)
    dev.Read(at, buffer.data(), static_cast<int32_t>(buffer.size()));
  EXPECT_EQ(log->prefetched.size(), asked);
}

}  // namespace
}  // namespace orvane
