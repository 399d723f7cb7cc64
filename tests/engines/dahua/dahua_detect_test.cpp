// The phase detector: its gap arithmetic, its probes and its result on disks
// whose storage blocks sit off the 2 MiB grid.

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>

#include "device/byte_order.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "engines/dahua/dahua_test_util.h"

namespace orvane {
namespace {

using namespace dahua_test;

TEST(DahuaPhase, GapsNarrowToOnePhase) {
  PhaseDetector d;
  d.Gap(100, 300);
  EXPECT_FALSE(d.found());
  EXPECT_EQ(d.low(), 100);
  EXPECT_EQ(d.high(), 300);
  d.Gap(150, 151);
  ASSERT_TRUE(d.found());
  d.Vote();
  EXPECT_EQ(d.low(), -1);
  EXPECT_EQ(d.votes().at(151), 1u);
  EXPECT_EQ(d.Result(), 151 * 512);
  // A resumption at or before the break says nothing.
  d.Gap(300, 300);
  d.Gap(300, 20);
  EXPECT_EQ(d.low(), -1);
  // Equal votes: the smallest phase wins.
  d.Gap(40, 100);
  d.Gap(99, 100);
  d.Vote();
  EXPECT_EQ(d.Result(), 100 * 512);
}

// A medium whose bytes repeat every 2 MiB from `shift` on: a block of
// 1000-byte time frames that stops 400 bytes before the next block, with a
// filler frame and zeros in between. The reads of the first device opened
// on it (the scan's own) are recorded; those of a survey reading ahead on a
// device of its own are not.
class PeriodicBackend final : public ReadBackend {
 public:
  PeriodicBackend(int64_t size, int64_t shift, std::vector<std::pair<int64_t, size_t>>* reads,
                  std::mutex* mu)
      : size_(size), shift_(shift), reads_(reads), mu_(mu), block_(0x200000, 0) {
    const uint32_t magic = DahuaVariantFor(BrandDahua).magic;
    const uint32_t t = synth::PackTime(2016, 1, 1, 0, 0, 0);
    size_t at = 0;
    while (at + 1000 <= block_.size() - 400) {
      StoreLE32(&block_[at], magic);
      block_[at + 4] = 0xFD;
      StoreLE32(&block_[at + 12], 1000);
      StoreLE32(&block_[at + 16], t);
      at += 1000;
    }
    // The stream breaks in the block's last sector: a filler up to 400 bytes
    // before the end, then one of 200 that nothing follows.
    const auto f1 = synth::DahuaFillerFrame(magic, static_cast<uint32_t>(block_.size() - 400 - at));
    std::memcpy(&block_[at], f1.data(), f1.size());
    const auto f2 = synth::DahuaFillerFrame(magic, 200);
    std::memcpy(&block_[block_.size() - 400], f2.data(), f2.size());
  }
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    if (reads_) {
      std::lock_guard lock(*mu_);
      reads_->push_back({offset, length});
    }
    if (offset >= size_) return 0;
    length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < length;) {
      const int64_t pos = offset + static_cast<int64_t>(i);
      const int64_t rel = ((pos - shift_) % 0x200000 + 0x200000) % 0x200000;
      const size_t n = std::min<size_t>(length - i, static_cast<size_t>(0x200000 - rel));
      std::memcpy(out + i, &block_[static_cast<size_t>(rel)], n);
      i += n;
    }
    return static_cast<int64_t>(length);
  }
  int64_t Size() override { return size_; }

 private:
  int64_t size_, shift_;
  std::vector<std::pair<int64_t, size_t>>* reads_;
  std::mutex* mu_;
  std::vector<uint8_t> block_;
};

struct Periodic {
  std::vector<std::pair<int64_t, size_t>> reads;
  std::mutex mu;
  int opened = 0;
  DeviceInfo dev;
  Periodic(int64_t size, int64_t shift) {
    dev.kind = kDeviceKindImage;
    dev.name = "periodic";
    dev.size = size;
    dev.backend = std::make_shared<const BackendFactory>([this, size, shift]() -> std::unique_ptr<ReadBackend> {
      std::lock_guard lock(mu);
      return std::make_unique<PeriodicBackend>(size, shift, opened++ == 0 ? &reads : nullptr, &mu);
    });
  }
  std::vector<int64_t> BigReads() {
    std::vector<int64_t> out;
    for (auto [o, n] : reads)
      if (n >= 0x100000) out.push_back(o);
    return out;
  }
};

TEST(DahuaDetector, ProbesOneTenthInAndStopsAtTheFirstDecision) {
  constexpr int64_t kSixGiB = 0x180000000;
  constexpr int64_t kShift = 0x123400;
  {
    Periodic disk(kSixGiB, kShift);
    ScanParameters p;
    p.source = &disk.dev;
    p.brand = BrandDahua;
    p.region_end = kSixGiB;
    EXPECT_EQ(DahuaFamilyEngine(p).DetectSmartValue(), kShift);
    const auto big = disk.BigReads();
    ASSERT_FALSE(big.empty());
    EXPECT_NEAR(big.front(), kSixGiB / 10, 512);
    EXPECT_LE(big.size(), 3u);  // decided within the first blocks
  }
  {
    Periodic disk(kSixGiB + 1, kShift);
    ScanParameters p;
    p.source = &disk.dev;
    p.brand = BrandDahua;
    p.region_end = kSixGiB + 1;
    EXPECT_EQ(DahuaFamilyEngine(p).DetectSmartValue(), kShift);
    const auto big = disk.BigReads();
    const int64_t step = (kSixGiB + 1) / 10;
    std::vector<int64_t> starts;
    for (size_t i = 0; i < big.size(); ++i)
      if (i == 0 || big[i] < big[i - 1] || big[i] - big[i - 1] > 0x400000) starts.push_back(big[i]);
    ASSERT_EQ(starts.size(), 9u);
    for (int k = 0; k < 9; ++k) EXPECT_NEAR(starts[k], (k + 1) * step, 512);
    EXPECT_LE(big.size(), 27u);
  }
}

TEST(DahuaDetector, FindsTheSmartValueOfABuiltDisk) {
  synth::TempDir tmp;
  constexpr int64_t kShift = 0x0F5200;  // phase 1961
  synth::DahuaDisk disk(BrandHuayi, tmp.File("d.img"), 40 << 20);
  disk.AddArea(synth::TwoMiBBlockArea(14, 0x200000 + kShift));  // data start 4 MiB + shift
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    synth::DahuaRecordingSpec r;
    r.channel = ch;
    r.blocks = ch == 1 ? std::vector<uint32_t>{0, 2, 4, 6, 8, 10, 12} : std::vector<uint32_t>{1, 3, 5, 7, 9, 11, 13};
    r.end = synth::BlockEnd::kPadded;
    r.start_time = synth::PackTime(2017, 3, 1, ch, 0, 0);
    disk.Plant(r);
  }
  disk.Finish();
  disk.WipeIndex();
  const DeviceInfo dev = synth::ImageDevice(tmp.File("d.img"));
  ScanParameters p;
  p.source = &dev;
  p.region_end = dev.size;
  for (int32_t brand : {BrandHuayi, BrandDahua}) {
    p.brand = brand;
    p.mode = ScanModeDeep;
    // The Dahua variant sees no frames of this disk and falls back.
    EXPECT_EQ(ResolveSmartValue(p), brand == BrandHuayi ? kShift : 0x160000);
  }
  p.brand = BrandHuayi;
  p.user_smart_value = 100 * 512;
  EXPECT_EQ(ResolveSmartValue(p), 51200);
}

TEST(DahuaDetector, DefaultsWhenNothingIsFound) {
  synth::TempDir tmp;
  synth::SparseImage img(tmp.File("z.img"), 16 << 20);
  const DeviceInfo dev = synth::ImageDevice(tmp.File("z.img"));
  ScanParameters p;
  p.source = &dev;
  p.region_end = dev.size;
  const std::pair<int32_t, int64_t> cases[] = {
      {BrandDahua, 0x160000}, {BrandHuayi, 0x100000}, {BrandMeidianBell, 0x120000}, {BrandZhiling, 0x160000}};
  for (auto [brand, fallback] : cases) {
    p.brand = brand;
    EXPECT_EQ(DahuaFamilyEngine(p).DetectSmartValue(), -1);
    EXPECT_EQ(ResolveSmartValue(p), fallback) << brand;
    EXPECT_EQ(DahuaVariantFor(brand).default_smart_value, fallback);
  }
  // A Huayi deep parse without detection result starts its grid there.
  p.brand = BrandHuayi;
  p.mode = ScanModeDeep;
  p.version = 1;
  p.task_path = tmp.File("t.tak");
  p.smart_value = ResolveSmartValue(p);
  p.region_start = 0;
  struct FirstPosition final : NotifySink {
    int64_t first = -1;
    void Text(NotifyCode, std::string_view) override {}
    void Found(const ScanProgress&) override {}
    void Range(int64_t) override {}
    void Totals(const ExportTotals&) override {}
    void Position(int64_t step) override {
      if (first < 0) first = step;
    }
  } sink;
  ScopedNotifySink scope(&sink);
  RunParse(p);
  EXPECT_EQ(sink.first, 0x100000 / p.buffer);
}

}  // namespace
}  // namespace orvane
