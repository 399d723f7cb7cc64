// orvane recover, and parse without a brand: the brand recognised as the
// device tree and the auto-identify dialog recognise it, the same findings
// and files as parse and export, and a stopped run resumed.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <thread>

#include "cli/brand_disks.h"
#include "cli/cli_run.h"
#include "scan/identify.h"
#include "synth/identify_disks.h"

namespace orvane {
namespace {

using cli_test::CliResult;
using cli_test::Quote;
using cli_test::RunCli;

// Every video file under `folder` by its path relative to it.
std::map<std::string, synth::Bytes> VideosUnder(const std::string& folder) {
  std::map<std::string, synth::Bytes> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file() && e.path().extension() == ".dav")
      files[std::filesystem::relative(e.path(), folder).string()] = synth::ReadWholeFile(e.path());
  return files;
}

// What `parse` and `export` of the whole device give in `mode`.
std::map<std::string, synth::Bytes> ParseAndExport(const std::string& image, int32_t brand,
                                                   const char* mode, const synth::TempDir& dir) {
  const std::string task = dir.File(std::string("reference-") + mode + ".tak");
  const std::string out = dir.File(std::string("reference-") + mode);
  CliResult r = RunCli("parse " + Quote(image) + " --brand " + BrandSlug(brand) + " --mode " +
                           mode + " --task " + Quote(task),
                       dir);
  EXPECT_EQ(r.status, 0) << r.err;
  r = RunCli(
      "export " + Quote(task) + " --source " + Quote(image) + " --out " + Quote(out) + " --json",
      dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(nlohmann::json::parse(r.out)["exported"].get<size_t>(),
            nlohmann::json::parse(r.out)["recordings"].get<size_t>());
  return VideosUnder(out);
}

TEST(CliParseWithoutBrand, RecognisesTheBrandSaysHowAndRefusesAnUnknownDisk) {
  synth::TempDir dir;
  CliResult r = RunCli("--version", dir);
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "orvane 6.10\n");

  // By its first sectors.
  const auto boli = cli_test::BuildBrandDisk(BrandBoli, dir.File("boli.img"));
  r = RunCli(
      "parse " + Quote(boli.image) + " --mode fast --json --task " + Quote(dir.File("b.tak")), dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("波粒监控 (boli), recognised by its first sectors"), std::string::npos)
      << r.err;
  auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["brand"], BrandBoli);
  EXPECT_EQ(j["identified_by"], "first sectors");
  EXPECT_GT(j["recordings_on_page_0"].get<int>(), 0);

  // Nothing at the start, a Dahua frame where the second sample is taken.
  const std::string sampled = dir.File("sampled.img");
  {
    synth::SparseImage img(sampled, int64_t{320} << 20);
    img.Write(kSampleStart + img.size() / 5 + 4096, synth::StreamSignature(BrandDahua));
  }
  r = RunCli("parse " + Quote(sampled) + " --mode fast --task " + Quote(dir.File("s.tak")), dir);
  EXPECT_NE(r.err.find("大华监控 (dahua), recognised by its stream samples"), std::string::npos)
      << r.err;
  r = RunCli("task-info " + Quote(dir.File("s.tak")) + " --json", dir);
  EXPECT_EQ(nlohmann::json::parse(r.out)["brand"], BrandDahua);

  const std::string blank = dir.File("blank.img");
  { synth::SparseImage img(blank, 8 << 20); }
  for (const char* command : {"parse", "recover"}) {
    const std::string rest = std::string(command) == "parse"
                                 ? " --mode deep --task " + Quote(dir.File("n.tak"))
                                 : " --out " + Quote(dir.File("n"));
    r = RunCli(std::string(command) + " " + Quote(blank) + rest, dir);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.err.find("no recorder brand recognised"), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir.File("n.tak")));
  }
}

class CliRecover : public ::testing::TestWithParam<int32_t> {};

TEST_P(CliRecover, ExportsWhatParseAndExportWould) {
  synth::TempDir dir;
  const int32_t brand = GetParam();
  const auto disk = cli_test::BuildBrandDisk(brand, dir.File("disk.img"));
  const std::string out = dir.File("case");
  // The Dahua family's built disks keep their area headers away from the
  // sector the first-sector test looks at: their brand is named.
  const bool named = brand == BrandDahua || brand == BrandHuayi || brand == BrandMeidianBell ||
                     brand == BrandZhiling;
  const CliResult r =
      RunCli("recover " + Quote(disk.image) + " --out " + Quote(out) + " --format raw --json" +
                 (named ? std::string(" --brand ") + BrandSlug(brand) : std::string()),
             dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["brand"], brand);
  if (!named) {
    EXPECT_EQ(j["identified_by"], "first sectors");
  }
  // The recorder's index finds recordings on every one of these disks, so
  // no deep parse follows the fast one.
  ASSERT_EQ(j["parses"].size(), 1u);
  EXPECT_EQ(j["parses"][0]["mode"], "fast");
  EXPECT_TRUE(std::filesystem::exists(out + "/fast.tak"));
  const auto want = ParseAndExport(disk.image, brand, "fast", dir);
  ASSERT_FALSE(want.empty());
  EXPECT_TRUE(VideosUnder(out) == want);
  EXPECT_EQ(j["exported"], want.size());
}

INSTANTIATE_TEST_SUITE_P(Brands, CliRecover,
                         ::testing::Values(BrandHikvision, BrandDahua, BrandWfs, BrandBoli,
                                           BrandHuayi, BrandMeidianBell, BrandJovision,
                                           BrandZhiling),
                         [](const auto& info) { return std::string(BrandSlug(info.param)); });

TEST(CliRecoverDeep, AnIndexThatShowsNothingLeadsToTheDeepParse) {
  synth::TempDir dir;
  const std::string img = dir.File("disk.img");
  dahua_test::BuildStandard(BrandDahua, img, /*wipe=*/true);
  const std::string out = dir.File("case");
  const CliResult r =
      RunCli("recover " + Quote(img) + " --brand dahua --out " + Quote(out) + " --json", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j["parses"].size(), 2u);
  EXPECT_EQ(j["parses"][0]["recordings_on_page_0"], 0);
  EXPECT_EQ(j["parses"][1]["mode"], "deep");
  const auto want = ParseAndExport(img, BrandDahua, "deep", dir);
  ASSERT_FALSE(want.empty());
  EXPECT_TRUE(VideosUnder(out) == want);
}

TEST(CliRecoverDeep, AStoppedRunIsResumedByRunningItAgain) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions o;
  o.blocks = 1;
  constexpr int64_t kDiskBytes = int64_t{2} << 30;
  o.size = kDiskBytes;
  std::string img;
  {
    synth::HikvisionDisk disk(dir.File("disk.img"), o);
    disk.AddRecording(0, 0x100000, {1, synth::UnixTime(2024, 6, 1, 10, 0, 0), 40, 25});
    disk.AddRecordingAt(kDiskBytes - (64 << 20),
                        {2, synth::UnixTime(2024, 6, 2, 10, 0, 0), 40, 25});
    img = disk.path();
  }
  const std::string out = dir.File("case");
  const std::string deep_task = out + "/deep.tak";

  const pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    freopen("/dev/null", "w", stderr);
    freopen("/dev/null", "w", stdout);
    execl(ORVANE_CLI_PATH, ORVANE_CLI_PATH, "recover", img.c_str(), "--deep", "--out", out.c_str(),
          static_cast<char*>(nullptr));
    _exit(127);
  }
  for (int i = 0; i < 20000 && !std::filesystem::exists(deep_task); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  kill(pid, SIGINT);
  int st = 0;
  waitpid(pid, &st, 0);
  ASSERT_TRUE(WIFEXITED(st));
  if (WEXITSTATUS(st) == 0) GTEST_SKIP() << "the recovery ended before the interrupt";
  ASSERT_EQ(WEXITSTATUS(st), 130);
  EXPECT_TRUE(VideosUnder(out).empty());

  const CliResult r =
      RunCli("recover " + Quote(img) + " --deep --out " + Quote(out) + " --json", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find("going on with the deep parse"), std::string::npos) << r.err;
  const auto want = ParseAndExport(img, BrandHikvision, "deep", dir);
  ASSERT_EQ(want.size(), 2u);
  EXPECT_TRUE(VideosUnder(out) == want);
}

}  // namespace
}  // namespace orvane
