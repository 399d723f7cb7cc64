// parse, list and export over a rescued image with its map: what the copy
// could not read is never read, and the recordings that lack bytes say so.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

#include "cli/cli_run.h"
#include "imaging/rescue_map.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::Quote;
using cli_test::RunCli;

TEST(CliRescueMap, RecordingsOverUnreadAreasAreFoundMarkedAndExportedWithTheGapCounted) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions options;
  options.blocks = 3;
  synth::HikvisionDisk disk(dir.File("disk.img"), options);
  for (int b = 0; b < 3; ++b) {
    synth::HikRecordingSpec s;
    s.channel = b + 1;
    s.start_unix = synth::UnixTime(2024, 6, 1 + b, 10, 0, 0);
    s.frames = 60;
    disk.AddRecording(b, 0x100000, s);
  }
  const std::string img = disk.path();
  const std::string fast = dir.File("fast.tak");
  ASSERT_EQ(
      RunCli("parse " + Quote(img) + " --brand hikvision --mode fast --task " + Quote(fast), dir)
          .status,
      0);
  auto r = RunCli("list " + Quote(fast) + " --json", dir);
  const auto before = nlohmann::json::parse(r.out);
  ASSERT_EQ(before["recordings"].size(), 3u);
  const int64_t at = before["recordings"][1]["fragments"][0]["offset"];

  // The copy read everything but a bad stretch and a sector never tried,
  // both inside the second recording.
  RescueMap map(0, std::filesystem::file_size(img));
  map.Mark(0, map.end(), kAreaFinished);
  map.Mark(at + 8192, 4096, kAreaBadSector);
  map.Mark(at + 12800, 512, kAreaNonTried);
  const std::string map_path = dir.File("disk.img.map");
  ASSERT_TRUE(SaveRescueMap(map_path, map, "test"));

  r = RunCli("list " + Quote(fast) + " --json --map " + Quote(map_path), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto listed = nlohmann::json::parse(r.out);
  EXPECT_EQ(listed["recordings"][0]["missing_bytes"], 0);
  EXPECT_EQ(listed["recordings"][1]["missing_bytes"], 4608);
  EXPECT_EQ(listed["recordings"][2]["missing_bytes"], 0);
  r = RunCli("list " + Quote(fast) + " --map " + Quote(map_path), dir);
  EXPECT_NE(r.out.find("\t缺失字节\n"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\t4608\n"), std::string::npos) << r.out;

  // A deep parse through the map still finds all three; the one with the
  // gap ends where the unread area begins.
  const std::string deep = dir.File("deep.tak");
  r = RunCli("parse " + Quote(img) + " --brand hikvision --mode deep --task " + Quote(deep) +
                 " --map " + Quote(map_path),
             dir);
  EXPECT_NE(r.err.find("使用映射文件:" + map_path), std::string::npos) << r.err;
  r = RunCli("list " + Quote(deep) + " --json --map " + Quote(map_path), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto found = nlohmann::json::parse(r.out);
  ASSERT_EQ(found["recordings"].size(), 3u) << r.out;
  EXPECT_EQ(found["recordings"][1]["start"], "2024-06-02 10-00-00");
  EXPECT_LE(found["recordings"][1]["fragments"][0]["offset"].get<int64_t>() +
                found["recordings"][1]["size"].get<int64_t>(),
            at + 8192);

  r = RunCli("export " + Quote(fast) + " --source " + Quote(img) + " --out " +
                 Quote(dir.File("out")) + " --map " + Quote(map_path),
             dir);
  // The gap is written as zeros and counted once, for its recording; the
  // export then says it is not whole.
  EXPECT_EQ(r.status, 1) << r.err;
  size_t warned = 0;
  for (size_t p = r.err.find("无法读取(已补零) 字节数:"); p != std::string::npos;
       p = r.err.find("无法读取(已补零) 字节数:", p + 1))
    ++warned;
  EXPECT_EQ(warned, 1u) << r.err;
  EXPECT_NE(r.err.find("无法读取(已补零) 字节数:4608 "), std::string::npos) << r.err;
}

// A deep parse over a source that cannot read a stretch (here an image whose
// copy missed it) keeps that stretch in TASK.map; a continue of the finished
// parse over the full image finds the recording that lay there.
TEST(CliRescueMap, ContinueRetriesTheAreasADeepParseCouldNotRead) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions options;
  options.size = 64 << 20;
  options.blocks = 1;
  synth::HikvisionDisk disk(dir.File("disk.img"), options);
  int64_t hour = 0;
  for (int64_t at : {2 << 20, 30 << 20, 50 << 20}) {
    synth::HikRecordingSpec s;
    s.start_unix = synth::UnixTime(2024, 6, 1, 10, 0, 0) + 3600 * hour++;
    s.frames = 40;
    disk.AddRecordingAt(at, s);
  }
  disk.WipeIndex();
  const std::string img = disk.path();
  RescueMap copy(0, std::filesystem::file_size(img));
  copy.Mark(0, copy.end(), kAreaFinished);
  copy.Mark(20 << 20, 20 << 20, kAreaBadSector);
  const std::string copy_map = dir.File("copy.map");
  ASSERT_TRUE(SaveRescueMap(copy_map, copy, "test"));

  const std::string task = dir.File("deep.tak");
  auto r = RunCli("parse " + Quote(img) + " --brand hikvision --mode deep --task " + Quote(task) +
                      " --map " + Quote(copy_map),
                  dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("读取失败 偏移:20971520 大小:"), std::string::npos) << r.err;
  RescueMap scan_map;
  std::string error;
  ASSERT_TRUE(LoadRescueMap(task + ".map", scan_map, error)) << error;
  EXPECT_EQ(scan_map.FirstUnfinishedIn(0, scan_map.end()), 20 << 20);
  EXPECT_EQ(scan_map.UnfinishedBytesIn(0, 20 << 20), 0);
  // A skip may reach past the stretch's end, by no more than 1% of the disk.
  EXPECT_EQ(scan_map.UnfinishedBytesIn(41 << 20, 23 << 20), 0);
  r = RunCli("list " + Quote(task) + " --json", dir);
  ASSERT_EQ(nlohmann::json::parse(r.out)["recordings"].size(), 2u) << r.out;

  r = RunCli("parse " + Quote(img) + " --continue --task " + Quote(task), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli("list " + Quote(task) + " --json", dir);
  const auto all = nlohmann::json::parse(r.out);
  ASSERT_EQ(all["recordings"].size(), 3u) << r.out;
  // Added behind those found before.
  EXPECT_EQ(all["recordings"][2]["start"], "2024-06-01 11-00-00");
  EXPECT_EQ(all["recordings"][2]["fragments"][0]["offset"], 30 << 20);
  ASSERT_TRUE(LoadRescueMap(task + ".map", scan_map, error)) << error;
  EXPECT_EQ(scan_map.Bytes(kAreaFinished), scan_map.end() - scan_map.begin());
}

}  // namespace
}  // namespace orvane
