// Every brand's disk as an E01 segment set and as a split raw image: parse,
// list and export give exactly what the raw image gives, and a mirror
// backup of the E01 gives back the raw image.

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>

#include "cli/brand_disks.h"
#include "cli/cli_run.h"
#include "synth/image_formats.h"

namespace orvane {
namespace {

using cli_test::CliResult;
using cli_test::Quote;
using cli_test::RunCli;

// Every video under `folder` by its path relative to it (the report beside
// them names the source, so it differs from one image form to the next).
std::map<std::string, synth::Bytes> FilesUnder(const std::string& folder) {
  std::map<std::string, synth::Bytes> files;
  for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
    if (e.is_regular_file() && e.path().extension() == ".dav")
      files[std::filesystem::relative(e.path(), folder).string()] = synth::ReadWholeFile(e.path());
  return files;
}

struct Source {
  int32_t brand;
  bool compress;  // the E01's chunks
  bool numbered;  // the split image's names: .001 or .aa
};
void PrintTo(const Source& s, std::ostream* os) { *os << BrandSlug(s.brand); }

class ImageSources : public ::testing::TestWithParam<Source> {
 protected:
  // Parses `device` in `mode` and exports everything found; returns the
  // listed recordings and the exported files.
  std::pair<nlohmann::json, std::map<std::string, synth::Bytes>> ParseAndExport(
      const std::string& device, const char* mode, const std::string& extra,
      const std::string& name) {
    const std::string task = dir_.File(name + ".tak"), out = dir_.File(name + "-out");
    CliResult r = RunCli("parse " + Quote(device) + " --brand " + BrandSlug(GetParam().brand) +
                             " --mode " + mode + " " + extra + " --task " + Quote(task),
                         dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    r = RunCli("list " + Quote(task) + " --json", dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    nlohmann::json list = nlohmann::json::parse(r.out, nullptr, false);
    r = RunCli("export " + Quote(task) + " --source " + Quote(device) + " --out " + Quote(out),
               dir_);
    EXPECT_EQ(r.status, 0) << r.err;
    return {list, FilesUnder(out)};
  }

  synth::TempDir dir_;
};

TEST_P(ImageSources, E01AndSplitImagesGiveTheResultsOfTheRawImage) {
  if (!synth::HaveEwfacquire()) GTEST_SKIP() << "ewfacquire is not installed";
  const Source s = GetParam();
  const cli_test::BrandDisk disk = cli_test::BuildBrandDisk(s.brand, dir_.File("disk.img"));
  std::vector<std::string> others;
  others.push_back(synth::WriteEwfImage(disk.image, dir_.File("disk-ewf"), s.compress));
  ASSERT_FALSE(others.back().empty());
  ASSERT_TRUE(std::filesystem::exists(dir_.File("disk-ewf.E02"))) << "one segment only";
  // split writes every byte of a sparse image; the 1 GiB Hikvision disk is
  // left to the E01.
  if (s.brand != BrandHikvision) {
    others.push_back(synth::SplitRawImage(disk.image, dir_.File("disk-split"),
                                          s.numbered ? 4'999'999 : 3'333'333, s.numbered));
    ASSERT_FALSE(others.back().empty());
  }

  for (const char* mode : {"fast", "deep"}) {
    SCOPED_TRACE(mode);
    const std::string extra = std::string(mode) == "deep" ? disk.deep_args : "";
    const auto raw = ParseAndExport(disk.image, mode, extra, std::string("raw-") + mode);
    ASSERT_FALSE(raw.first.is_discarded());
    EXPECT_FALSE(raw.first["recordings"].empty());
    for (size_t i = 0; i < others.size(); ++i) {
      SCOPED_TRACE(others[i]);
      const auto got = ParseAndExport(others[i], mode, extra, mode + std::to_string(i));
      EXPECT_EQ(got.first, raw.first);
      EXPECT_TRUE(got.second == raw.second)
          << got.second.size() << " files, not " << raw.second.size();
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Brands, ImageSources,
    ::testing::Values(Source{BrandHikvision, true, true}, Source{BrandDahua, false, true},
                      Source{BrandWfs, true, false}, Source{BrandBoli, false, false},
                      Source{BrandHuayi, true, true}, Source{BrandMeidianBell, false, false},
                      Source{BrandJovision, false, true}, Source{BrandZhiling, true, false}),
    [](const auto& info) { return std::string(BrandSlug(info.param.brand)); });

TEST(ImageSourcesBackup, MirrorBackupOfAnE01GivesBackTheRawImage) {
  if (!synth::HaveEwfacquire()) GTEST_SKIP() << "ewfacquire is not installed";
  synth::TempDir dir;
  const cli_test::BrandDisk disk = cli_test::BuildBrandDisk(BrandDahua, dir.File("disk.img"));
  const std::string e01 = synth::WriteEwfImage(disk.image, dir.File("disk-ewf"), true);
  ASSERT_FALSE(e01.empty());
  const std::string copy = dir.File("copy.img");
  const CliResult r = RunCli("image " + Quote(e01) + " " + Quote(copy) + " --json", dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto j = nlohmann::json::parse(r.out);
  EXPECT_EQ(j["complete"], true);
  EXPECT_EQ(j["bytes"], std::filesystem::file_size(disk.image));
  const synth::Bytes original = synth::ReadWholeFile(disk.image);
  EXPECT_TRUE(synth::ReadWholeFile(copy) == original);
}

}  // namespace
}  // namespace orvane
