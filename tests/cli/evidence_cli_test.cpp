// What an export and an image leave for a reviewer when run from the
// command line, and the recorder clock offset of list and export.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "cli/cli_run.h"
#include "synth/hikvision_disk.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::Quote;
using cli_test::RunCli;
using cli_test::RunShell;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Two recordings on channel 4 around the turn of the year.
std::string ParsedTask(const synth::TempDir& dir) {
  synth::HikvisionDiskOptions o;
  o.blocks = 2;
  synth::HikvisionDisk disk(dir.File("disk.img"), o);
  for (int b = 0; b < 2; ++b) {
    synth::HikRecordingSpec s;
    s.channel = 4;
    s.start_unix = synth::UnixTime(2025, 1, 1, 0, b, 0);
    s.frames = 30;
    disk.AddRecording(b, 0x100000, s);
  }
  const std::string task = dir.File("t.tak");
  const auto r = RunCli(
      "parse " + Quote(disk.path()) + " --brand hikvision --mode fast --task " + Quote(task), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  return task;
}

TEST(CliEvidence, ListShowsProvenanceAndCorrectedTimesBesideTheRecorders) {
  synth::TempDir dir;
  const std::string task = ParsedTask(dir);
  auto r = RunCli("list " + Quote(task) + " --json --clock-offset +00:03:12", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["clock_offset"], "+00:03:12");
  ASSERT_EQ(j["recordings"].size(), 2u);
  EXPECT_EQ(j["recordings"][0]["found_by"], "index");
  EXPECT_EQ(j["recordings"][0]["start"], "2025-01-01 00-00-00");
  EXPECT_EQ(j["recordings"][0]["start_corrected"], "2024-12-31 23-56-48");

  r = RunCli("list " + Quote(task) + " --clock-offset -00:00:30", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("校正开始时间"), std::string::npos);
  EXPECT_NE(r.out.find("2025-01-01 00-00-00\t"), std::string::npos);
  EXPECT_NE(r.out.find("\tindex\t2025-01-01 00-00-30\t"), std::string::npos) << r.out;

  r = RunCli("list " + Quote(task) + " --json", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_FALSE(nlohmann::json::parse(r.out)["recordings"][0].contains("start_corrected"));

  for (const char* bad : {"3:12", "+00:61:00", "soon"}) {
    r = RunCli("list " + Quote(task) + " --clock-offset " + Quote(bad), dir);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("--clock-offset"), std::string::npos) << r.err;
  }
}

// The recorder's 2025-01-01 00:00 is 2024-12-31 23:56:48 in truth: with the
// offset, a window on the old year's last hours holds both recordings.
TEST(CliEvidence, DateWindowIsOfCorrectedTimesWithAClockOffset) {
  synth::TempDir dir;
  const std::string task = ParsedTask(dir);
  const std::string window = " --json --from '2024-12-31 22' --to '2024-12-31 23'";
  auto r = RunCli("list " + Quote(task) + window, dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["recordings"].size(), 0u);
  r = RunCli("list " + Quote(task) + window + " --clock-offset +00:03:12", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j["recordings"].size(), 2u);
  EXPECT_EQ(j["recordings"][1]["start"], "2025-01-01 00-01-00");
  EXPECT_EQ(j["recordings"][1]["start_corrected"], "2024-12-31 23-57-48");
}

TEST(CliEvidence, ExportLeavesReportsChecksumsAndItsLog) {
  synth::TempDir dir;
  const std::string task = ParsedTask(dir);
  const std::string out = dir.File("case 17");
  auto r = RunCli("export " + Quote(task) + " --source " + Quote(dir.File("disk.img")) + " --out " +
                      Quote(out) + " --clock-offset +00:03:12",
                  dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name :
       {"report.html", "report.csv", "report.json", "SHA256SUMS", "orvane-log.txt"})
    EXPECT_TRUE(std::filesystem::exists(out + "/" + name)) << name;
  // File names keep the recorder's times.
  EXPECT_TRUE(std::filesystem::exists(
      out + "/channel 4/2025-01-01/0-2025-01-01 00-00-00-" +
      nlohmann::json::parse(ReadText(out + "/report.json"))["recordings"][0]["end"]
          .get<std::string>() +
      ".dav"));
  EXPECT_EQ(RunShell("cd " + Quote(out) + " && sha256sum -c SHA256SUMS >/dev/null 2>&1").status, 0);
  const auto report = nlohmann::json::parse(ReadText(out + "/report.json"));
  EXPECT_EQ(report["clock_offset"], "+00:03:12");
  EXPECT_EQ(report["recordings"][1]["start_corrected"], "2024-12-31 23-57-48");
  EXPECT_EQ(report["source"]["path"], dir.File("disk.img"));
  EXPECT_EQ(report["task"]["path"], task);
  const std::string log = ReadText(out + "/orvane-log.txt");
  EXPECT_NE(log.find("信息\t"), std::string::npos);
  EXPECT_NE(log.find("导出文件任务结束"), std::string::npos) << log;

  // A second export into the same folder appends to the log.
  r = RunCli("export " + Quote(task) + " --source " + Quote(dir.File("disk.img")) + " --out " +
                 Quote(out) + " --rows 1",
             dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string again = ReadText(out + "/orvane-log.txt");
  EXPECT_EQ(again.substr(0, log.size()), log);
  EXPECT_GT(again.size(), log.size());
  EXPECT_EQ(nlohmann::json::parse(ReadText(out + "/report.json"))["recordings"].size(), 1u);
}

TEST(CliEvidence, ImageLeavesHashFilesThatCheckAndItsLog) {
  synth::TempDir dir;
  synth::SparseImage image(dir.File("src.img"), (5 << 20) + 512);
  image.FillNoise(0, image.size(), 31);
  std::filesystem::create_directory(dir.File("case"));
  const std::string target = dir.File("case/copy.img");
  const auto r = RunCli("image " + Quote(image.path()) + " " + Quote(target), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const std::string sha = ReadText(target + ".sha256");
  EXPECT_EQ(sha.find("  copy.img\n"), 64u) << sha;
  EXPECT_EQ(RunShell("cd " + Quote(dir.File("case")) +
                     " && sha256sum -c copy.img.sha256 >/dev/null && md5sum -c copy.img.md5 "
                     ">/dev/null")
                .status,
            0);
  EXPECT_EQ(RunShell("sha256sum " + Quote(target)).out.substr(0, 64), sha.substr(0, 64));
  EXPECT_NE(r.err.find(sha.substr(0, 64)), std::string::npos) << r.err;
  const std::string log = ReadText(dir.File("case/orvane-log.txt"));
  EXPECT_NE(log.find("镜像备份任务结束"), std::string::npos) << log;
  EXPECT_NE(log.find(sha.substr(0, 64)), std::string::npos) << log;
}

}  // namespace
}  // namespace orvane
