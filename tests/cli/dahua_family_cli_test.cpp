// orvane parse / list / export on the disks of the Dahua family, fast and
// deep, with the smart value given on the command line.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/cli_run.h"
#include "engines/dahua/dahua_test_util.h"

namespace orvane {
namespace {

using cli_test::CliResult;
using cli_test::Quote;
using cli_test::RunCli;
using synth::Bytes;

Bytes Joined(const std::vector<Bytes>& parts) {
  Bytes out;
  for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

// The paths of the export's "PATH\tBYTES" lines.
std::vector<std::string> ExportedPaths(const std::string& out) {
  std::vector<std::string> paths;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);)
    if (const size_t tab = line.find('\t'); tab != std::string::npos)
      paths.push_back(line.substr(0, tab));
  return paths;
}

struct Brand {
  const char* name;
  int32_t code;
};
void PrintTo(const Brand& b, std::ostream* os) { *os << b.name; }

class DahuaFamilyCli : public ::testing::TestWithParam<Brand> {
 protected:
  synth::TempDir dir_;
};

// Blocks off the Dahua default grid, so that only the given value puts the
// deep scan's chunks on the block starts.
constexpr int64_t kShift = 0x0F5000;

TEST_P(DahuaFamilyCli, FastParseListAndExport) {
  const Brand b = GetParam();
  const std::string img = dir_.File("d.img"), task = dir_.File("fast.tak");
  const auto d = dahua_test::BuildStandard(b.code, img, false, kShift);
  CliResult r = RunCli(
      "parse " + Quote(img) + " --brand " + b.name + " --mode fast --task " + Quote(task), dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(std::string(DahuaVariantFor(b.code).fast_done)), std::string::npos) << r.err;

  r = RunCli("list " + Quote(task) + " --json", dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["brand"], b.code);
  EXPECT_EQ(j["brand_name"], b.name);
  EXPECT_EQ(j["mode"], 1);
  ASSERT_EQ(j["recordings"].size(), 3u);
  const auto& a = j["recordings"][0];
  EXPECT_EQ(a["channel"], 1);
  EXPECT_EQ(a["start"], "2016-05-03 08-00-00");
  EXPECT_EQ(a["fragments"].size(), 12u);
  EXPECT_EQ(a["fragments"][0]["offset"], 0x200000 + kShift);
  EXPECT_EQ(j["recordings"][1]["channel"], 2);
  EXPECT_EQ(j["recordings"][2]["channel"], 3);

  r = RunCli(
      "export " + Quote(task) + " --source " + Quote(img) + " --out " + Quote(dir_.File("out")),
      dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto paths = ExportedPaths(r.out);
  ASSERT_EQ(paths.size(), 3u) << r.out;
  EXPECT_NE(paths[0].find("/channel 1/2016-05-03/0-2016-05-03 08-00-00-"), std::string::npos);
  EXPECT_EQ(synth::ReadWholeFile(paths[0]), Joined(d.a.blocks));
  EXPECT_EQ(synth::ReadWholeFile(paths[1]), Joined(d.b.blocks));
  EXPECT_EQ(synth::ReadWholeFile(paths[2]), Joined(d.c.blocks));
}

TEST_P(DahuaFamilyCli, DeepParseWithTheSmartValueGiven) {
  const Brand b = GetParam();
  const std::string img = dir_.File("d.img"), task = dir_.File("deep.tak");
  const auto d = dahua_test::BuildStandard(b.code, img, /*wipe=*/true, kShift);
  const std::string smart = std::to_string(kShift / 512);
  CliResult r =
      RunCli("parse " + Quote(img) + " --brand " + b.name +
                 " --mode deep --buffer 262144 --smart " + smart + " --task " + Quote(task),
             dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.err.find(std::string(DahuaVariantFor(b.code).deep_done)), std::string::npos) << r.err;

  r = RunCli("task-info " + Quote(task) + " --json", dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto head = nlohmann::json::parse(r.out);
  EXPECT_EQ(head["smart_value"], kShift);
  EXPECT_EQ(head["scan_position"], head["region_end"]);

  r = RunCli("list " + Quote(task) + " --json", dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["mode"], 2);
  ASSERT_FALSE(j["recordings"].empty());
  EXPECT_EQ(j["recordings"][0]["channel"], 1);
  EXPECT_EQ(j["recordings"][0]["fragments"][0]["offset"], d.a.offsets.front());

  r = RunCli("export " + Quote(task) + " --source " + Quote(img) + " --out " +
                 Quote(dir_.File("out")) + " --rows 0",
             dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto paths = ExportedPaths(r.out);
  ASSERT_EQ(paths.size(), 1u) << r.out;
  EXPECT_EQ(synth::ReadWholeFile(paths[0]), Joined(d.a.blocks));

  // Without the value the detector decides; on blocks that never break off
  // it finds nothing and the variant's default grid is used.
  r = RunCli("parse " + Quote(img) + " --brand " + b.name + " --mode deep --buffer 262144 --task " +
                 Quote(task),
             dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  r = RunCli("task-info " + Quote(task) + " --json", dir_);
  EXPECT_EQ(nlohmann::json::parse(r.out)["smart_value"],
            DahuaVariantFor(b.code).default_smart_value);
}

INSTANTIATE_TEST_SUITE_P(Brands, DahuaFamilyCli,
                         ::testing::Values(Brand{"dahua", BrandDahua}, Brand{"huayi", BrandHuayi},
                                           Brand{"meidianbell", BrandMeidianBell},
                                           Brand{"zhiling", BrandZhiling}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane
