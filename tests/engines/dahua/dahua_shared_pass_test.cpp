// A Dahua-family deep parse steps over what the smart-value detection
// searched and found no magic in, and finds exactly what a parse that reads
// everything finds.

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

#include "device/source_device.h"
#include "engines/dahua/dahua_engine.h"
#include "scan/clear_ranges.h"
#include "scan/dispatch.h"
#include "synth/dahua_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

// The image's bytes, with every byte read counted; reads touching `bad`
// fail while it is set, as a marginal area that reads again later.
class CountingBackend final : public ReadBackend {
 public:
  struct Shared {
    std::atomic<int64_t> bytes{0};
    std::mutex mu;
    ByteRange bad;
  };
  CountingBackend(std::unique_ptr<ReadBackend> inner, std::shared_ptr<Shared> shared)
      : inner_(std::move(inner)), shared_(std::move(shared)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    {
      std::lock_guard lock(shared_->mu);
      if (!ByteRange::FromLength(offset, static_cast<int64_t>(length))
               .intersect(shared_->bad)
               .empty())
        return -1;
    }
    const int64_t n = inner_->ReadAt(offset, buffer, length);
    if (n > 0) shared_->bytes += n;
    return n;
  }
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::shared_ptr<Shared> shared_;
};

DeviceInfo CountingDevice(const std::string& path, std::shared_ptr<CountingBackend::Shared> s) {
  DeviceInfo d = synth::ImageDevice(path);
  d.backend = std::make_shared<const BackendFactory>([path, s]() -> std::unique_ptr<ReadBackend> {
    auto inner = FileBackend::Open(path);
    if (!inner) return nullptr;
    return std::make_unique<CountingBackend>(std::move(inner), s);
  });
  return d;
}

std::string Bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

// 96 MiB: one recording in blocks 1-2 (inside the tenth the detection leaves
// out), zeros, one recording in blocks 30-31 near the end.
std::string BuildDisk(const synth::TempDir& tmp) {
  const std::string path = tmp.File("d.img");
  synth::DahuaDisk disk(BrandDahua, path, 96 * kMiB);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.block_size = 0x200000;
  area.entries = 40;
  area.unit = 512;
  area.data_offset = 0x200000;
  disk.AddArea(area);
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    synth::DahuaRecordingSpec r;
    r.channel = ch;
    r.blocks = ch == 1 ? std::vector<uint32_t>{1, 2} : std::vector<uint32_t>{38, 39};
    r.end = synth::BlockEnd::kPadded;
    r.start_time = synth::PackTime(2019, 5, 1, ch, 0, 0);
    disk.Plant(r);
  }
  disk.Finish();
  disk.WipeIndex();
  return path;
}

struct Parsed {
  std::string task;
  int64_t read = 0;
};

// A deep parse as the parse job runs it: the smart value detected (and with
// it the stretches it searched), or given, which skips the detection.
Parsed Parse(const std::string& image, const synth::TempDir& tmp, int32_t version,
             int64_t given_smart, const ByteRange& bad_while_detecting = {}) {
  auto shared = std::make_shared<CountingBackend::Shared>();
  shared->bad = bad_while_detecting;
  const DeviceInfo dev = CountingDevice(image, shared);
  ScanParameters p;
  p.source = &dev;
  p.brand = BrandDahua;
  p.mode = ScanModeDeep;
  p.version = version;
  p.region_end = dev.size;
  p.user_smart_value = given_smart;
  p.task_path = tmp.File("t" + std::to_string(version) + std::to_string(given_smart) + ".tak");
  p.smart_value = ResolveSmartValue(p);
  if (given_smart == -1) {
    EXPECT_TRUE(p.detection_clear);
  }
  {
    std::lock_guard lock(shared->mu);
    shared->bad = {};
  }
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  RunParse(p);
  return {Bytes(p.task_path), shared->bytes.load()};
}

TEST(DahuaSharedPass, TheScanStepsOverWhatTheDetectionSearchedAndFindsTheSame) {
  synth::TempDir tmp;
  const std::string image = BuildDisk(tmp);
  for (int32_t version : {1, 2}) {
    const Parsed detected = Parse(image, tmp, version, -1);
    // The detection found no phase: the fallback value, given by hand, makes
    // the same scan read everything.
    const Parsed given = Parse(image, tmp, version, 0x160000);
    ASSERT_FALSE(given.task.empty());
    EXPECT_EQ(detected.task, given.task) << "version " << version;
    // Detection and scan together read less than the detection (most of
    // the disk) and a full scan would.
    EXPECT_LT(detected.read, given.read + 40 * kMiB) << "version " << version;
    EXPECT_LT(detected.read, 96 * kMiB + 24 * kMiB) << "version " << version;
  }
}

TEST(DahuaSharedPass, WhatTheDetectionFailedToReadIsReadAgain) {
  synth::TempDir tmp;
  const std::string image = BuildDisk(tmp);
  // Sectors early in the second recording fail while the detection reads
  // them and read for the scan. The detection searched zeros behind them:
  // the scan must read those again and find the recording whole.
  const int64_t second = 0x200000 + 0x200000 + 38 * 0x200000;  // block 38 of the area
  const ByteRange marginal = ByteRange::FromLength(second + 0x10000, 4096);
  for (int32_t version : {1, 2}) {
    const Parsed detected = Parse(image, tmp, version, -1, marginal);
    const Parsed given = Parse(image, tmp, version, 0x160000);
    EXPECT_EQ(detected.task, given.task) << "version " << version;
  }
}

TEST(ClearRanges, JoinsStretchesInAnyOrderAndAnswersOnlyWhenSettled) {
  ClearRanges c;
  c.Add(100, 200);
  c.Add(150, 300);                   // overlaps the last
  c.Add(300, 400);                   // touches it
  c.Add(0, 50);                      // out of order
  EXPECT_FALSE(c.Covers(120, 130));  // not settled yet
  c.Settle();
  EXPECT_TRUE(c.Covers(100, 400));
  EXPECT_TRUE(c.Covers(0, 50));
  EXPECT_FALSE(c.Covers(40, 110));   // across the gap 50..100
  EXPECT_FALSE(c.Covers(399, 401));  // past the end
  EXPECT_FALSE(c.Covers(-10, 10));
  c.Add(500, 600);
  EXPECT_FALSE(c.Covers(100, 200));  // unsettled again
  c.Settle();
  EXPECT_TRUE(c.Covers(550, 600));
}

TEST(ClearRanges, KeepsNoMoreThanItsLimit) {
  ClearRanges c;
  const auto n = static_cast<int64_t>(ClearRanges::kMaxRanges);
  for (int64_t k = 0; k < n + 100; ++k) c.Add(10 * k, 10 * k + 5);
  c.Settle();
  EXPECT_TRUE(c.Covers(0, 5));
  EXPECT_TRUE(c.Covers(10 * (n - 1), 10 * (n - 1) + 5));
  EXPECT_FALSE(c.Covers(10 * (n + 50), 10 * (n + 50) + 5));  // dropped, read again
}

}  // namespace
}  // namespace orvane
