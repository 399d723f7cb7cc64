// Deep parse: the pack scan, its cuts, its windows, stop and continue.

#include <gtest/gtest.h>

#include <random>
#include <set>

#include "engines/hikvision/hikvision_pack.h"
#include "engines/hikvision/hikvision_test_util.h"
#include "scan/task_head.h"

namespace orvane::test {
namespace {

using synth::HikPlanted;
using synth::HikRecordingSpec;
using synth::HikvisionDisk;
using synth::HikvisionDiskOptions;
using synth::PackedTimeFromUnix;
using synth::UnixTime;

constexpr int64_t kMiB = 1 << 20;

HikRecordingSpec Spec(int64_t start, int frames) {
  HikRecordingSpec s;
  s.start_unix = start;
  s.frames = frames;
  return s;
}

// A disk whose index is gone: only the deep parse finds anything.
HikvisionDiskOptions SmallDisk(int64_t size) {
  HikvisionDiskOptions o;
  o.size = size;
  o.blocks = 1;
  return o;
}

TEST(HikvisionPackScan, FindsEveryPackOnceWhereverItStarts) {
  const size_t positions = 1 << 16;
  std::vector<uint8_t> buf(positions + 512);
  std::mt19937 rng(7);
  for (auto& b : buf) b = static_cast<uint8_t>(rng());
  const synth::Bytes pack = synth::MakeHikvisionPack(0x12345678, {}, 0);
  // Apart enough not to overlap, and in every lane of a 16-byte compare.
  std::vector<size_t> at;
  for (size_t k = 0; k < 17; ++k) at.push_back(k * 61);
  for (size_t back : {100, 60, 1}) at.push_back(positions - back);
  for (size_t a : at) std::copy(pack.begin(), pack.begin() + 44, buf.begin() + static_cast<long>(a));
  // Near misses: the start code without the map, the map without "HK".
  std::copy(pack.begin(), pack.begin() + 4, buf.begin() + 5000);
  std::copy(pack.begin(), pack.begin() + 30, buf.begin() + 7000);
  std::vector<size_t> found;
  hikvision::ForEachPack(buf.data(), positions, [&](size_t i) { found.push_back(i); });
  std::vector<size_t> naive;
  for (size_t i = 0; i < positions; ++i)
    if (hikvision::IsPackAt(buf.data() + i)) naive.push_back(i);
  EXPECT_EQ(found, naive);
  for (size_t a : at) EXPECT_TRUE(std::count(found.begin(), found.end(), a) == 1) << a;
  // Every instruction set this processor has finds the same packs.
  for (SearchIsa isa : {SearchIsa::kPlain, SearchIsa::kAvx2, SearchIsa::kAvx512}) {
    if (!HostRuns(isa)) continue;
    std::vector<uint32_t> starts;
    hikvision::FindPackStartsUsing(isa, buf.data(), positions, starts);
    EXPECT_EQ(std::vector<size_t>(starts.begin(), starts.end()), naive) << static_cast<int>(isa);
  }
  EXPECT_EQ(hikvision::PackTime(buf.data() + at[3]), 0x12345678u);
}

TEST(HikvisionSegments, CutsOnTimeJumpsAndAtOneGiB) {
  hikvision::SegmentTracker s;
  const uint32_t t = PackedTimeFromUnix(UnixTime(2019, 5, 1, 10, 0, 0));
  const int64_t P = 1000;
  EXPECT_FALSE(s.OnPack(P, t));
  EXPECT_FALSE(s.OnPack(P + 40000, PackedTimeFromUnix(UnixTime(2019, 5, 1, 10, 0, 5))));
  auto cut = s.OnPack(P + 90000, PackedTimeFromUnix(UnixTime(2019, 5, 1, 10, 0, 30)));
  ASSERT_TRUE(cut);
  EXPECT_EQ(*cut, (hikvision::TaskRecord{P, 40000, 0, t, PackedTimeFromUnix(UnixTime(2019, 5, 1, 10, 0, 5))}));
  // The lone third pack is dropped when the next pack cuts it.
  EXPECT_FALSE(s.OnPack(P + 100000, PackedTimeFromUnix(UnixTime(2019, 5, 2, 10, 0, 30))));
  // Exactly 15 seconds still belongs; a second backwards cuts.
  EXPECT_FALSE(s.OnPack(P + 110000, PackedTimeFromUnix(UnixTime(2019, 5, 2, 10, 0, 45))));
  cut = s.OnPack(P + 120000, PackedTimeFromUnix(UnixTime(2019, 5, 2, 10, 0, 44)));
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->offset, P + 100000);
  EXPECT_EQ(cut->length, 10000);
  // Across a month end the gap is the true one (one second here).
  hikvision::SegmentTracker m;
  m.OnPack(0, PackedTimeFromUnix(UnixTime(2019, 1, 31, 23, 59, 59)));
  EXPECT_FALSE(m.OnPack(5000, PackedTimeFromUnix(UnixTime(2019, 2, 1, 0, 0, 0))));
  EXPECT_EQ(m.Finish()->length, 5000);
  EXPECT_FALSE(m.Finish());
}

TEST(HikvisionDeepParse, WipedDiskGivesTheSegmentsWithTheirCuts) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(16 * kMiB));
  const auto t0 = UnixTime(2024, 7, 1, 10, 0, 0);
  // a, then b 16 s after a's last frame: cut. c, then d 15 s after c: one.
  const HikPlanted a = disk.AddRecordingAt(1 * kMiB, Spec(t0, 60));
  const HikPlanted b = disk.AddRecordingAt(a.offset + a.length(), Spec(a.end_unix + 16, 40));
  const HikPlanted c = disk.AddRecordingAt(5 * kMiB + 100, Spec(t0 + 7200, 50));
  const HikPlanted d = disk.AddRecordingAt(c.offset + c.length(), Spec(c.end_unix + 15, 50));
  // A day later, same clock time: cut.
  const HikPlanted e = disk.AddRecordingAt(d.offset + d.length(), Spec(d.end_unix + 86400, 30));
  disk.WipeIndex();

  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeDeep);
  run.Parse();
  EXPECT_EQ(sink.Count("正在深度解析海康监控录像..."), 1);
  EXPECT_EQ(sink.Count("深度解析海康监控录像任务完成"), 1);
  EXPECT_EQ(sink.ranges(), std::vector<int64_t>{8});
  run.Load();
  EXPECT_EQ(run.p.head.time_kind, TimePackedAlt);
  EXPECT_EQ(run.p.head.scan_position, 16 * kMiB);
  ASSERT_EQ(run.p.recordings.size(), 4u);
  auto expect = [&](const RecordingEntry& got, int64_t offset, int64_t length, uint32_t start,
                    uint32_t end) {
    EXPECT_EQ(got.channel, 0);
    EXPECT_EQ(got.fragments[0].offset, offset);
    EXPECT_EQ(got.size, length);
    EXPECT_EQ(got.start_time, start);
    EXPECT_EQ(got.end_time, end);
  };
  expect(run.p.recordings[0], a.offset, a.deep_length, a.start_packed, a.end_packed);
  expect(run.p.recordings[1], b.offset, b.deep_length, b.start_packed, b.end_packed);
  expect(run.p.recordings[2], c.offset, d.offset + d.deep_length - c.offset, c.start_packed,
         d.end_packed);
  expect(run.p.recordings[3], e.offset, e.deep_length, e.start_packed, e.end_packed);
  EXPECT_EQ(FormatTimeText(run.p.head.time_kind, run.p.recordings[0].start_time),
            "2024-07-01 10-00-00");
}

TEST(HikvisionDeepParse, SegmentsAreCutAtOneGiB) {
  synth::TempDir dir;
  const int64_t P = 2 * kMiB;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(P + 0x40000000 + 4 * kMiB));
  const uint32_t t = PackedTimeFromUnix(UnixTime(2023, 3, 3, 3, 3, 3));
  disk.WritePack(P, t);
  disk.WritePack(P + 0x20000000, t);
  disk.WritePack(P + 0x3FFFFE00, t);
  disk.WritePack(P + 0x40000000, t);
  disk.WritePack(P + 0x40000000 + 1000, t);
  ScopedNotifySink scoped(nullptr);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeDeep);
  run.Parse();
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 2u);
  EXPECT_EQ(run.p.recordings[0].fragments[0].offset, P);
  EXPECT_EQ(run.p.recordings[0].size, 0x3FFFFE00);
  EXPECT_EQ(run.p.recordings[1].fragments[0].offset, P + 0x40000000);
  EXPECT_EQ(run.p.recordings[1].size, 1000);
}

TEST(HikvisionDeepParse, WindowsOverlapByOneSectorAndStepByTwoMiB) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(8 * kMiB));
  const uint32_t t = PackedTimeFromUnix(UnixTime(2023, 3, 3, 3, 3, 3));
  // One pack straddles the first window's end, one starts just behind it.
  disk.WritePack(2 * kMiB - 20, t);
  disk.WritePack(2 * kMiB + 100, t);
  disk.WritePack(2 * kMiB + 5000, t);
  auto log = std::make_shared<ReadLog>();
  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(LoggedImageDevice(disk.path(), log), dir.File("t.tak"), ScanModeDeep);
  run.p.region_end = 3 * kMiB;
  run.Parse();
  EXPECT_EQ(sink.ranges(), std::vector<int64_t>{1});
  EXPECT_EQ(sink.positions(), (std::vector<int64_t>{1, 1}));
  EXPECT_EQ(log->reads(), (std::vector<std::pair<int64_t, int64_t>>{{0, 0x200200}, {2 * kMiB, kMiB}}));
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 1u);
  EXPECT_EQ(run.p.recordings[0].fragments[0].offset, 2 * kMiB - 20);
  EXPECT_EQ(run.p.recordings[0].size, 5020);
}

TEST(HikvisionDeepParse, StartsOnTheBufferGridUnlessContinued) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(8 * kMiB));
  ScopedNotifySink scoped(nullptr);
  {
    auto log = std::make_shared<ReadLog>();
    HikRun run(LoggedImageDevice(disk.path(), log), dir.File("t.tak"), ScanModeDeep);
    run.p.region_start = 3 * kMiB + 512;
    run.Parse();
    EXPECT_EQ(log->reads().at(0).first, 2 * kMiB);
  }
  {
    auto log = std::make_shared<ReadLog>();
    HikRun run(LoggedImageDevice(disk.path(), log), dir.File("t.tak"), ScanModeDeep);
    run.p.region_start = 3 * kMiB + 512;
    run.p.continue_flag = 1;
    run.Parse();
    EXPECT_EQ(log->reads().at(0).first, 3 * kMiB + 512);
  }
}

TEST(HikvisionDeepParse, BadSectorsAreReportedAndSkipped) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(16 * kMiB));
  const auto t0 = UnixTime(2024, 7, 1, 10, 0, 0);
  const HikPlanted a = disk.AddRecordingAt(1 * kMiB, Spec(t0, 40));
  const HikPlanted b = disk.AddRecordingAt(11 * kMiB, Spec(t0 + 3600, 40));
  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::FaultyImageDevice(disk.path(), {ByteRange::FromLength(6 * kMiB, 4096)}),
             dir.File("t.tak"), ScanModeDeep);
  run.Parse();
  EXPECT_GE(sink.Count("读取设备失败,可能存在坏道"), 1);
  EXPECT_LE(sink.Count("读取设备失败,可能存在坏道"), 2);
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 2u);
  EXPECT_EQ(run.p.recordings[0].fragments[0].offset, a.offset);
  EXPECT_EQ(run.p.recordings[1].fragments[0].offset, b.offset);
  EXPECT_EQ(run.p.recordings[1].size, b.deep_length);
}

std::set<std::pair<int64_t, int64_t>> Extents(const ScanParameters& p) {
  std::set<std::pair<int64_t, int64_t>> out;
  for (const auto& e : p.recordings) out.insert({e.fragments[0].offset, e.size});
  return out;
}

TEST(HikvisionDeepParse, StoppedAndContinuedRunFindsWhatOneRunFinds) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"), SmallDisk(24 * kMiB));
  const auto t0 = UnixTime(2024, 8, 8, 8, 0, 0);
  // Spread over the disk; one of them runs across the 6 MiB point where the
  // first run stops.
  int64_t k = 0;
  for (int64_t at : {1 * kMiB, 3 * kMiB + 7, 6 * kMiB - 9000, 9 * kMiB, 15 * kMiB, 20 * kMiB})
    disk.AddRecordingAt(at, Spec(t0 + 1000 * k++, 100));

  ScopedNotifySink quiet(nullptr);
  HikRun whole(synth::ImageDevice(disk.path()), dir.File("whole.tak"), ScanModeDeep);
  whole.Parse();
  whole.Load();
  ASSERT_EQ(whole.p.recordings.size(), 6u);

  HikRun run(synth::ImageDevice(disk.path()), dir.File("part.tak"), ScanModeDeep);
  {
    StepSink sink(&run.p.stop, 3);  // after the window at 4 MiB
    ScopedNotifySink scoped(&sink);
    run.Parse();
  }
  run.Load();
  EXPECT_EQ(run.p.head.scan_position, 6 * kMiB);
  ApplyTaskHead(run.p);
  run.p.continue_flag = 1;
  run.Parse();
  run.Load();
  EXPECT_EQ(run.p.head.scan_position, 24 * kMiB);

  const auto want = Extents(whole.p);
  const auto got = Extents(run.p);
  std::vector<std::pair<int64_t, int64_t>> missing;
  for (const auto& w : want)
    if (!got.count(w)) missing.push_back(w);
  ASSERT_EQ(missing.size(), 1u);  // the one across the stop point ...
  EXPECT_EQ(missing[0].first, 6 * kMiB - 9000);
  // ... comes as two pieces that begin and end where it does.
  std::vector<std::pair<int64_t, int64_t>> extra;
  for (const auto& g : got)
    if (!want.count(g)) extra.push_back(g);
  ASSERT_EQ(extra.size(), 2u);
  EXPECT_EQ(extra[0].first, missing[0].first);
  EXPECT_LE(extra[0].first + extra[0].second, 6 * kMiB);
  EXPECT_GE(extra[1].first, 6 * kMiB);
  EXPECT_EQ(extra[1].first + extra[1].second, missing[0].first + missing[0].second);
}

}  // namespace
}  // namespace orvane::test
