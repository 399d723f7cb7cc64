// orvane parse / list / export, run as the user runs them.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/cli_run.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using synth::HikRecordingSpec;
using synth::HikvisionDisk;
using synth::UnixTime;

using cli_test::Quote;
using cli_test::RunCli;
using Result = cli_test::CliResult;

HikRecordingSpec Spec(int channel, int64_t start, int frames) {
  HikRecordingSpec s;
  s.channel = channel;
  s.start_unix = start;
  s.frames = frames;
  return s;
}

// Three blocks, channels 1, 2 and 3, on three days.
std::string MakeDisk(const synth::TempDir& dir) {
  synth::HikvisionDiskOptions o;
  o.blocks = 3;
  HikvisionDisk disk(dir.File("disk.img"), o);
  for (int b = 0; b < 3; ++b)
    disk.AddRecording(b, 0x100000, Spec(b + 1, UnixTime(2024, 6, 1 + b, 10 + b, 0, 0), 50 + b));
  return disk.path();
}

TEST(CliRecordings, ParseListAndExport) {
  synth::TempDir dir;
  const std::string img = MakeDisk(dir);
  const std::string task = dir.File("fast.tak");
  Result r = RunCli("parse " + Quote(img) + " --brand hikvision --mode fast --task " + Quote(task), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("信息: 正在快速解析海康监控录像..."), std::string::npos);

  r = RunCli("list " + Quote(task) + " --json", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["brand"], 1);
  EXPECT_EQ(j["mode"], 1);
  EXPECT_EQ(j["version"], 1);
  EXPECT_EQ(j["time_kind"], 3);
  EXPECT_EQ(j["pages"], 1);
  EXPECT_EQ(j["page"], 0);
  ASSERT_EQ(j["recordings"].size(), 3u);
  const auto& first = j["recordings"][0];
  EXPECT_EQ(first["index"], 0);
  EXPECT_EQ(first["channel"], 1);
  EXPECT_EQ(first["start"], "2024-06-01 10-00-00");
  EXPECT_EQ(first["fragments"][0]["offset"], 0x100000 + 0x100000);
  EXPECT_EQ(first["fragments"][0]["length"], first["size"]);

  r = RunCli("list " + Quote(task), dir);
  EXPECT_NE(r.out.find("1\t2\t"), std::string::npos);
  EXPECT_NE(r.out.find("2024-06-02 11-00-00"), std::string::npos);

  // The filters as the filter dialog has them.
  r = RunCli("list " + Quote(task) + " --json --channels 1-3", dir);
  auto f = nlohmann::json::parse(r.out);
  ASSERT_EQ(f["recordings"].size(), 2u);
  EXPECT_EQ(f["recordings"][1]["index"], 2);
  r = RunCli("list " + Quote(task) + " --json --from '2024-06-02 00' --to '2024-06-02 12'", dir);
  f = nlohmann::json::parse(r.out);
  ASSERT_EQ(f["recordings"].size(), 1u);
  EXPECT_EQ(f["recordings"][0]["channel"], 2);
  r = RunCli("list " + Quote(task) + " --from '2024-06-02 12' --to '2024-06-02 12'", dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("参数设置错误，请重新设置"), std::string::npos);

  const std::string out = dir.File("out");
  r = RunCli("export " + Quote(task) + " --source " + Quote(img) + " --out " + Quote(out) +
              " --rows 0,2",
          dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find(out + "/channel 1/2024-06-01/0-2024-06-01 10-00-00-2024-06-01 10-00-01.dav\t"),
            std::string::npos);
  EXPECT_NE(r.out.find(out + "/channel 3/2024-06-03/2-"), std::string::npos);
  EXPECT_EQ(r.out.find("/channel 2/"), std::string::npos);
  r = RunCli("export " + Quote(task) + " --source " + Quote(img) + " --out " + Quote(out) + " --rows 7",
          dir);
  EXPECT_EQ(r.status, 2);

  // A source that ends 1000 bytes into the first recording: the file holds
  // those bytes, the rest is reported missing, and the export fails.
  const int64_t at = first["fragments"][0]["offset"];
  const int64_t size = first["size"];
  const std::string cut = dir.File("cut.img");
  {
    std::vector<uint8_t> head(1000);
    std::ifstream in(img, std::ios::binary);
    in.seekg(at);
    in.read(reinterpret_cast<char*>(head.data()), 1000);
    synth::SparseImage image(cut, at + 1000);
    image.Write(at, head);
  }
  r = RunCli("export " + Quote(task) + " --source " + Quote(cut) + " --out " +
                 Quote(dir.File("cut-out")) + " --rows 0",
             dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("\t1000\t(" + std::to_string(size - 1000) + " bytes beyond the device end)"),
            std::string::npos)
      << r.out;
  EXPECT_NE(r.err.find("超出设备末尾 缺少字节数:" + std::to_string(size - 1000)), std::string::npos);
  EXPECT_NE(r.err.find("exported 0 of 1 recordings"), std::string::npos) << r.err;
  EXPECT_EQ(r.err.find("读取设备失败"), std::string::npos);
}

TEST(CliRecordings, ParseRefusesWhatTheDialogRefuses) {
  synth::TempDir dir;
  const std::string img = MakeDisk(dir);
  const std::string task = dir.File("t.tak");
  Result r = RunCli("parse " + Quote(img) + " --brand hikvision --mode deep --start 1000 --end 1000 --task " +
                     Quote(task),
                 dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("警告: 请正确设置参数信息"), std::string::npos);
  r = RunCli("parse " + Quote(img) + " --brand hikvision --mode fast --start 1000 --end 1000 --task " +
              Quote(task),
          dir);
  EXPECT_EQ(r.status, 0) << r.err;
  for (const char* bad : {"--brand sony --mode fast", "--brand 1 --mode slow",
                          "--brand 1 --mode deep --buffer 0"}) {
    r = RunCli("parse " + Quote(img) + " " + bad + " --task " + Quote(task), dir);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("请正确设置参数信息"), std::string::npos) << bad;
  }
  r = RunCli("parse " + Quote(img) + " --brand hikvision --mode fast --task " + Quote(dir.File("no/t.tak")), dir);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("创建任务文件失败"), std::string::npos);
}

TEST(CliRecordings, InterruptStopsTheParseAndContinueFinishesIt) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions o;
  o.blocks = 2;
  // Sparse; the interrupt comes as soon as the task file exists, long
  // before a scan of this size can end.
  constexpr int64_t kDiskBytes = int64_t{1} << 30;
  o.size = kDiskBytes;
  HikvisionDisk disk(dir.File("disk.img"), o);
  disk.AddRecording(0, 0x100000, Spec(1, UnixTime(2024, 6, 1, 10, 0, 0), 40));
  disk.AddRecordingAt(kDiskBytes - (64 << 20), Spec(2, UnixTime(2024, 6, 2, 10, 0, 0), 40));
  const std::string end = std::to_string(kDiskBytes / 512);
  const std::string task = dir.File("deep.tak");

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stderr);
    freopen("/dev/null", "w", stdout);
    execl(ORVANE_CLI_PATH, ORVANE_CLI_PATH, "parse", disk.path().c_str(), "--brand", "hikvision",
          "--mode", "deep", "--end", end.c_str(), "--task", task.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 10000 && !std::filesystem::exists(task); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  kill(pid, SIGINT);
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  if (WEXITSTATUS(st) == 0) GTEST_SKIP() << "the parse ended before the interrupt";
  ASSERT_EQ(WEXITSTATUS(st), 130);

  Result r = RunCli("task-info " + Quote(task) + " --json", dir);
  const auto head = nlohmann::json::parse(r.out);
  EXPECT_LT(head["scan_position"].get<int64_t>(), head["region_end"].get<int64_t>());
  r = RunCli("parse " + Quote(disk.path()) + " --continue --task " + Quote(task), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli("list " + Quote(task) + " --json", dir);
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j["recordings"].size(), 2u);
  EXPECT_EQ(j["recordings"][1]["start"], "2024-06-02 10-00-00");
}

}  // namespace
}  // namespace orvane
