// orvane parse with what a user may get wrong: regions past the disk, the
// task file on the source, numbers out of range, pipes and folders as paths,
// and the exit statuses a script relies on.

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "cli/cli_run.h"
#include "engines/dahua/dahua_variant.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "synth/dahua_disk.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::CliResult;
using cli_test::Quote;

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kImageSectors = 8 * kMiB / 512;

class ParseCli : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = dir_.File("disk.img");
    synth::SparseImage(image_, 8 * kMiB);
  }
  // `orvane ARGS`; a command still running after 60 s (blocked on a pipe)
  // is ended and exits with 124.
  CliResult Run(const std::string& args) {
    const std::string err = dir_.File("err.txt");
    CliResult r =
        cli_test::RunShell("timeout 60 " + cli_test::CliCommand(args) + " 2>" + Quote(err));
    std::ifstream in(err);
    r.err.assign(std::istreambuf_iterator<char>(in), {});
    return r;
  }
  CliResult Parse(const std::string& args) { return Run("parse " + Quote(image_) + " " + args); }
  std::string Task(const std::string& name) const { return Quote(dir_.File(name)); }

  synth::TempDir dir_;
  std::string image_;
};

TEST_F(ParseCli, ARegionPastTheDiskEndsAtItsEnd) {
  for (const char* brand : {"hikvision", "dahua", "wfs", "jovision"}) {
    CliResult r = Parse(std::string("--brand ") + brand + " --mode deep --end " +
                        std::to_string(4 * kImageSectors) + " --task " + Task("t.tak"));
    EXPECT_EQ(r.status, 0) << brand << "\n" << r.err;
    EXPECT_EQ(r.err.find("错误"), std::string::npos) << brand << "\n" << r.err;
    const std::string n = std::to_string(kImageSectors);
    EXPECT_NE(r.out.find("scanned up to sector " + n + " of " + n), std::string::npos) << r.out;
  }
  CliResult r = Parse("--brand dahua --mode deep --start " + std::to_string(kImageSectors) +
                      " --end " + std::to_string(2 * kImageSectors) + " --task " + Task("t.tak"));
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("请正确设置参数信息"), std::string::npos) << r.err;
}

TEST_F(ParseCli, ATaskOnTheSourceIsRefused) {
  const std::vector<uint8_t> before = synth::ReadWholeFile(image_);
  for (const char* mode : {"deep", "fast"}) {
    CliResult r =
        Parse(std::string("--brand hikvision --mode ") + mode + " --task " + Quote(image_));
    EXPECT_EQ(r.status, 1) << r.err;
    EXPECT_NE(r.err.find("错误: 任务文件不能位于源设备上"), std::string::npos) << r.err;
  }
  EXPECT_EQ(synth::ReadWholeFile(image_), before);
}

TEST_F(ParseCli, NumbersOutOfRangeAreUsageErrors) {
  struct Case {
    std::string args;
    std::string names;  // a piece of the message that names what is allowed
  };
  const std::string deep = "--brand dahua --mode deep --task " + Task("t.tak") + " ";
  for (const Case& c : std::vector<Case>{
           {deep + "--smart=-5", "0 to " + std::to_string(kImageSectors - 1)},
           {deep + "--smart 9223372036854775807", "0 to " + std::to_string(kImageSectors - 1)},
           {deep + "--smart " + std::to_string(kImageSectors), "0 to "},
           {deep + "--version 3", "{1,2}"},
           {deep + "--version 0", "{1,2}"},
           {deep + "--buffer 511", "512 to 2147483647"},
           {deep + "--buffer 0", "512 to 2147483647"},
       }) {
    CliResult r = Parse(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.names), std::string::npos) << c.args << "\n" << r.err;
    EXPECT_FALSE(std::filesystem::exists(dir_.File("t.tak"))) << c.args;
  }
  EXPECT_EQ(Parse("--brand hikvision --mode deep --smart 2048 --version 2 --buffer 512 --end 4096 "
                  "--task " +
                  Task("t.tak"))
                .status,
            0);
}

TEST_F(ParseCli, ContinueIsForDeepTasksOnly) {
  TaskHead head;
  head.file_length = kTaskHeadSize;
  head.mode = ScanModeFast;
  head.brand = BrandDahua;
  head.version = 1;
  uint8_t bytes[kTaskHeadSize];
  head.Encode(bytes);
  std::ofstream(dir_.File("fast.tak"), std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes), sizeof bytes);
  const auto length = std::filesystem::file_size(dir_.File("fast.tak"));
  CliResult r = Parse("--continue --task " + Task("fast.tak"));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_NE(r.err.find("--continue resumes a deep parse"), std::string::npos) << r.err;
  EXPECT_EQ(std::filesystem::file_size(dir_.File("fast.tak")), length);
  r = Parse("--brand dahua --mode fast --continue --task " + Task("fast.tak"));
  EXPECT_EQ(r.status, 2) << r.err;
  EXPECT_EQ(std::filesystem::file_size(dir_.File("fast.tak")), length);
}

TEST_F(ParseCli, RefusalsExitOneWithoutOfferingToContinue) {
  // An empty disk is no WFS recorder; a Dahua-family disk whose area header
  // lost its marker is no recorder of the brand either.
  CliResult r = Parse("--brand wfs --mode fast --task " + Task("f.tak"));
  EXPECT_EQ(r.status, 1) << r.err;
  EXPECT_NE(r.err.find("错误: 此设备不是WFS监控系统"), std::string::npos) << r.err;
  for (const char* brand : {"dahua", "huayi"}) {
    const int32_t code = BrandFromText(brand);
    const std::string img = dir_.File(std::string(brand) + ".img");
    synth::DahuaDisk disk(code, img, 8 * kMiB);
    synth::DahuaAreaSpec area;
    area.base = 0x200000;
    area.data_offset = 0x100000;
    disk.AddArea(area);
    disk.Finish();
    disk.image().Wipe(area.base + 512 + 0x148, 4);
    r = Run("parse " + Quote(img) + " --brand " + brand + " --mode fast --task " + Task("f.tak"));
    EXPECT_EQ(r.status, 1) << brand << "\n" << r.err;
    EXPECT_NE(r.err.find(std::string(DahuaVariantFor(code).foreign_disk)), std::string::npos)
        << r.err;
  }
  for (const char* brand : {"wfs", "dahua"}) {
    r = Parse(std::string("--brand ") + brand + " --mode deep --buffer 2147483647 --task " +
              Task("d.tak"));
    EXPECT_EQ(r.status, 1) << brand << "\n" << r.err;
    EXPECT_NE(r.err.find("错误编码：008"), std::string::npos) << r.err;
    EXPECT_EQ(r.out.find("--continue"), std::string::npos) << r.out;
  }
}

TEST_F(ParseCli, PipesAndFoldersAreRefusedBeforeTheyAreOpened) {
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir_.File("folder.tak");
  std::filesystem::create_directory(folder);
  CliResult r =
      Run("parse " + Quote(fifo) + " --brand hikvision --mode fast --task " + Task("t.tak"));
  EXPECT_EQ(r.status, 1) << r.err;
  for (const std::string& task : {fifo, folder}) {
    r = Run("parse " + Quote(image_) + " --brand hikvision --mode fast --task " + Quote(task));
    EXPECT_EQ(r.status, 1) << task << "\n" << r.err;
    for (const char* command : {"task-info", "list"}) {
      r = Run(std::string(command) + " " + Quote(task));
      EXPECT_EQ(r.status, 1) << command << " " << task << "\n" << r.err;
      EXPECT_NE(r.err.find("打开任务文件失败"), std::string::npos) << command << "\n" << r.err;
    }
  }
  r = Run("task-info " + Task("missing.tak"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("错误: 打开任务文件失败"), std::string::npos) << r.err;
}

TEST_F(ParseCli, PartitionsOfAnUnreadableImageExitOne) {
  const std::string empty = dir_.File("empty.img");
  synth::SparseImage(empty, 0);
  CliResult r = Run("partitions " + Quote(empty));
  EXPECT_EQ(r.status, 1) << r.out << r.err;
  EXPECT_NE(r.err.find("错误"), std::string::npos) << r.err;
  EXPECT_EQ(Run("partitions " + Quote(image_)).status, 0);
}

}  // namespace
}  // namespace orvane
