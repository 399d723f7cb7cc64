// Fast parse: the recorder's index, one recording per block.

#include <gtest/gtest.h>

#include <filesystem>

#include <cstring>

#include "device/byte_order.h"
#include "engines/hikvision/hikvision_layout.h"
#include "engines/hikvision/hikvision_test_util.h"
#include "scan/task_head.h"

namespace orvane::test {
namespace {

using synth::HikRecordingSpec;
using synth::HikvisionDisk;
using synth::HikvisionDiskOptions;
using synth::UnixTime;

constexpr const char* kFastStart = "正在快速解析海康监控录像...";
constexpr const char* kFastDone = "快速解析海康监控录像任务完成";

HikRecordingSpec Spec(int channel, int64_t start, int frames) {
  HikRecordingSpec s;
  s.channel = channel;
  s.start_unix = start;
  s.frames = frames;
  return s;
}

TEST(HikvisionFastParse, FindsTheLongestIndexedRecordingOfEveryBlock) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 3;
  HikvisionDisk disk(dir.File("disk.img"), o);
  const auto t0 = UnixTime(2024, 5, 1, 8, 0, 0);
  const auto a = disk.AddRecording(0, 0x100000, Spec(1, t0, 120));
  disk.AddRecording(0, 0x800000, Spec(2, t0 + 3600, 40));  // shorter: not taken
  const auto c = disk.AddRecording(1, 0, Spec(7, t0 + 86400, 60));
  // Block 2 holds nothing.

  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeFast);
  run.Parse();
  EXPECT_EQ(sink.Count(kFastStart), 1);
  EXPECT_EQ(sink.Count(kFastDone), 1);
  EXPECT_EQ(sink.ranges(), std::vector<int64_t>{3});
  EXPECT_EQ(sink.positions(), (std::vector<int64_t>{0, 1, 2}));
  EXPECT_EQ(sink.found().size(), 2u);  // the empty block posts nothing
  EXPECT_EQ(sink.found().back().found_count, 2);
  EXPECT_EQ(sink.found().back().found_bytes, a.length() + c.length());

  run.Load();
  EXPECT_EQ(run.p.head.time_kind, TimeUnixUtc);
  EXPECT_EQ(run.p.head.scan_position, run.p.region_end);
  EXPECT_EQ(run.p.head.file_length, 49 + 2 * 21);
  ASSERT_EQ(run.p.recordings.size(), 2u);
  const RecordingEntry& e0 = run.p.recordings[0];
  EXPECT_EQ(e0.channel, 1);
  EXPECT_EQ(e0.start_time, a.start_unix);
  EXPECT_EQ(e0.end_time, a.end_unix);
  EXPECT_EQ(e0.size, a.length());
  ASSERT_EQ(e0.fragments.size(), 1u);
  EXPECT_EQ(e0.fragments[0], (FragmentExtent{a.offset, static_cast<uint32_t>(a.length())}));
  EXPECT_EQ(run.p.recordings[1].channel, 7);
  EXPECT_EQ(run.p.recordings[1].fragments[0].offset, c.offset);
}

TEST(HikvisionFastParse, EntryRules) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 4;
  HikvisionDisk disk(dir.File("disk.img"), o);
  const uint32_t t = static_cast<uint32_t>(UnixTime(2024, 1, 2, 3, 4, 5));
  // Block 0: equal lengths, the first one wins.
  disk.WriteIndexEntry(0, 0, 3, t, t + 10, 0x1000, 0x3000);
  disk.WriteIndexEntry(0, 1, 4, t, t + 10, 0x5000, 0x7000);
  // Block 1: the longest entries are invalid by year, order or extent; the
  // short valid one is taken.
  disk.WriteIndexEntry(1, 0, 1, static_cast<uint32_t>(UnixTime(2009, 12, 31, 23, 0, 0)), t, 0, 0x900000);
  disk.WriteIndexEntry(1, 1, 1, t, static_cast<uint32_t>(UnixTime(2038, 1, 1, 0, 0, 0)), 0, 0x900000);
  disk.WriteIndexEntry(1, 2, 1, t, t, 0x100, 0x100);             // end equals start
  disk.WriteIndexEntry(1, 3, 1, t, t, 0x200, 0x100);             // end before start
  disk.WriteIndexEntry(1, 4, 1, t, t, 0x3FF00001, 0x3FF00002);   // inside the index
  disk.WriteIndexEntry(1, 5, 1, t, t, 0x100, 0x3FF00001);        // end runs into the index
  disk.WriteIndexEntry(1, 6, 9, t, t + 1, 0x100, 0x200);
  // Block 2: the latest year taken; an extent ending exactly at the index.
  disk.WriteIndexEntry(2, 7, 5, t, static_cast<uint32_t>(UnixTime(2037, 12, 31, 23, 59, 59)),
                       0x100000, 0x3FF00000);
  // Block 3: all zero.

  ScopedNotifySink scoped(nullptr);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeFast);
  run.Parse();
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 3u);
  EXPECT_EQ(run.p.recordings[0].channel, 3);
  EXPECT_EQ(run.p.recordings[0].fragments[0].offset, disk.BlockBase(0) + 0x1000);
  EXPECT_EQ(run.p.recordings[1].channel, 9);
  EXPECT_EQ(run.p.recordings[1].size, 0x100);
  EXPECT_EQ(run.p.recordings[2].channel, 5);
  EXPECT_EQ(run.p.recordings[2].size, 0x3FF00000 - 0x100000);
}

TEST(HikvisionFastParse, HeaderChecksFallBackToTheFixedLayout) {
  using namespace hikvision;
  uint8_t s[512] = {};
  std::memcpy(s + 16, "HIKVISIO", 8);
  StoreLE64(s + 120, 0x200000);
  StoreLE64(s + 128, 5ull * 0x40000000);
  StoreLE64(s + 136, 0x40000000);
  DiskLayout l = ParseDiskHeader(s, 0);
  EXPECT_TRUE(l.from_header);
  EXPECT_EQ(l.first_block, 0x200000);
  EXPECT_EQ(l.BlockCount(), 5u);

  const int64_t device = kDefaultFirstBlock + 3LL * 0x40000000;
  auto expect_fixed = [&](const char* why) {
    DiskLayout f = ParseDiskHeader(s, device);
    EXPECT_FALSE(f.from_header) << why;
    EXPECT_EQ(f.first_block, kDefaultFirstBlock) << why;
    EXPECT_EQ(f.block_size, 0x40000000) << why;
    EXPECT_EQ(f.BlockCount(), 3u) << why;
  };
  StoreLE64(s + 128, 5ull * 0x40000000 + 512);
  expect_fixed("data area not a multiple of the block size");
  StoreLE64(s + 128, 5ull * 0x40000000);
  StoreLE64(s + 136, 0x6400000 - 1);
  expect_fixed("block too small");
  StoreLE64(s + 136, 0x40000000);
  StoreLE64(s + 120, 0x100000001ull);
  expect_fixed("first block too far");
  StoreLE64(s + 120, 0x200000);
  s[16] = 'X';
  expect_fixed("no signature");
  EXPECT_FALSE(ParseDiskHeader(std::span<const uint8_t>(s, 100), device).from_header);
}

TEST(HikvisionFastParse, DamagedHeaderUsesTheFixedLayoutOnTheDisk) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.first_block = hikvision::kDefaultFirstBlock;
  o.blocks = 1;
  o.write_header = false;
  HikvisionDisk disk(dir.File("disk.img"), o);
  disk.WriteHeader(0x100000, 0x40000000 + 7, 0x40000000);  // fails its checks
  const auto r = disk.AddRecording(0, 0x200000, Spec(2, UnixTime(2020, 2, 2, 2, 2, 2), 30));
  ScopedNotifySink scoped(nullptr);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeFast);
  run.Parse();
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 1u);
  EXPECT_EQ(run.p.recordings[0].fragments[0].offset, r.offset);
}

TEST(HikvisionFastParse, HeaderClaimingMoreBlocksThanTheDiskVisitsOnlyTheDisk) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 2;
  HikvisionDisk disk(dir.File("disk.img"), o);
  disk.WriteHeader(0x100000, 3'000'000ull * 0x40000000, 0x40000000);
  disk.AddRecording(1, 0, Spec(1, UnixTime(2021, 1, 1, 0, 0, 0), 20));
  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeFast);
  run.Parse();
  EXPECT_EQ(sink.ranges(), std::vector<int64_t>{2});
  EXPECT_EQ(sink.Count("读取设备失败,可能存在坏道"), 0);
  run.Load();
  EXPECT_EQ(run.p.recordings.size(), 1u);
}

TEST(HikvisionFastParse, UnreadableIndexCostsOnlyItsBlock) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 3;
  HikvisionDisk disk(dir.File("disk.img"), o);
  const auto t = UnixTime(2022, 6, 1, 12, 0, 0);
  for (int b = 0; b < 3; ++b) disk.AddRecording(b, 0x100000, Spec(b + 1, t + b * 100, 20));
  const int64_t bad = disk.BlockBase(1) + HikvisionDisk::kIndexOffset + 4096;
  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::FaultyImageDevice(disk.path(), {ByteRange::FromLength(bad, 512)}),
             dir.File("t.tak"), ScanModeFast);
  run.Parse();
  EXPECT_EQ(sink.Count("读取设备失败,可能存在坏道"), 1);
  run.Load();
  ASSERT_EQ(run.p.recordings.size(), 2u);
  EXPECT_EQ(run.p.recordings[0].channel, 1);
  EXPECT_EQ(run.p.recordings[1].channel, 3);
}

TEST(HikvisionFastParse, UnreadableHeaderWritesNothing) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"));
  disk.AddRecording(0, 0, Spec(1, UnixTime(2022, 6, 1, 12, 0, 0), 20));
  StepSink sink;
  ScopedNotifySink scoped(&sink);
  HikRun run(synth::FaultyImageDevice(disk.path(), {ByteRange::FromLength(512, 512)}),
             dir.File("t.tak"), ScanModeFast);
  run.Parse();
  EXPECT_EQ(sink.Count("读取设备失败,可能存在坏道"), 1);
  EXPECT_EQ(sink.Count(kFastDone), 1);
  EXPECT_EQ(std::filesystem::file_size(dir.File("t.tak")), 49u);
}

TEST(HikvisionFastParse, StopKeepsTheBlocksReadAndEndsTheRegion) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 4;
  HikvisionDisk disk(dir.File("disk.img"), o);
  const auto t = UnixTime(2022, 6, 1, 12, 0, 0);
  for (int b = 0; b < 4; ++b) disk.AddRecording(b, 0, Spec(b, t + b * 100, 20));
  HikRun run(synth::ImageDevice(disk.path()), dir.File("t.tak"), ScanModeFast);
  StepSink sink(&run.p.stop, 1);  // asked while block 1 is read
  ScopedNotifySink scoped(&sink);
  run.Parse();
  run.Load();
  EXPECT_EQ(run.p.recordings.size(), 2u);
  EXPECT_EQ(run.p.head.scan_position, run.p.region_end);
}

TEST(HikvisionFastParse, MissingSourceOrTaskFolder) {
  synth::TempDir dir;
  HikvisionDisk disk(dir.File("disk.img"));
  {
    StepSink sink;
    ScopedNotifySink scoped(&sink);
    HikRun run(synth::ImageDevice(dir.File("nothing.img")), dir.File("t.tak"), ScanModeFast);
    run.device.size = 1 << 20;
    run.Parse();
    EXPECT_EQ(sink.Count("打开源设备失败"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.File("t.tak")));
  }
  {
    StepSink sink;
    ScopedNotifySink scoped(&sink);
    HikRun run(synth::ImageDevice(disk.path()), dir.File("no/such/t.tak"), ScanModeFast);
    run.Parse();
    EXPECT_EQ(sink.Count("创建任务文件失败"), 1);
  }
}

}  // namespace
}  // namespace orvane::test
