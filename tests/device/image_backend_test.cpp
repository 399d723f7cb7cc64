// Images in pieces read as the one disk they hold: split raw images and
// Expert Witness segment sets, including their damage.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "device/device_list.h"
#include "device/source_device.h"
#include "device/split_backend.h"
#include "scan/salvage_read.h"
#include "synth/image_formats.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

// A disk of distinct bytes, a whole number of sectors as an imager keeps it.
constexpr int64_t kDiskBytes = (3 << 20) + 7 * 512;

std::vector<uint8_t> WriteDisk(const std::string& path) {
  std::vector<uint8_t> bytes(kDiskBytes);
  uint32_t x = 12345;
  for (auto& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<uint8_t>(x >> 16);
  }
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), kDiskBytes);
  return bytes;
}

// Opens `path` as the open-image command does; the texts it posted go to `sink`.
bool AddAsImage(const std::string& path, DeviceInfo& out, synth::CapturingSink& sink) {
  ScopedNotifySink scoped(&sink);
  DeviceList list;
  if (!AddImage(list, path, ImageSecondText(path))) return false;
  out = list.front();
  return true;
}

// Reads that begin and end anywhere, across piece and chunk boundaries, and
// reads at and beyond the end, agree with the same reads of the whole image.
void ExpectReadsAsTheWhole(const DeviceInfo& pieces, const std::vector<uint8_t>& whole) {
  SourceDevice dev;
  dev.Open(pieces);
  ASSERT_TRUE(dev.is_open());
  EXPECT_EQ(dev.Size(), kDiskBytes);
  std::vector<uint8_t> got(1 << 20);
  for (int64_t at = 0; at < kDiskBytes; at += 1 << 20) {
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(1 << 20, kDiskBytes - at));
    dev.Read(at, got.data(), n);
    ASSERT_TRUE(dev.ok()) << at;
    ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, whole.begin() + at)) << at;
  }
  const std::pair<int64_t, int32_t> odd[] = {{999'999, 5},
                                             {1'000'000, 777'777},
                                             {32'767, 65'538},
                                             {kDiskBytes - 100, 100},
                                             {kDiskBytes - 512, 4096}};
  for (const auto& [at, n] : odd) {
    std::fill(got.begin(), got.end(), 0);
    dev.Read(at, got.data(), n);
    ASSERT_TRUE(dev.ok()) << at;
    const int64_t real = std::min<int64_t>(n, kDiskBytes - at);
    EXPECT_TRUE(std::equal(got.begin(), got.begin() + real, whole.begin() + at)) << at;
  }
  dev.Read(kDiskBytes, got.data(), 512);
  EXPECT_FALSE(dev.ok());
}

TEST(SplitImage, PiecesAreNamedAndCountedAsSplitWritesThem) {
  EXPECT_TRUE(IsFirstSplitSegment("/x/disk.img.001"));
  EXPECT_TRUE(IsFirstSplitSegment("/x/disk.000"));
  EXPECT_TRUE(IsFirstSplitSegment("disk.aa"));
  EXPECT_FALSE(IsFirstSplitSegment("/x/disk.002"));
  EXPECT_FALSE(IsFirstSplitSegment("/x/disk.ab"));
  EXPECT_FALSE(IsFirstSplitSegment("/x/disk.img"));
  EXPECT_FALSE(IsFirstSplitSegment("/x.001/disk"));
  EXPECT_EQ(NextSplitSegment("/x/d.009"), "/x/d.010");
  EXPECT_EQ(NextSplitSegment("/x/d.099"), "/x/d.100");
  EXPECT_EQ(NextSplitSegment("/x/d.az"), "/x/d.ba");
  EXPECT_EQ(NextSplitSegment("/x/d.zz"), "");
  EXPECT_EQ(NextSplitSegment("/x/d.999"), "");
}

TEST(SplitImage, ReadsAsTheWholeImageAndNamesAMissingPiece) {
  synth::TempDir dir;
  const auto whole = WriteDisk(dir.File("disk.img"));
  for (const bool numbered : {true, false}) {
    SCOPED_TRACE(numbered);
    const std::string prefix = dir.File(numbered ? "num" : "alpha");
    const std::string first = synth::SplitRawImage(dir.File("disk.img"), prefix,
                                                   numbered ? 1'000'001 : 777'777, numbered);
    ASSERT_FALSE(first.empty());
    synth::CapturingSink sink;
    DeviceInfo d;
    ASSERT_TRUE(AddAsImage(first, d, sink));
    EXPECT_EQ(d.size, kDiskBytes);
    ExpectReadsAsTheWhole(d, whole);
  }

  std::filesystem::remove(dir.File("num.003"));
  synth::CapturingSink sink;
  DeviceInfo d;
  EXPECT_FALSE(AddAsImage(dir.File("num.001"), d, sink));
  EXPECT_TRUE(sink.Has(kMsgOpenImageFailed));
  const auto errors = sink.texts(NotifyCode::Error);
  EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& t) {
    return t.find(dir.File("num.003")) != std::string::npos;
  }));
}

// What the page cache holds is told for the piece being read, and only for
// stretches inside it: a scan then skips asking the kernel to fetch them.
TEST(SplitImage, TellsWhatThePageCacheHoldsOfThePieceBeingRead) {
  synth::TempDir dir;
  WriteDisk(dir.File("disk.img"));
  const std::string first =
      synth::SplitRawImage(dir.File("disk.img"), dir.File("p"), 1'000'000, true);
  ASSERT_FALSE(first.empty());
  // Just written: the pieces are in the page cache, if the kernel can say so.
  auto plain = FileBackend::Open(first);
  ASSERT_TRUE(plain);
  if (!plain->Resident(0, 4096)) GTEST_SKIP() << "the kernel does not tell what it caches";
  std::string problem;
  auto split = SplitBackend::Open(SplitSegmentPaths(first, &problem), &problem);
  ASSERT_TRUE(split) << problem;
  EXPECT_FALSE(split->Resident(0, 4096));  // no piece read yet
  std::vector<uint8_t> buf(4096);
  ASSERT_EQ(split->ReadAt(1'000'000 + 8192, buf.data(), buf.size()), 4096);
  EXPECT_TRUE(split->Resident(1'000'000, 100'000));
  EXPECT_FALSE(split->Resident(1'000'000 - 512, 4096));  // reaches into the first piece
  EXPECT_FALSE(split->Resident(1'990'000, 20'000));      // reaches into the third
  EXPECT_FALSE(split->Resident(1'000'000, 0));
}

class EwfImage : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!synth::HaveEwfacquire()) GTEST_SKIP() << "ewfacquire is not installed";
    whole_ = WriteDisk(dir_.File("disk.img"));
  }
  synth::TempDir dir_;
  std::vector<uint8_t> whole_;
};

TEST_F(EwfImage, ReadsAsTheRawImageFromAnyOfItsSegments) {
  for (const bool compress : {true, false}) {
    SCOPED_TRACE(compress);
    const std::string base = dir_.File(compress ? "packed" : "plain");
    const std::string e01 = synth::WriteEwfImage(dir_.File("disk.img"), base, compress);
    ASSERT_FALSE(e01.empty());
    ASSERT_TRUE(std::filesystem::exists(base + ".E03"));
    for (const std::string& given : {e01, base + ".E03"}) {
      synth::CapturingSink sink;
      DeviceInfo d;
      ASSERT_TRUE(AddAsImage(given, d, sink));
      EXPECT_EQ(d.size, kDiskBytes);
      ExpectReadsAsTheWhole(d, whole_);
    }
  }
}

TEST_F(EwfImage, ADamagedChunkFailsToReadAndCostsOnlyItsOwnBytes) {
  constexpr int32_t kChunk = 32768;  // ewfacquire's default: 64 sectors
  for (const bool compress : {true, false}) {
    SCOPED_TRACE(compress);
    const std::string base = dir_.File(compress ? "packed" : "plain");
    ASSERT_FALSE(synth::WriteEwfImage(dir_.File("disk.img"), base, compress).empty());
    {
      std::fstream seg(base + ".E02", std::ios::in | std::ios::out | std::ios::binary);
      seg.seekp(500'000);
      seg.write("\x55\xAA\x55\xAA\x55\xAA\x55\xAA", 8);
    }
    const DeviceInfo d = synth::ImageDevice(base + ".E01");
    SourceDevice dev;
    dev.Open(d);
    ASSERT_TRUE(dev.is_open());
    std::vector<uint8_t> got(1 << 20);
    int64_t bad = -1;
    for (int64_t at = 0; at < kDiskBytes; at += kChunk) {
      const int32_t n = static_cast<int32_t>(std::min<int64_t>(kChunk, kDiskBytes - at));
      dev.Read(at, got.data(), n);
      if (!dev.ok()) {
        EXPECT_EQ(bad, -1) << "a second damaged chunk at " << at;
        bad = at;
        continue;
      }
      ASSERT_TRUE(std::equal(got.begin(), got.begin() + n, whole_.begin() + at)) << at;
    }
    ASSERT_GE(bad, 0);

    // A scan's block around it keeps every other byte.
    const int64_t block = bad / (1 << 20) * (1 << 20);
    const int32_t n = static_cast<int32_t>(std::min<int64_t>(1 << 20, kDiskBytes - block));
    EXPECT_FALSE(ReadSalvaging(dev, block, got.data(), n));
    for (int64_t i = 0; i < n; ++i) {
      const bool in_bad = block + i >= bad && block + i < bad + kChunk;
      ASSERT_EQ(got[i], in_bad ? 0 : whole_[block + i]) << block + i;
    }
  }
}

TEST_F(EwfImage, ASetWithASegmentMissingIsRefusedNamingWhereItBreaks) {
  const std::string base = dir_.File("plain");
  ASSERT_FALSE(synth::WriteEwfImage(dir_.File("disk.img"), base, false).empty());
  std::filesystem::remove(base + ".E03");
  synth::CapturingSink sink;
  DeviceInfo d;
  EXPECT_FALSE(AddAsImage(base + ".E01", d, sink));
  EXPECT_TRUE(sink.Has(kMsgOpenImageFailed));
  const auto errors = sink.texts(NotifyCode::Error);
  EXPECT_TRUE(std::any_of(errors.begin(), errors.end(), [&](const std::string& t) {
    return t.find(base + ".E02") != std::string::npos;
  }));
}

}  // namespace
}  // namespace orvane
