// The device commands of the command-line program, run as a user runs them.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <string>

#include "cli/cli_run.h"
#include "synth/test_support.h"

namespace {

using Result = orvane::cli_test::CliResult;

// Runs the CLI with `args`; stderr joins stdout when `with_stderr`.
Result RunCli(const std::string& args, bool with_stderr = false) {
  using namespace orvane::cli_test;
  return RunShell(CliCommand(args) + (with_stderr ? " 2>&1" : " 2>/dev/null"));
}

int Shell(const std::string& command) {
  const int rc = std::system(("{ set -e; " + command + "; } >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

// A disk with one NTFS partition at sector 2048, made by sfdisk and mkntfs.
class NtfsDiskCli : public ::testing::Test {
 protected:
  void SetUp() override {
    disk_ = dir_.File("disk.img");
    const std::string fs = dir_.File("ntfs.fs");
    ASSERT_EQ(Shell("truncate -s 32M '" + disk_ + "'; echo 'start=2048, size=32768, type=7' | "
                    "sfdisk -q '" + disk_ + "'; truncate -s 16M '" + fs +
                    "'; mkfs.ntfs -F -Q -q -p 2048 '" + fs + "'; dd if='" + fs + "' of='" + disk_ +
                    "' bs=1M seek=1 conv=notrunc,sparse"),
              0);
  }
  orvane::synth::TempDir dir_;
  std::string disk_;
};

TEST_F(NtfsDiskCli, PartitionsListsPartition0OfKindNtfs) {
  Result r = RunCli("partitions '" + disk_ + "'");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_NE(r.out.find("[#0] " + disk_ + " [disk] [32.0 MB]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Partition0"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("NTFS"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("1048576"), std::string::npos) << r.out;

  r = RunCli("partitions --json '" + disk_ + "'");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\"name\": \"Partition0\""), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"kind\": 1,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"start\": 1048576,"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("\"file_system\": \"NTFS\""), std::string::npos) << r.out;
}

TEST_F(NtfsDiskCli, HexdumpShowsTheBootSector) {
  Result r = RunCli("hexdump '" + disk_ + "' --offset 1048576 --length 16");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out,
            "0000000000100000  eb 52 90 4e 54 46 53 20  20 20 20 00 02 08 00 00  |.R.NTFS    .....|\n")
      << r.out;
  // The signature of the MBR, an unaligned request that ends the line early.
  r = RunCli("hexdump '" + disk_ + "' --offset 510 --length 2");
  ASSERT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 22), "00000000000001fe  55 a");
  EXPECT_NE(r.out.find("|U.|"), std::string::npos);
}

TEST_F(NtfsDiskCli, FailuresAndUsageErrors) {
  Result r = RunCli("hexdump '" + disk_ + "' --offset 40000000", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("错误"), std::string::npos);
  r = RunCli("partitions '" + dir_.File("missing.img") + "'", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("错误: 打开镜像文件失败"), std::string::npos) << r.out;
  EXPECT_EQ(RunCli("partitions").status, 2);
  EXPECT_EQ(RunCli("hexdump '" + disk_ + "' --offset x").status, 2);
  EXPECT_EQ(RunCli("hexdump '" + disk_ + "' --length 0").status, 2);
  // A drive number no enumeration gives fails before anything is opened.
  r = RunCli("partitions drive:100000", true);
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(RunCli("partitions drive:x").status, 1);
}

}  // namespace
