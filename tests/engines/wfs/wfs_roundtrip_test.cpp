// Fast and deep parses of built WFS disks, loaded back into recordings.

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "engines/wfs/wfs_engine.h"
#include "engines/wfs/wfs_segments.h"
#include "engines/wfs/wfs_test_util.h"
#include "scan/task_head.h"

namespace orvane {
namespace {

using synth::PackTime;
using synth::WfsDisk;
using wfs_test::WfsRun;

constexpr uint32_t kDay = 0;

uint32_t At(int hour, int minute) { return PackTime(2016, 5, 17, hour, minute, 0) + kDay; }

// Three recordings of three 4 MiB segments each, interleaved on the disk and
// hours apart, with free segments between them.
struct ThreeRecordings {
  synth::TempDir dir;
  WfsDisk disk{dir.File("wfs.img")};
  ThreeRecordings() {
    disk.Plant(1, At(10, 0), {1, 4, 7});
    disk.Plant(2, At(12, 0), {2, 5, 9});
    disk.Plant(3, At(14, 0), {3, 6, 11});
  }
};

TEST(WfsFastParse, FindsEveryRecordingWithChannelTimesAndSegments) {
  ThreeRecordings t;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  wfs_test::SetUp(run, synth::ImageDevice(t.disk.path()), t.dir.File("fast.tak"), ScanModeFast);
  wfs_test::ParseAndLoad(run.params);

  EXPECT_TRUE(sink.Has("正在快速解析WFS监控录像..."));
  EXPECT_TRUE(sink.Has("快速解析WFS监控录像任务完成"));
  ASSERT_EQ(run.params.recordings.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    const auto& want = t.disk.planted()[k];
    const auto& got = run.params.recordings[k];
    EXPECT_EQ(got.channel, want.channel);
    EXPECT_EQ(got.start_time, want.start_time);
    EXPECT_EQ(got.end_time, want.end_time);
    EXPECT_EQ(got.size, 3 * int64_t{t.disk.segment_size()});
    EXPECT_EQ(std::vector<FragmentExtent>(got.fragments.begin(), got.fragments.end()),
              want.extents);
  }
  // Nine records and the terminator behind the head.
  EXPECT_EQ(std::filesystem::file_size(t.dir.File("fast.tak")), 49u + 10 * 33);
  EXPECT_EQ(run.params.head.time_kind, TimePacked);
  EXPECT_EQ(TaskPageCount(run.params), 1);
}

TEST(WfsFastParse, RefusesADiskWithoutSuperblock) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("blank.img"), 8 << 20);
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  wfs_test::SetUp(run, synth::ImageDevice(img.path()), dir.File("t.tak"), ScanModeFast);
  wfs_test::ParseAndLoad(run.params);
  EXPECT_TRUE(sink.Has("此设备不是WFS监控系统"));
  EXPECT_TRUE(run.params.recordings.empty());
}

// The blocks a deep parse should chain for a planted recording: every 2 MiB
// of its segments, in playing order.
std::vector<FragmentExtent> Blocks(const synth::WfsPlanted& p) {
  std::vector<FragmentExtent> out;
  for (const auto& e : p.extents)
    for (int64_t at = e.offset; at < e.offset + e.length; at += 0x200000)
      out.push_back({at, 0x200000});
  return out;
}

class WfsDeepRoundTrip : public ::testing::TestWithParam<int32_t> {};

TEST_P(WfsDeepRoundTrip, LoadsWhatTheScanFoundAfterTheIndexIsGone) {
  ThreeRecordings t;
  t.disk.WipeIndex();
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  WfsRun run;
  wfs_test::SetUp(run, synth::ImageDevice(t.disk.path()), t.dir.File("deep.tak"), ScanModeDeep,
                  GetParam());
  run.params.smart_value = t.disk.geometry().smart_value;
  wfs_test::ParseAndLoad(run.params);
  EXPECT_TRUE(sink.Has("深度解析WFS监控录像任务完成"));
  EXPECT_EQ(run.params.head.scan_position, run.params.region_end);
  EXPECT_EQ(sink.last_found().found_count, 18);
  const auto& recs = run.params.recordings;

  if (GetParam() == 1) {
    // Chains by times and cut frames: each recording comes back whole.
    ASSERT_EQ(recs.size(), 3u);
    for (size_t k = 0; k < 3; ++k) {
      const auto& want = t.disk.planted()[k];
      EXPECT_EQ(recs[k].channel, 0);
      EXPECT_EQ(recs[k].start_time, want.start_time);
      EXPECT_LE(recs[k].end_time, want.end_time);
      EXPECT_GE(recs[k].end_time, synth::AddSeconds(want.end_time, -3));
      EXPECT_EQ(std::vector<FragmentExtent>(recs[k].fragments.begin(), recs[k].fragments.end()),
                Blocks(want));
      EXPECT_EQ(synth::ReadExtents(t.disk.path(), recs[k].fragments),
                synth::ReadExtents(t.disk.path(), want.extents));
    }
    EXPECT_EQ(TaskPageCount(run.params), 1);
  } else {
    // Groups by time: all blocks in time order in one group below 1 GiB.
    ASSERT_EQ(recs.size(), 1u);
    std::vector<FragmentExtent> all;
    for (const auto& p : t.disk.planted())
      for (const auto& b : Blocks(p)) all.push_back(b);
    EXPECT_EQ(std::vector<FragmentExtent>(recs[0].fragments.begin(), recs[0].fragments.end()), all);
    EXPECT_EQ(recs[0].start_time, t.disk.planted()[0].start_time);
    EXPECT_EQ(TaskPageCount(run.params), 1);
    EXPECT_EQ(std::filesystem::file_size(t.dir.File("deep.tak")), 49u + 18 * 22);
  }
}

INSTANTIATE_TEST_SUITE_P(BothVersions, WfsDeepRoundTrip, ::testing::Values(1, 2));

TEST(WfsSmartValue, DetectorFindsThePlantedShift) {
  ThreeRecordings t;
  WfsRun run;
  wfs_test::SetUp(run, synth::ImageDevice(t.disk.path()), t.dir.File("x.tak"), ScanModeDeep);
  EXPECT_EQ(WfsEngine(run.params).DetectSmartValue(), t.disk.geometry().smart_value);
  EXPECT_EQ(ResolveSmartValue(run.params), t.disk.geometry().smart_value);
}

}  // namespace
}  // namespace orvane
