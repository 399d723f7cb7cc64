// Round trips of the whole engine on built disks, through the dispatcher.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>

#include "device/byte_order.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_test_util.h"

namespace orvane {
namespace {

using namespace dahua_test;

constexpr int32_t kBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};

class DahuaRoundTrip : public ::testing::TestWithParam<int32_t> {
 protected:
  synth::TempDir tmp_;
  synth::CapturingSink sink_;
  ScopedNotifySink scope_{&sink_};
};

TEST_P(DahuaRoundTrip, FastParseRebuildsTheLinkedRecordings) {
  const int32_t brand = GetParam();
  const auto d = BuildStandard(brand, tmp_.File("d.img"));
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeFast, 1, tmp_.File("t.tak"));
  p.region_end = 0x100000;  // the head position follows the region, Huayi aside
  ParseAndLoad(p);
  const DahuaVariant& v = DahuaVariantFor(brand);
  EXPECT_TRUE(sink_.Has(v.fast_start));
  EXPECT_TRUE(sink_.Has(v.fast_done));
  EXPECT_EQ(p.head.time_kind, TimePacked);
  // 15 blocks in use and one terminator.
  EXPECT_EQ(p.head.file_length, 49 + 16 * 33);
  EXPECT_EQ(p.head.scan_position, brand == BrandHuayi ? d.size : 0x100000);

  ASSERT_EQ(p.recordings.size(), 3u);
  const int64_t data = 0x200000 + kSmart;
  const auto& a = p.recordings[0];
  EXPECT_EQ(a.channel, 1);
  ASSERT_EQ(a.fragments.size(), 12u);
  EXPECT_EQ(a.fragments[0].offset, data);
  EXPECT_EQ(a.fragments[1].offset, data + 2 * kBlock);
  EXPECT_EQ(a.size, 12 * kBlock);
  EXPECT_EQ(synth::FramesIn(ReadFragments(dev, a), v.magic), d.a.video);
  EXPECT_EQ(p.recordings[1].channel, 2);
  EXPECT_EQ(synth::FramesIn(ReadFragments(dev, p.recordings[1]), v.magic), d.b.video);
  EXPECT_EQ(p.recordings[2].channel, 3);
  EXPECT_EQ(synth::FramesIn(ReadFragments(dev, p.recordings[2]), v.magic), d.c.video);
  EXPECT_EQ(a.start_time, LoadLE32(d.a.video.front().data() + 16));
  EXPECT_EQ(a.end_time, LoadLE32(d.a.video.back().data() + 16));
}

TEST_P(DahuaRoundTrip, DeepVersionOneChainsTheStreamOnAWipedDisk) {
  const int32_t brand = GetParam();
  const auto d = BuildStandard(brand, tmp_.File("d.img"), /*wipe=*/true);
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeDeep, 1, tmp_.File("t.tak"));
  ParseAndLoad(p);
  const DahuaVariant& v = DahuaVariantFor(brand);
  EXPECT_TRUE(sink_.Has(v.deep_done));
  EXPECT_EQ(p.head.scan_position, p.region_end);
  ASSERT_FALSE(p.recordings.empty());
  // Recording A crosses chunk ends in every way there is and comes back as
  // one chain that starts on its first frame and holds each frame once.
  const auto& a = p.recordings[0];
  EXPECT_EQ(a.channel, 1);
  EXPECT_EQ(a.fragments[0].offset, d.a.offsets.front());
  int64_t sum = 0;
  for (const auto& f : a.fragments) sum += f.length;
  EXPECT_EQ(a.size, sum);
  EXPECT_EQ(synth::FramesIn(ReadFragments(dev, a), v.magic), d.a.video);
  // B and C are small: they end up in the merged and leftover groups.
  const auto all = VideoFramesOf(dev, p.recordings, v.magic);
  for (const auto* set : {&d.b.video, &d.c.video})
    for (const auto& f : *set) ASSERT_TRUE(all.count(f));
  for (size_t i = 1; i < p.recordings.size(); ++i) EXPECT_GE(p.recordings[i].channel, 254);
}

TEST_P(DahuaRoundTrip, DeepVersionTwoFindsEveryPlantedFrame) {
  const int32_t brand = GetParam();
  const auto d = BuildStandard(brand, tmp_.File("d.img"), /*wipe=*/true);
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeDeep, 2, tmp_.File("t.tak"));
  ParseAndLoad(p);
  ASSERT_FALSE(p.recordings.empty());
  const auto all = VideoFramesOf(dev, p.recordings, DahuaVariantFor(brand).magic);
  // A frame counts only when the next one follows it, so the last frame of
  // C, which runs into unwritten space, is the one a run leaves out.
  for (const auto* set : {&d.a.video, &d.b.video})
    for (const auto& f : *set) ASSERT_TRUE(all.count(f));
  for (size_t i = 0; i + 1 < d.c.video.size(); ++i) ASSERT_TRUE(all.count(d.c.video[i]));
  EXPECT_FALSE(all.count(d.c.video.back()));
  EXPECT_EQ(p.head.scan_position, p.region_end);
}

INSTANTIATE_TEST_SUITE_P(Variants, DahuaRoundTrip, ::testing::ValuesIn(kBrands));

class DahuaEngineTest : public ::testing::Test {
 protected:
  synth::TempDir tmp_;
  synth::CapturingSink sink_;
  ScopedNotifySink scope_{&sink_};
};

TEST_F(DahuaEngineTest, VariantsDoNotReadEachOthersDisks) {
  BuildStandard(BrandHuayi, tmp_.File("huayi.img"));
  BuildStandard(BrandDahua, tmp_.File("dahua.img"));
  const DeviceInfo huayi = synth::ImageDevice(tmp_.File("huayi.img"));
  const DeviceInfo dahua = synth::ImageDevice(tmp_.File("dahua.img"));
  struct Case {
    const DeviceInfo* dev;
    int32_t brand;
  };
  // Meidian Bell shares the Dahua table position, so only its frame magic
  // (deep parse) tells the disks apart.
  for (const Case c : {Case{&huayi, BrandDahua}, Case{&dahua, BrandHuayi}, Case{&dahua, BrandMeidianBell}}) {
    for (int32_t mode : {ScanModeFast, ScanModeDeep}) {
      if (c.brand == BrandMeidianBell && mode == ScanModeFast) continue;
      for (int32_t version : {1, 2}) {
        ScanParameters p;
        SetUpParse(p, *c.dev, c.brand, mode, version, tmp_.File("t.tak"));
        ParseAndLoad(p);
        EXPECT_TRUE(p.recordings.empty()) << c.brand << " " << mode << " " << version;
      }
    }
  }
}

TEST_F(DahuaEngineTest, BadSectorsDoNotStopTheScans) {
  const auto d = BuildStandard(BrandDahua, tmp_.File("d.img"), true);
  // A bad stretch in the middle of recording A.
  const int64_t bad_at = d.a.offsets[d.a.offsets.size() / 2];
  const DeviceInfo dev = synth::FaultyImageDevice(tmp_.File("d.img"), {ByteRange::FromLength(bad_at, 4096)});
  const DeviceInfo clean = synth::ImageDevice(tmp_.File("d.img"));
  for (int version : {1, 2}) {
    synth::CapturingSink sink;
    ScopedNotifySink scope(&sink);
    ScanParameters p;
    SetUpParse(p, dev, BrandDahua, ScanModeDeep, version, tmp_.File("t.tak"));
    ParseAndLoad(p);
    EXPECT_TRUE(sink.Has(kMsgReadFailed)) << version;
    EXPECT_TRUE(sink.Has(DahuaVariantFor(BrandDahua).deep_done));
    const auto all = VideoFramesOf(clean, p.recordings, DahuaVariantFor(BrandDahua).magic);
    for (const auto& f : d.b.video) ASSERT_TRUE(all.count(f)) << version;
    EXPECT_TRUE(all.count(d.c.video.front())) << version;
    // The frames of A well before the bad stretch are found too.
    EXPECT_TRUE(all.count(d.a.video[10])) << version;
  }
}

TEST_F(DahuaEngineTest, ForeignAreaHeaderIsReportedAndSkipped) {
  synth::DahuaDisk disk(BrandMeidianBell, tmp_.File("d.img"), 8 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.data_offset = 0x100000;
  disk.AddArea(area);
  disk.Finish();
  disk.image().Wipe(area.base + 512 + 0x148, 4);  // the header loses its marker
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, BrandMeidianBell, ScanModeFast, 2, tmp_.File("t.tak"));
  ParseAndLoad(p);
  EXPECT_TRUE(sink_.Has("此设备可能不是美电贝尔监控系统"));
  EXPECT_TRUE(sink_.Has("快速解析美电贝尔监控录像任务完成"));
  EXPECT_EQ(p.head.file_length, 49);
}

TEST_F(DahuaEngineTest, FallbackHeaderWithoutTable) {
  // Zhiling: no table; the only header sits at 0x4400 with base 0.
  synth::DahuaDisk disk(BrandZhiling, tmp_.File("d.img"), 8 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0;
  area.header_offset = 0x4400;
  area.index_offset = 0x8000;
  area.data_offset = 0x200000;
  disk.SetTable(false);
  disk.AddArea(area);
  synth::DahuaRecordingSpec r;
  r.blocks = {0};
  r.frames = 50;
  r.end = synth::BlockEnd::kOpen;
  r.start_time = synth::PackTime(2015, 1, 1, 0, 0, 0);
  disk.Plant(r);
  disk.Finish();
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, BrandZhiling, ScanModeFast, 1, tmp_.File("t.tak"));
  ParseAndLoad(p);
  ASSERT_EQ(p.recordings.size(), 1u);
  EXPECT_EQ(p.recordings[0].fragments[0].offset, 0x200000);
}

TEST_F(DahuaEngineTest, OversizedBufferIsErrorEight) {
  BuildStandard(BrandDahua, tmp_.File("d.img"));
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, BrandDahua, ScanModeDeep, 1, tmp_.File("t.tak"));
  p.buffer = 0x7FFFFF00;
  ParseAndLoad(p);
  EXPECT_TRUE(sink_.Has("错误编码：008"));
  EXPECT_TRUE(sink_.Has(DahuaVariantFor(BrandDahua).deep_done));
  EXPECT_EQ(std::filesystem::file_size(tmp_.File("t.tak")), 49u);
}

TEST_F(DahuaEngineTest, StoppedDeepScanKeepsItsPositionAndContinues) {
  const auto d = BuildStandard(BrandDahua, tmp_.File("d.img"), true);
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  // A sink that presses stop once the scan has passed the middle of A.
  struct StopSink final : NotifySink {
    ScanParameters* p = nullptr;
    int64_t at = 0;
    void Text(NotifyCode, std::string_view) override {}
    void Found(const ScanProgress&) override {}
    void Range(int64_t) override {}
    void Totals(const ExportTotals&) override {}
    void Position(int64_t step) override {
      if (p && step * kChunk >= at) p->stop.store(1);
    }
  } stop;
  ScopedNotifySink scope(&stop);
  ScanParameters p;
  SetUpParse(p, dev, BrandDahua, ScanModeDeep, 1, tmp_.File("t.tak"));
  stop.p = &p;
  stop.at = d.a.offsets[d.a.offsets.size() / 2];
  RunParse(p);
  const int64_t reached = p.head.scan_position;
  EXPECT_GT(reached, 0);
  EXPECT_LT(reached, p.region_end);
  EXPECT_EQ((reached - kSmart) % kChunk, 0);
  // Continue from the head, as the continue-scan button does.
  stop.p = nullptr;
  ASSERT_TRUE(ReadTaskHead(p, true));
  ApplyTaskHead(p);
  p.continue_flag = 1;
  p.stop.store(0);
  RunParse(p);
  EXPECT_EQ(p.head.scan_position, p.region_end);
  LoadTaskPage(p, 0);
  const auto all = VideoFramesOf(dev, p.recordings, DahuaVariantFor(BrandDahua).magic);
  for (const auto* set : {&d.a.video, &d.b.video, &d.c.video})
    for (const auto& f : *set) ASSERT_TRUE(all.count(f));
}

// Task files that did not come from this program: cut, corrupted, or with
// counts and lengths no writer produces. Each loads what it can.
TEST_F(DahuaEngineTest, ForeignTaskFilesLoadWithoutOverRead) {
  BuildStandard(BrandDahua, tmp_.File("d.img"));
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  std::mt19937 rng(7);
  for (int mode_version : {11, 21, 22}) {
    ScanParameters p;
    SetUpParse(p, dev, BrandDahua, mode_version / 10, mode_version % 10, tmp_.File("t.tak"));
    if (mode_version == 11) p.region_end = dev.size;
    RunParse(p);
    std::ifstream in(tmp_.File("t.tak"), std::ios::binary);
    Bytes good((std::istreambuf_iterator<char>(in)), {});
    ASSERT_GT(good.size(), 49u);
    for (int round = 0; round < 40; ++round) {
      Bytes bad = good;
      if (round % 4 == 0) bad.resize(49 + rng() % (bad.size() - 49));  // cut
      for (int k = 0; k < 20; ++k) bad[49 + rng() % (bad.size() - 49)] = static_cast<uint8_t>(rng());
      if (round % 4 == 1) StoreLE64(bad.data(), 1ull << 40);  // a head claiming far more
      if (round % 4 == 2 && mode_version == 21 && bad.size() > 49 + 32) {
        bad[49 + 26] = 255;  // head and tail counts above 20 and 19
        bad[49 + 31] = 200;
        StoreLE32(&bad[49 + 8], 0xFFFFFFFF);
        StoreLE32(&bad[49 + 22], 0xFFFFFFF0);
      }
      std::ofstream(tmp_.File("bad.tak"), std::ios::binary)
          .write(reinterpret_cast<const char*>(bad.data()), static_cast<std::streamsize>(bad.size()));
      p.task_path = tmp_.File("bad.tak");
      LoadTaskPage(p, 0);
      for (const auto& r : p.recordings) EXPECT_LE(r.fragments.size(), bad.size());
    }
  }
}

TEST_F(DahuaEngineTest, MissingSourceAndTaskFile) {
  ScanParameters p;
  DeviceInfo none;
  none.kind = kDeviceKindImage;
  none.name = tmp_.File("absent.img");
  SetUpParse(p, none, BrandDahua, ScanModeFast, 1, tmp_.File("t.tak"));
  RunParse(p);
  EXPECT_TRUE(sink_.Has(kMsgOpenSourceFailed));
  EXPECT_FALSE(sink_.Has(DahuaVariantFor(BrandDahua).fast_done));
  p.task_path = tmp_.File("absent.tak");
  LoadTaskPage(p, 0);
  EXPECT_TRUE(sink_.Has(kMsgOpenTaskFailed));
}

}  // namespace
}  // namespace orvane
