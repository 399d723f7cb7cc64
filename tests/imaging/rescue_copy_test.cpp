#include "imaging/rescue_copy.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "imaging/mirror_backup.h"
#include "imaging/rescue_double.h"
#include "imaging/rescue_map.h"
#include "scan/worker_flags.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using rescue_test::FaultPlan;
using rescue_test::FaultyDevice;
using synth::TempDir;

constexpr int64_t kMiB = 1 << 20;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<MapArea> AreasOf(const RescueMap& map, char status) {
  std::vector<MapArea> out;
  for (const MapArea& a : map.Areas())
    if (a.status == status) out.push_back(a);
  return out;
}

std::string Describe(const std::vector<MapArea>& areas) {
  std::string text;
  for (const MapArea& a : areas)
    text += std::to_string(a.pos) + "+" + std::to_string(a.size) + a.status + " ";
  return text;
}

std::vector<MapArea> AsAreas(const std::vector<ByteRange>& ranges, char status) {
  std::vector<MapArea> out;
  for (const ByteRange& r : ranges) out.push_back({r.begin, r.length(), status});
  return out;
}

struct CopyRun {
  bool complete = false;
  std::vector<std::string> warnings;
  std::vector<std::string> infos;
};

// One `orvane image`-like copy of the whole faulty source into `target`.
CopyRun Copy(std::shared_ptr<FaultPlan> plan, const std::string& target, const std::string& map,
             int retries = 0) {
  BackupRequest request;
  request.source = DriveEndpoint(FaultyDevice(plan));
  request.target.kind = kEndpointFile;
  request.target.path = target;
  request.source_offset_text = "0";
  request.source_size_text = std::to_string(plan->size / 512);
  request.target_offset_text = "0";
  WorkerFlags flags;
  BackupJob job;
  EXPECT_TRUE(ValidateBackupStart(request, job, flags).started);
  job.map_path = map;
  job.retries = retries;
  plan->stop = &job.stop;
  CopyRun run;
  BackupHooks hooks;
  hooks.log = [&](std::string_view type, std::string_view text) {
    (type == kLogWarning ? run.warnings : run.infos).emplace_back(text);
  };
  hooks.progress_range = [](int64_t) {};
  hooks.progress_position = [](int64_t) {};
  run.complete = RunMirrorBackup(job, hooks);
  plan->stop = nullptr;
  return run;
}

RescueMap LoadMap(const std::string& path) {
  RescueMap map;
  std::string error;
  EXPECT_TRUE(LoadRescueMap(path, map, error)) << error;
  return map;
}

TEST(RescueMap, MarksSplitAndMergeAndTheTextRoundTrips) {
  RescueMap map(4096, 10 * 512);
  map.Mark(4096, 1024, kAreaFinished);
  map.Mark(4096 + 1024, 1024, kAreaFinished);  // joins the area before
  map.Mark(4096 + 3072, 512, kAreaBadSector);  // inside the non-tried rest
  map.Mark(0, 100000, kAreaNonTried);          // wider than the range: cut to it
  map.Mark(4096 + 512, 512, kAreaNonTrimmed);
  map.Mark(4096 + 1024, 512, kAreaNonTrimmed);
  map.current_pos = 5120;
  map.current_status = kAreaNonTrimmed;
  map.current_pass = 3;
  EXPECT_EQ(map.Areas().size(), 3u);
  EXPECT_EQ(Describe(map.Areas()), "4096+512? 4608+1024* 5632+3584? ");

  map.Mark(4096, 6 * 512, kAreaFinished);
  map.Mark(4096 + 3072, 512, kAreaBadSector);
  map.Mark(4096 + 3584, 1536, kAreaFinished);
  EXPECT_EQ(Describe(map.Areas()), "4096+3072+ 7168+512- 7680+1536+ ");
  EXPECT_EQ(map.Bytes(kAreaFinished), 9 * 512);
  EXPECT_EQ(map.Count(kAreaFinished), 2);

  const std::string text = FormatRescueMap(map, "test");
  EXPECT_NE(text.find("0x00001C00  0x00000200  -\n"), std::string::npos) << text;
  EXPECT_NE(text.find("0x00001400     *               3\n"), std::string::npos) << text;
  RescueMap back;
  std::string error;
  ASSERT_TRUE(ParseRescueMap(text, back, error)) << error;
  EXPECT_EQ(Describe(back.Areas()), Describe(map.Areas()));
  EXPECT_EQ(back.begin(), 4096);
  EXPECT_EQ(back.end(), 4096 + 5120);
  EXPECT_EQ(back.current_pos, 5120);
  EXPECT_EQ(back.current_pass, 3);

  MapArea next;
  ASSERT_TRUE(back.NextArea(kAreaFinished, 5000, next));
  EXPECT_EQ(next.pos, 5000);
  EXPECT_EQ(next.end(), 7168);
  EXPECT_FALSE(back.NextArea(kAreaNonTried, 0, next));
}

TEST(RescueMap, RefusesTextThatIsNotOneRangeOfAreas) {
  const std::string head = "# c\n0x0 + 1\n";
  RescueMap map;
  std::string error;
  EXPECT_TRUE(ParseRescueMap(head + "0 512 +\n512 0x200 -\n", map, error)) << error;
  // Decimal and hexadecimal both; gaps, overlaps, unknown letters, zero
  // sizes, overflowing and negative numbers and a missing status line are not.
  for (const std::string& bad :
       {head + "0 512 +\n1024 512 -\n", head + "0 512 +\n256 512 -\n", head + "0 512 x\n",
        head + "0 0 +\n", head + "0x7FFFFFFFFFFFFFFF 2 +\n", head + "-5 512 +\n",
        head + "0 99999999999999999999999 +\n", std::string("0 512 +\n"), head,
        std::string("# only comments\n"), head + "0 512\n", head + "0x 512 +\n"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ParseRescueMap(bad, map, error));
  }
}

TEST(RescueCopy, EveryReadableByteIsCopiedAndExactlyTheBadSectorsAreMarked) {
  TempDir dir;
  auto plan = std::make_shared<FaultPlan>();
  plan->size = 24 * kMiB + 3 * 512;                               // a last partial block
  plan->bad = {ByteRange::FromLength(0, 512),                     // the very first sector
               ByteRange::FromLength(2 * kMiB - 512, 1024),       // across a block edge
               ByteRange::FromLength(5 * kMiB + 4096, 512),       // alone in a block
               ByteRange::FromLength(5 * kMiB + 8192, 3 * 512),   // its close neighbour
               ByteRange::FromLength(9 * kMiB + 1536, 3 * kMiB),  // a wide stretch
               ByteRange::FromLength(24 * kMiB + 512, 512)};      // in the last partial block
  const std::string target = dir.File("out.img");
  const CopyRun run = Copy(plan, target, target + ".map");
  EXPECT_FALSE(run.complete);  // bytes are missing

  EXPECT_TRUE(ReadAll(target) == plan->ExpectedImage());
  const RescueMap map = LoadMap(target + ".map");
  EXPECT_EQ(Describe(AreasOf(map, kAreaBadSector)), Describe(AsAreas(plan->bad, kAreaBadSector)));
  EXPECT_EQ(map.Bytes(kAreaFinished) + map.Bytes(kAreaBadSector), plan->size);
  EXPECT_EQ(map.current_status, kAreaFinished);

  // One line per bad area with its offset and size, then the summary.
  std::vector<std::string> expected;
  for (const ByteRange& r : plan->bad)
    expected.push_back("读取失败 偏移:" + std::to_string(r.begin) +
                       " 大小:" + std::to_string(r.length()));
  // The hashes then cover the image as written, and say so.
  expected.push_back("镜像不完整: 哈希值只覆盖已写入的部分");
  EXPECT_EQ(run.warnings, expected);
  int64_t bad_bytes = 0;
  for (const ByteRange& r : plan->bad) bad_bytes += r.length();
  const auto summary = std::find_if(run.infos.begin(), run.infos.end(), [](const std::string& t) {
    return t.rfind("已读出:", 0) == 0;
  });
  ASSERT_NE(summary, run.infos.end());
  EXPECT_EQ(summary->rfind("已读出:" + std::to_string(plan->size - bad_bytes) +
                               " 字节 坏区:6 个 坏字节:" + std::to_string(bad_bytes) + " 用时:",
                           0),
            0u)
      << *summary;
  EXPECT_EQ(run.infos.back(), kMsgBackupFinished);

  // Each bad sector is read in vain about once: the first pass and the trim
  // add at most a few failed reads per bad area.
  EXPECT_LE(plan->failed_reads, bad_bytes / 512 + 3 * static_cast<int64_t>(plan->bad.size()));
}

TEST(RescueCopy, AHealthySourceIsOneSequentialPassOfWholeBlocks) {
  TempDir dir;
  auto plan = std::make_shared<FaultPlan>();
  plan->size = 9 * kMiB + 512;
  const std::string target = dir.File("out.img");
  const CopyRun run = Copy(plan, target, target + ".map");
  EXPECT_TRUE(run.complete);
  ASSERT_EQ(plan->reads.size(), 5u);
  for (size_t i = 0; i < plan->reads.size(); ++i) {
    EXPECT_EQ(plan->reads[i].offset, static_cast<int64_t>(i) * 2 * kMiB);
    EXPECT_EQ(plan->reads[i].length, i < 4 ? 2 * kMiB : kMiB + 512);
  }
  EXPECT_TRUE(ReadAll(target) == plan->ExpectedImage());
  EXPECT_TRUE(run.warnings.empty());
  EXPECT_EQ(Describe(LoadMap(target + ".map").Areas()), "0+" + std::to_string(plan->size) + "+ ");
}

// The first sweep jumps 64 KiB past a failed block, twice that after the
// next failure in a row, up to 1% of the range, and starts again from 64 KiB
// after a block that read well.
TEST(RescueCopy, SkipsDoubleOnFailuresInARowUpToTheirLimitAndResetAfterAGoodRead) {
  auto plan = std::make_shared<FaultPlan>();
  plan->size = 256 * kMiB;
  plan->bad = {ByteRange::FromLength(4 * kMiB, 40 * kMiB),
               ByteRange::FromLength(100 * kMiB, 8 * kMiB)};
  RescueMap map(0, plan->size);
  rescue_test::LinuxLikeBadSectors source(plan);
  RescueIo io;
  io.source = &source;
  io.write = [](int64_t, const uint8_t*, size_t) { return true; };
  std::vector<int64_t> blocks;
  bool first_sweep = true;
  io.block_started = [&](int64_t pos) {
    if (!blocks.empty() && pos < blocks.back()) first_sweep = false;
    if (first_sweep) blocks.push_back(pos);
  };
  RunRescueCopy(map, RescueSettings{}, io);

  const int64_t cap = (plan->size / 100) / 512 * 512;
  auto fails = [&](int64_t at) {
    const ByteRange block = ByteRange::FromLength(at, 2 * kMiB);
    for (const ByteRange& r : plan->bad)
      if (!block.intersect(r).empty()) return true;
    return false;
  };
  std::vector<int64_t> expected;
  int64_t skip = 64 << 10, longest = 0;
  for (int64_t at = 0; at < plan->size;) {
    expected.push_back(at);
    if (!fails(at)) {
      at += 2 * kMiB;
      skip = 64 << 10;
      continue;
    }
    at += 2 * kMiB + skip;
    longest = std::max(longest, skip);
    skip = std::min(skip * 2, cap);
  }
  EXPECT_EQ(longest, cap);  // the first stretch is long enough to reach the limit
  EXPECT_EQ(blocks, expected);

  EXPECT_EQ(Describe(AreasOf(map, kAreaBadSector)), Describe(AsAreas(plan->bad, kAreaBadSector)));
  EXPECT_EQ(map.Bytes(kAreaFinished), plan->size - 48 * kMiB);
}

TEST(RescueCopy, StopAndResumeFromTheMapGiveWhatOneRunGives) {
  TempDir dir;
  auto make_plan = [] {
    auto plan = std::make_shared<FaultPlan>();
    plan->size = 16 * kMiB;
    plan->bad = {ByteRange::FromLength(kMiB + 512, 512),
                 ByteRange::FromLength(3 * kMiB - 4096, 2 * kMiB),
                 ByteRange::FromLength(11 * kMiB, 4096)};
    return plan;
  };
  const std::string whole = dir.File("whole.img");
  auto plan = make_plan();
  Copy(plan, whole, whole + ".map");
  const int64_t reads_of_one_run = static_cast<int64_t>(plan->reads.size());
  const std::string one_run_areas = Describe(LoadMap(whole + ".map").Areas());

  // Stopped in the first sweep, the second, the trim and the scrape.
  for (const int64_t stop_after :
       {int64_t{1}, int64_t{4}, int64_t{12}, reads_of_one_run / 2, reads_of_one_run - 3}) {
    SCOPED_TRACE(stop_after);
    const std::string target = dir.File("part.img");
    std::filesystem::remove(target + ".map");
    auto resumed = make_plan();
    resumed->stop_after = stop_after;
    CopyRun run = Copy(resumed, target, target + ".map");
    EXPECT_FALSE(run.complete);
    resumed->stop_after = -1;
    run = Copy(resumed, target, target + ".map");
    ASSERT_FALSE(run.infos.empty());
    EXPECT_EQ(run.infos[1].rfind("从映射文件继续备份:", 0), 0u) << run.infos[1];
    EXPECT_EQ(Describe(LoadMap(target + ".map").Areas()), one_run_areas);
    EXPECT_TRUE(ReadAll(target) == ReadAll(whole));
    // Nothing finished before the stop is read again.
    EXPECT_LE(static_cast<int64_t>(resumed->reads.size()), reads_of_one_run + 2);
  }

  // A map of another range is not resumed: the copy starts afresh.
  auto other = make_plan();
  other->size = 8 * kMiB;
  other->bad.clear();
  const CopyRun run = Copy(other, whole, whole + ".map");
  EXPECT_TRUE(run.complete);
  EXPECT_EQ(std::filesystem::file_size(whole), static_cast<uintmax_t>(8 * kMiB));
}

TEST(RescueCopy, AMapPathOnTheSourceOrTheImageIsRefused) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), kMiB);
  image.FillNoise(0, image.size(), 3);
  const std::string before = ReadAll(image.path());
  const std::string target = dir.File("out.img");
  for (const std::string& map : {image.path(), target}) {
    BackupJob job;
    job.source.kind = kEndpointFile;
    job.source.path = image.path();
    job.source.size = kMiB;
    job.target.kind = kEndpointFile;
    job.target.path = target;
    job.map_path = map;
    std::vector<std::string> lines;
    BackupHooks hooks;
    hooks.log = [&](std::string_view, std::string_view text) { lines.emplace_back(text); };
    EXPECT_FALSE(RunMirrorBackup(job, hooks));
    EXPECT_NE(std::find(lines.begin(), lines.end(), kMsgBackupBadParameters), lines.end());
  }
  EXPECT_TRUE(ReadAll(image.path()) == before);
}

TEST(RescueCopy, RetryPassesRecoverSectorsThatReadOnALaterTry) {
  TempDir dir;
  for (const int retries : {0, 2}) {
    SCOPED_TRACE(retries);
    auto plan = std::make_shared<FaultPlan>();
    plan->size = 4 * kMiB;
    plan->bad = {ByteRange::FromLength(3 * kMiB, 512)};
    plan->weak = {ByteRange::FromLength(kMiB, 1024)};
    const std::string target = dir.File("out" + std::to_string(retries) + ".img");
    Copy(plan, target, target + ".map", retries);
    const RescueMap map = LoadMap(target + ".map");
    const std::vector<ByteRange> bad =
        retries == 0 ? std::vector<ByteRange>{plan->weak[0], plan->bad[0]} : plan->bad;
    EXPECT_EQ(Describe(AreasOf(map, kAreaBadSector)), Describe(AsAreas(bad, kAreaBadSector)));
    const std::string image = ReadAll(target);
    EXPECT_EQ(image[kMiB] != 0, retries > 0);
  }
}

}  // namespace
}  // namespace orvane
