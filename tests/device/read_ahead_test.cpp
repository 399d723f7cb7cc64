// The kernel is asked to read ahead of streams of forward reads, never past
// the medium's end, never for scattered reads, and never again once the
// medium has failed a read; the requests are handed on by a thread of their
// own, all of them, and that thread ends with the device.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "device/byte_range.h"
#include "device/sequential_prefetch.h"
#include "device/source_device.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

TEST(ReadAhead, AStreamIsFetchedAheadOfItsReadsUpToTheEndAndNoFurther) {
  SequentialPrefetch policy;
  const int64_t size = 100 * kMiB + 4096;
  const int64_t window = 2 * kMiB + 512;  // windows overlap by a little
  int64_t fetched_to = 0;
  std::vector<ByteRange> asked;
  for (int64_t at = 0; at < size; at += 2 * kMiB) {
    // Every window after the first two was asked for before it is read.
    if (at >= 4 * kMiB) {
      EXPECT_GE(fetched_to, std::min(size, at + window)) << at;
    }
    const int64_t got = std::min(window, size - at);
    if (ByteRange r = policy.AfterRead(at, got, size); !r.empty()) {
      asked.push_back(r);
      fetched_to = r.end;
    }
    // A scan peeking at a header behind its window is still streaming.
    EXPECT_TRUE(policy.AfterRead(at + 3 * kMiB, 20, size).empty());
  }
  ASSERT_FALSE(asked.empty());
  for (size_t k = 0; k < asked.size(); ++k) {
    EXPECT_LE(asked[k].end, size);
    EXPECT_GE(asked[k].length(),
              std::min<int64_t>(SequentialPrefetch::kBatch, size - asked[k].begin));
    // Each part is asked for once, and none is left out.
    if (k > 0) {
      EXPECT_EQ(asked[k].begin, asked[k - 1].end);
    }
  }
  EXPECT_EQ(asked.back().end, size);
}

TEST(ReadAhead, ScatteredReadsAndFailingMediaGetNone) {
  SequentialPrefetch policy;
  const int64_t size = 1024 * kMiB;
  // Samples far apart, as identification takes them.
  for (int64_t at = 0; at < size; at += 64 * kMiB)
    EXPECT_TRUE(policy.AfterRead(at, 2 * kMiB, size).empty()) << at;
  bool streaming = false;
  for (int64_t at = 480 * kMiB; at < 500 * kMiB; at += 2 * kMiB)
    streaming |= !policy.AfterRead(at, 2 * kMiB, size).empty();
  EXPECT_TRUE(streaming);
  policy.Stop();
  for (int64_t at = 500 * kMiB; at < 600 * kMiB; at += 2 * kMiB)
    EXPECT_TRUE(policy.AfterRead(at, 2 * kMiB, size).empty()) << at;
}

// Where the kernel reads a window or more ahead by itself, a stream gets no
// requests of ours; a shorter or unknown read-ahead leaves them on.
TEST(ReadAhead, AStreamIsLeftToAKernelThatReadsFarEnoughAhead) {
  const int64_t size = 200 * kMiB;
  auto asks = [&](int64_t kernel) {
    SequentialPrefetch policy;
    policy.KernelReadsAhead(kernel);
    int n = 0;
    for (int64_t at = 0; at < size; at += 2 * kMiB)
      n += !policy.AfterRead(at, 2 * kMiB, size).empty();
    return n;
  };
  EXPECT_EQ(asks(8 * kMiB), 0);
  EXPECT_EQ(asks(SequentialPrefetch::kKernelEnough), 0);
  EXPECT_GT(asks(128 << 10), 0);
  EXPECT_GT(asks(-1), 0);
}

struct MediumLog {
  std::mutex mutex;
  std::vector<ByteRange> prefetched;
  int64_t bad_from = -1;  // reads starting at or behind this fail
  int64_t kernel_read_ahead = -1;
  int read_ahead_stops = 0;
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
    std::lock_guard lock(log_->mutex);
    log_->prefetched.push_back(ByteRange::FromLength(offset, length));
  }
  int64_t KernelReadAhead() override { return log_->kernel_read_ahead; }
  void StopReadAhead() override { ++log_->read_ahead_stops; }

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

// What the device's thread hands on: requests in order, within the medium,
// none after the medium failed a read; the thread ends with the device
// (requests not yet handed on are dropped with it).
TEST(ReadAhead, TheDevicesThreadHandsOnRequestsInOrderAndEndsWithIt) {
  auto log = std::make_shared<MediumLog>();
  const int64_t size = 700 * kMiB;
  log->bad_from = 500 * kMiB;
  {
    SourceDevice dev;
    dev.Open(LoggedDevice(log, size));
    std::vector<uint8_t> buffer(2 * kMiB);
    for (int64_t at = 0; at < 600 * kMiB; at += 2 * kMiB) {
      if (at == 510 * kMiB) log->bad_from = -1;  // whole again behind the bad area
      dev.Read(at, buffer.data(), static_cast<int32_t>(buffer.size()));
    }
    for (int k = 0; k < 5000; ++k) {
      {
        std::lock_guard lock(log->mutex);
        if (!log->prefetched.empty() &&
            log->prefetched.back().end >
                500 * kMiB + SequentialPrefetch::kHorizon - SequentialPrefetch::kBatch)
          break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  std::lock_guard lock(log->mutex);
  ASSERT_FALSE(log->prefetched.empty());
  EXPECT_EQ(log->prefetched.front().begin, 4 * kMiB);
  int64_t covered = log->prefetched.front().begin;
  for (const ByteRange& r : log->prefetched) {
    EXPECT_EQ(r.begin, covered);
    covered = r.end;
  }
  // Ahead of the last whole read, and not a byte further.
  EXPECT_LE(covered, 500 * kMiB + SequentialPrefetch::kHorizon);
  EXPECT_GT(covered, 500 * kMiB + SequentialPrefetch::kHorizon - SequentialPrefetch::kBatch);
}

// The device asks its medium how far the kernel reads ahead: with enough it
// makes no requests of its own; and once a read fails, the kernel is told to
// read no further than asked, once.
TEST(ReadAhead, TheDeviceLeavesStreamsToTheKernelAndStopsItOnAFailure) {
  auto log = std::make_shared<MediumLog>();
  const int64_t size = 300 * kMiB;
  log->kernel_read_ahead = 8 * kMiB;
  log->bad_from = 100 * kMiB;
  {
    SourceDevice dev;
    dev.Open(LoggedDevice(log, size));
    std::vector<uint8_t> buffer(2 * kMiB);
    for (int64_t at = 0; at < 200 * kMiB; at += 2 * kMiB)
      dev.Read(at, buffer.data(), static_cast<int32_t>(buffer.size()));
  }
  std::lock_guard lock(log->mutex);
  EXPECT_TRUE(log->prefetched.empty());
  EXPECT_EQ(log->read_ahead_stops, 1);
}

}  // namespace
}  // namespace orvane
