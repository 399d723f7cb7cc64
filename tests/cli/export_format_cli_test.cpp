// orvane export --format: raw files as before, MP4 files on request, and a
// clear refusal of any other format.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "cli/cli_run.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::Quote;
using cli_test::RunCli;

// The videos an export wrote, beside which it leaves its report and checksums.
std::vector<std::string> FilesUnder(const std::string& folder) {
  std::vector<std::string> files;
  if (!std::filesystem::exists(folder)) return files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder)) {
    const std::string ext = e.path().extension().string();
    if (e.is_regular_file() && (ext == ".dav" || ext == ".mp4"))
      files.push_back(e.path().filename().string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TEST(CliExportFormat, RawByDefaultMp4OnRequestNothingElse) {
  synth::TempDir dir;
  synth::HikvisionDisk disk(dir.File("disk.img"));
  disk.AddRecording(0, 0x100000, {2, synth::UnixTime(2024, 6, 1, 10, 0, 0), 60, 25});
  const std::string task = dir.File("t.tak");
  ASSERT_EQ(
      RunCli("parse " + Quote(disk.path()) + " --brand hikvision --mode fast --task " + Quote(task),
             dir)
          .status,
      0);
  const std::string common = "export " + Quote(task) + " --source " + Quote(disk.path());

  auto r = RunCli(common + " --out " + Quote(dir.File("raw")), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesUnder(dir.File("raw")),
            std::vector<std::string>{"0-2024-06-01 10-00-00-2024-06-01 10-00-02.dav"});

  r = RunCli(common + " --format mp4 --out " + Quote(dir.File("mp4")), dir);
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(FilesUnder(dir.File("mp4")),
            std::vector<std::string>{"0-2024-06-01 10-00-00-2024-06-01 10-00-02.mp4"});
  EXPECT_NE(r.out.find(".mp4\t"), std::string::npos) << r.out;
  // The folder's checksums cover the MP4 file as they cover raw ones.
  const std::vector<uint8_t> sum_bytes = synth::ReadWholeFile(dir.File("mp4") + "/SHA256SUMS");
  const std::string sums(sum_bytes.begin(), sum_bytes.end());
  EXPECT_NE(sums.find("0-2024-06-01 10-00-00-2024-06-01 10-00-02.mp4\n"), std::string::npos)
      << sums;
  EXPECT_EQ(std::system(("cd " + Quote(dir.File("mp4")) + " && sha256sum -c --quiet SHA256SUMS")
                            .c_str()),
            0);

  r = RunCli(common + " --format avi --out " + Quote(dir.File("avi")), dir);
  EXPECT_EQ(r.status, 2);
  EXPECT_TRUE(FilesUnder(dir.File("avi")).empty());
}

}  // namespace
}  // namespace orvane
