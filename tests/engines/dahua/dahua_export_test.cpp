// From a Dahua-family disk to files a player opens: parse, load, export, and
// compare with what was planted.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

#include "device/byte_order.h"
#include "engines/dahua/dahua_test_util.h"
#include "recordings/export.h"
#include "scan/task_head.h"

namespace orvane {
namespace {

using namespace dahua_test;

constexpr int32_t kBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes Joined(const std::vector<Bytes>& parts, size_t skip_first = 0) {
  Bytes out;
  for (size_t i = 0; i < parts.size(); ++i)
    out.insert(out.end(), parts[i].begin() + static_cast<std::ptrdiff_t>(i == 0 ? skip_first : 0),
               parts[i].end());
  return out;
}

// Exports every loaded recording; returns the files' contents by row.
std::vector<Bytes> ExportAll(ScanParameters& p, const std::string& folder,
                             std::vector<std::string>* paths = nullptr) {
  SourceDevice dev;
  dev.Open(*p.source);
  std::vector<Bytes> out;
  for (size_t r = 0; r < p.recordings.size(); ++r) {
    const ExportedFile f =
        ExportRecording(folder, p.recordings[r], p, dev, static_cast<int64_t>(r));
    EXPECT_TRUE(f.complete) << f.path;
    out.push_back(ReadFile(f.path));
    if (paths) paths->push_back(f.path);
  }
  return out;
}

class DahuaExport : public ::testing::TestWithParam<int32_t> {
 protected:
  synth::TempDir tmp_;
  synth::CapturingSink sink_;
  ScopedNotifySink scope_{&sink_};
};

TEST_P(DahuaExport, FastRecordingsAreTheirWholeBlocks) {
  const int32_t brand = GetParam();
  const auto d = BuildStandard(brand, tmp_.File("d.img"));
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeFast, 1, tmp_.File("t.tak"));
  ParseAndLoad(p);
  ASSERT_EQ(p.recordings.size(), 3u);
  std::vector<std::string> paths;
  const auto files = ExportAll(p, tmp_.File("out"), &paths);
  EXPECT_EQ(files[0], Joined(d.a.blocks));
  EXPECT_EQ(files[1], Joined(d.b.blocks));
  // C stops inside its block: the zeros behind its frames come along.
  EXPECT_EQ(files[2], Joined(d.c.blocks));
  EXPECT_EQ(paths[0], tmp_.File("out") + "/channel 1/2016-05-03/0-2016-05-03 08-00-00-" +
                          FormatTimeText(TimePacked, LoadLE32(d.a.video.back().data() + 16)) +
                          ".dav");
}

TEST_P(DahuaExport, DeepVersionOneChainHoldsEveryFrameOnceInOrder) {
  const int32_t brand = GetParam();
  const auto d = BuildStandard(brand, tmp_.File("d.img"), /*wipe=*/true);
  const DeviceInfo dev = synth::ImageDevice(tmp_.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, brand, ScanModeDeep, 1, tmp_.File("t.tak"));
  ParseAndLoad(p);
  ASSERT_FALSE(p.recordings.empty());
  const auto files = ExportAll(p, tmp_.File("out"));
  // A crosses chunk ends in every way the chunk analysis tells apart; its
  // file is its blocks, no byte repeated or missing.
  EXPECT_EQ(files[0], Joined(d.a.blocks));
  // B and C land in the merged and leftover groups; each of their frames is
  // in one of those files.
  const uint32_t magic = DahuaVariantFor(brand).magic;
  std::set<Bytes> rest;
  for (size_t i = 1; i < files.size(); ++i)
    for (auto& f : synth::FramesIn(files[i], magic)) rest.insert(std::move(f));
  for (const auto* set : {&d.b.video, &d.c.video})
    for (const auto& f : *set) ASSERT_TRUE(rest.count(f));
}

INSTANTIATE_TEST_SUITE_P(Variants, DahuaExport, ::testing::ValuesIn(kBrands));

TEST(DahuaExportHeader, FastExportDropsTheLeadingBlockHeaderOnly) {
  synth::TempDir tmp;
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  synth::DahuaDisk disk(BrandDahua, tmp.File("d.img"), 8 << 20);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.block_size = kBlock;
  area.data_offset = 0x100000;
  disk.AddArea(area);
  synth::DahuaRecordingSpec r;
  r.blocks = {0, 1};
  r.block_header = 512;
  r.start_time = synth::PackTime(2019, 7, 1, 9, 0, 0);
  const auto planted = disk.Plant(r);
  disk.Finish();
  const DeviceInfo dev = synth::ImageDevice(tmp.File("d.img"));
  ScanParameters p;
  SetUpParse(p, dev, BrandDahua, ScanModeFast, 1, tmp.File("t.tak"));
  ParseAndLoad(p);
  ASSERT_EQ(p.recordings.size(), 1u);
  const auto files = ExportAll(p, tmp.File("out"));
  // The second block keeps its header: it is not at the start of the file.
  EXPECT_EQ(files[0], Joined(planted.blocks, 512));
}

// What ffprobe makes of a file: its format, its video codec and the frames
// it decodes.
std::map<std::string, std::string> Probe(const std::string& path) {
  const std::string cmd =
      "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
      "format=format_name:stream=codec_name,nb_read_frames -of default=nw=1 '" +
      path + "' 2>/dev/null";
  std::map<std::string, std::string> out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char line[256];
    while (fgets(line, sizeof line, f)) {
      std::string s(line);
      while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
      const size_t eq = s.find('=');
      if (eq != std::string::npos) out[s.substr(0, eq)] = s.substr(eq + 1);
    }
    pclose(f);
  }
  return out;
}

bool HaveFfprobe() { return std::system("ffprobe -version >/dev/null 2>&1") == 0; }

TEST(DahuaExportPlays, FastAndDeepExportsAreDhavWithEveryPlantedFrame) {
  if (!HaveFfprobe()) GTEST_SKIP() << "ffprobe is not installed";
  synth::TempDir tmp;
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  const auto d = BuildStandard(BrandDahua, tmp.File("d.img"));
  BuildStandard(BrandDahua, tmp.File("wiped.img"), /*wipe=*/true);
  const std::string want_frames = std::to_string(d.a.video.size());
  for (int32_t mode : {ScanModeFast, ScanModeDeep}) {
    const DeviceInfo dev =
        synth::ImageDevice(tmp.File(mode == ScanModeFast ? "d.img" : "wiped.img"));
    ScanParameters p;
    SetUpParse(p, dev, BrandDahua, mode, 1, tmp.File("t.tak"));
    ParseAndLoad(p);
    ASSERT_FALSE(p.recordings.empty());
    std::vector<std::string> paths;
    ExportAll(p, tmp.File(mode == ScanModeFast ? "fast" : "deep"), &paths);
    const auto probe = Probe(paths[0]);
    EXPECT_EQ(probe.count("format_name") ? probe.at("format_name") : "", "dhav") << mode;
    EXPECT_EQ(probe.count("codec_name") ? probe.at("codec_name") : "", "h264") << mode;
    EXPECT_EQ(probe.count("nb_read_frames") ? probe.at("nb_read_frames") : "", want_frames) << mode;
  }
}

}  // namespace
}  // namespace orvane
