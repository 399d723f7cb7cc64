#include "scan/identify.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>

#include "device/byte_order.h"
#include "synth/boli_disk.h"
#include "synth/identify_disks.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using synth::Bytes;

constexpr int64_t kMiB = 1 << 20;

struct Fixture {
  synth::TempDir dir;
  synth::CapturingSink sink;
  ScopedNotifySink scoped{&sink};
};

TEST(IdentifyDisk, EachBrandsDiskIsRecognisedByItsFirstSectors) {
  Fixture fx;
  const char* const tree[] = {"unKnown", "海康", "大华", "WFS", "波粒",
                              "华亿", "美电贝尔", "中维监控", "智灵监控"};
  for (int32_t brand = 1; brand <= 8; ++brand) {
    const std::string path = fx.dir.File("disk" + std::to_string(brand) + ".img");
    {
      synth::SparseImage img(path, 64 * kMiB);
      synth::WriteDiskSignature(img, brand);
    }
    const int32_t got = IdentifyDiskBrand(synth::ImageDevice(path));
    EXPECT_EQ(got, brand);
    EXPECT_EQ(DiskBrandText(got), tree[brand]);
  }
  const std::string blank = fx.dir.File("blank.img");
  { synth::SparseImage img(blank, 64 * kMiB); }
  EXPECT_EQ(IdentifyDiskBrand(synth::ImageDevice(blank)), 0);
  EXPECT_EQ(DiskBrandText(0), "unKnown");
  EXPECT_TRUE(fx.sink.texts(NotifyCode::Error).empty());
}

TEST(IdentifyDisk, TheOrderOfTheTestsDecidesTheTraps) {
  Fixture fx;
  const std::string path = fx.dir.File("trap.img");
  {
    synth::SparseImage img(path, 8 * kMiB);
    synth::WriteHuayiOverHikvision(img);
  }
  EXPECT_EQ(IdentifyDiskBrand(synth::ImageDevice(path)), BrandHuayi);
  {
    // "ZHILING1" reads "LING" at bytes 3..6: without an area header it is
    // taken for Meidian Bell.
    synth::SparseImage img(path, 8 * kMiB);
    synth::WriteZhilingWithoutAreaHeader(img);
  }
  EXPECT_EQ(IdentifyDiskBrand(synth::ImageDevice(path)), BrandMeidianBell);

  // Boli needs the first bound to be a multiple of 512 as well.
  Bytes head(kDiskHeadBytes, 0);
  const Bytes boli = synth::BoliHeaderSector();
  std::copy(boli.begin(), boli.end(), head.begin());
  EXPECT_EQ(DiskHeadBrand(head), BrandBoli);
  StoreLE64(&head[0x20], 0x2001);
  EXPECT_EQ(DiskHeadBrand(head), BrandNone);
  // A Hikvision signature whose checks fail is not Hikvision.
  Bytes hik = synth::HikvisionHeaderSector();
  StoreLE64(&hik[136], 0x100);
  std::fill(head.begin(), head.end(), 0);
  std::copy(hik.begin(), hik.end(), head.begin() + 512);
  EXPECT_EQ(DiskHeadBrand(head), BrandNone);
  // A head shorter than the structures it is tested for.
  EXPECT_EQ(DiskHeadBrand(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>("jvbk"), 4)),
            BrandJovision);
}

TEST(IdentifyDisk, UnreadableDevicesGiveMinusOneAndBadSectorsElsewhereDoNot) {
  Fixture fx;
  EXPECT_EQ(IdentifyDiskBrand(synth::ImageDevice(fx.dir.File("missing.img"))), kBrandUnreadable);
  EXPECT_TRUE(fx.sink.Has(kMsgOpenSourceFailed));
  EXPECT_EQ(DiskBrandText(kBrandUnreadable), "unKnown");

  const std::string path = fx.dir.File("wfs.img");
  {
    synth::SparseImage img(path, 8 * kMiB);
    synth::WriteDiskSignature(img, BrandWfs);
  }
  EXPECT_EQ(IdentifyDiskBrand(synth::FaultyImageDevice(path, {{kMiB, kMiB + 512}})), BrandWfs);
  EXPECT_TRUE(fx.sink.Has(kMsgReadFailed));
  // A read that comes back short in front of a bad sector is not the whole
  // head: the superblock behind it is still found.
  EXPECT_EQ(IdentifyDiskBrand(synth::LinuxBadSectorImageDevice(path, {{1, 1}})), BrandWfs);
  EXPECT_EQ(IdentifyDiskBrand(synth::FaultyImageDevice(path, {{0, 4 * kMiB}})), kBrandUnreadable);
  // A device smaller than the 2 MiB read.
  const std::string tiny = fx.dir.File("tiny.img");
  {
    synth::SparseImage img(tiny, 64 * 1024);
    synth::WriteDiskSignature(img, BrandWfs);
  }
  EXPECT_EQ(IdentifyDiskBrand(synth::ImageDevice(tiny)), BrandWfs);
}

Bytes Noise(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<uint8_t>(rng());
  return b;
}

void Plant(Bytes& sample, size_t at, const Bytes& what) {
  std::copy(what.begin(), what.end(), sample.begin() + static_cast<long>(at));
}

TEST(IdentifyStream, EverySignatureAndTheEarliestWins) {
  for (int32_t brand = 1; brand <= 8; ++brand) {
    Bytes s(kSampleSize, 0);
    Plant(s, 4096 + brand, synth::StreamSignature(brand));
    const int32_t want = brand == BrandZhiling ? BrandMeidianBell : brand;
    EXPECT_EQ(IdentifyStreamBrand(s), want) << brand;
  }
  EXPECT_EQ(StreamBrandText(BrandMeidianBell), "美电贝尔");
  EXPECT_EQ(StreamBrandText(0), "未知监控");
  EXPECT_EQ(StreamBrandText(BrandBoli), "波粒监控");

  Bytes s(kSampleSize, 0);
  Plant(s, 900000, synth::StreamSignature(BrandDahua));
  Plant(s, 1000, synth::StreamSignature(BrandHikvision));
  EXPECT_EQ(IdentifyStreamBrand(s), BrandHikvision);
  Plant(s, 999, synth::StreamSignature(BrandJovision));
  EXPECT_EQ(IdentifyStreamBrand(s), BrandJovision);

  // The Dahua frame kind must be 0xFC or 0xFD.
  Bytes d = synth::StreamSignature(BrandDahua);
  StoreLE16(&d[4], 0xFE);
  Bytes t(kSampleSize, 0);
  Plant(t, 10, d);
  EXPECT_EQ(IdentifyStreamBrand(t), 0);
  StoreLE16(&d[4], 0xFC);
  Plant(t, 10, d);
  EXPECT_EQ(IdentifyStreamBrand(t), BrandDahua);
}

TEST(IdentifyStream, SignaturesNearTheEndAndBoliSuccessors) {
  // The last position tested is 0xFFDFF.
  Bytes s(kSampleSize, 0);
  Plant(s, 0xFFDFF, synth::StreamSignature(BrandDahua));
  EXPECT_EQ(IdentifyStreamBrand(s), BrandDahua);
  s.assign(kSampleSize, 0);
  Plant(s, 0xFFE00, synth::StreamSignature(BrandDahua));
  EXPECT_EQ(IdentifyStreamBrand(s), 0);

  // A Boli frame counts only with a successor start code inside the sample.
  const uint32_t time = synth::ReversedTime(2016, 1, 1, 0, 0, 0);
  Bytes lone = synth::BoliFrame(1, time, synth::TestFrames()[3]);
  s.assign(kSampleSize, 0x11);
  Plant(s, 100, lone);
  EXPECT_EQ(IdentifyStreamBrand(s), 0);
  s[100 + lone.size() + 16] = 0;
  s[100 + lone.size() + 17] = 0;
  s[100 + lone.size() + 18] = 0;
  s[100 + lone.size() + 19] = 1;
  EXPECT_EQ(IdentifyStreamBrand(s), BrandBoli);
  // A length that would point past the sample is refused, not followed.
  s.assign(kSampleSize, 0x11);
  Bytes huge = lone;
  StoreLE32(&huge[4], 0xFFFFFFF0u);
  Plant(s, 0xFF000, huge);
  EXPECT_EQ(IdentifyStreamBrand(s), 0);
  EXPECT_EQ(IdentifyStreamBrand(std::span<const uint8_t>(s.data(), 100)), 0);
}

TEST(IdentifyStream, NoiseTakesOnlyMilliseconds) {
  const Bytes noise = Noise(kSampleSize, 7);
  IdentifyStreamBrand(noise);
  const auto t0 = std::chrono::steady_clock::now();
  int32_t brand = 0;
  for (int k = 0; k < 5; ++k) brand |= IdentifyStreamBrand(noise);
  const double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count() / 5;
  EXPECT_EQ(brand, 0);
  EXPECT_LT(ms, 25.0);  // a few on an idle machine; generous for a shared one
}

TEST(IdentifyStream, SamplingTakesFourWindowsAFifthOfTheDeviceApart) {
  Fixture fx;
  const int64_t size = 2048 * kMiB;
  const int64_t step = size / 5;
  const std::string path = fx.dir.File("sample.img");
  {
    synth::SparseImage img(path, size);
    // Before the first window, in the gap behind it, and in window 2.
    img.Write(0x100000, synth::StreamSignature(BrandHikvision));
    img.Write(kSampleStart + kSampleSize + 4096, synth::StreamSignature(BrandWfs));
    img.Write(kSampleStart + 2 * step + 77777, synth::StreamSignature(BrandJovision));
  }
  std::vector<int> progress;
  EXPECT_EQ(SampleStreamBrand(synth::ImageDevice(path), [&](int i) { progress.push_back(i); }),
            BrandJovision);
  EXPECT_EQ(progress, (std::vector<int>{0, 1}));

  // A device smaller than the first window's offset shows nothing.
  const std::string small = fx.dir.File("small.img");
  {
    synth::SparseImage img(small, kSampleStart - 1);
    img.Write(kSampleStart - 4096, synth::StreamSignature(BrandDahua));
    img.Write(0, synth::StreamSignature(BrandDahua));
  }
  EXPECT_EQ(StreamBrandText(SampleStreamBrand(synth::ImageDevice(small))), "未知监控");
  EXPECT_EQ(SampleStreamBrand(synth::ImageDevice(fx.dir.File("missing.img"))), 0);

  // The dialog's loop: status per row, stop honoured between devices.
  const DeviceInfo a = synth::ImageDevice(path), b = synth::ImageDevice(small);
  const DeviceInfo* rows[] = {&a, &b, &a};
  std::vector<std::pair<size_t, std::string>> statuses;
  std::atomic<int32_t> stop{0};
  AutoIdentifyCallbacks cb;
  cb.status = [&](size_t row, std::string_view text) {
    statuses.emplace_back(row, std::string(text));
  };
  cb.done = [&](size_t row, int32_t) {
    if (row == 1) stop.store(1);
  };
  RunAutoIdentify(rows, cb, &stop);
  const std::vector<std::pair<size_t, std::string>> want = {
      {0, "正在解析..."}, {0, "中维监控"}, {1, "正在解析..."}, {1, "未知监控"}};
  EXPECT_EQ(statuses, want);
}

}  // namespace
}  // namespace orvane
