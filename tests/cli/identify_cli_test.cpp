// orvane identify, run as the user runs it.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>

#include "cli/cli_run.h"
#include "synth/identify_disks.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::CliResult;

CliResult RunIdentify(const std::string& args, const synth::TempDir& dir) {
  return cli_test::RunCli("identify " + args, dir);
}

TEST(IdentifyCli, PrintsTheTreeTextAndWithStreamTheSampledText) {
  synth::TempDir dir;
  const std::string boli = dir.File("boli.img"), dahua = dir.File("dahua.img");
  {
    synth::SparseImage img(boli, 400 << 20);
    synth::WriteDiskSignature(img, 4);
    img.Write(0xBF20000 + 12345, synth::StreamSignature(4));
  }
  {
    synth::SparseImage img(dahua, 16 << 20);
    synth::WriteDiskSignature(img, 2);
  }
  CliResult r = RunIdentify("'" + boli + "' '" + dahua + "'", dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, boli + "\t波粒\n" + dahua + "\t大华\n");

  r = RunIdentify("--stream '" + boli + "' '" + dahua + "'", dir);
  EXPECT_EQ(r.out, boli + "\t波粒\t波粒监控\n" + dahua + "\t大华\t未知监控\n");

  r = RunIdentify("--json --stream '" + boli + "' '" + dir.File("missing.img") + "'", dir);
  EXPECT_EQ(r.status, 1);
  const auto j = nlohmann::json::parse(r.out);
  ASSERT_EQ(j.size(), 2u);
  EXPECT_EQ(j[0]["disk_brand"], 4);
  EXPECT_EQ(j[0]["stream_text"], "波粒监控");
  EXPECT_EQ(j[1]["disk_text"], "unKnown");
  EXPECT_NE(r.err.find("错误: "), std::string::npos) << r.err;
}

}  // namespace
}  // namespace orvane
