// From a disk to playable files: parse, load, export, and what a player sees.

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "engines/hikvision/hikvision_test_util.h"
#include "recordings/export.h"
#include "recordings/recording_rows.h"

namespace orvane::test {
namespace {

using synth::HikPlanted;
using synth::HikRecordingSpec;
using synth::HikvisionDisk;
using synth::HikvisionDiskOptions;
using synth::UnixTime;

synth::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return synth::Bytes(std::istreambuf_iterator<char>(in), {});
}

// Frames ffprobe decodes from the first video stream, and its codec.
std::string Probe(const std::string& path) {
  const std::string cmd = "ffprobe -v error -count_frames -select_streams v:0 -show_entries "
                          "stream=codec_name,nb_read_frames -of csv=p=0 '" + path + "' 2>/dev/null";
  std::string out;
  if (FILE* f = popen(cmd.c_str(), "r")) {
    char buf[256];
    while (fgets(buf, sizeof buf, f)) out += buf;
    pclose(f);
  }
  while (!out.empty() && (out.back() == '\n' || out.back() == ',')) out.pop_back();
  return out;
}

struct Exported {
  std::vector<std::string> paths;
};

Exported ExportAll(ScanParameters& p, const std::string& out) {
  RecordingRows rows;
  rows.Bind(&p.recordings);
  rows.SetAllTicked(true);
  Exported e;
  ExportRequest req;
  req.base_folder = out;
  RunExport(p, rows, req, [&](const ExportedFile& f) {
    EXPECT_TRUE(f.created && f.complete);
    e.paths.push_back(f.path);
  });
  EXPECT_EQ(rows.TickedCount(), 0u);
  return e;
}

TEST(HikvisionExport, FilesHoldThePlantedBytesAndPlay) {
  synth::TempDir dir;
  HikvisionDiskOptions o;
  o.blocks = 2;
  HikvisionDisk disk(dir.File("disk.img"), o);
  HikRecordingSpec s;
  s.channel = 3;
  s.start_unix = UnixTime(2024, 2, 29, 23, 59, 50);
  s.frames = 400;
  const HikPlanted a = disk.AddRecording(0, 0x300000, s);
  s.channel = 255;
  s.start_unix = UnixTime(2024, 3, 2, 1, 0, 0);
  s.frames = 75;
  const HikPlanted b = disk.AddRecording(1, 0x10000, s);

  ScopedNotifySink quiet(nullptr);
  HikRun fast(synth::ImageDevice(disk.path()), dir.File("fast.tak"), ScanModeFast);
  fast.Parse();
  fast.Load();
  const Exported ef = ExportAll(fast.p, dir.File("fast"));
  ASSERT_EQ(ef.paths.size(), 2u);
  EXPECT_EQ(ef.paths[0],
            dir.File("fast") + "/channel 3/2024-02-29/0-2024-02-29 23-59-50-2024-03-01 00-00-05.dav");
  EXPECT_EQ(ef.paths[1], dir.File("fast") + "/2024-03-02/1-2024-03-02 01-00-00-2024-03-02 01-00-02.dav");
  EXPECT_EQ(ReadFile(ef.paths[0]), a.bytes);
  EXPECT_EQ(ReadFile(ef.paths[1]), b.bytes);

  disk.WipeIndex();
  // Two short regions instead of the whole sparse gigabyte between them.
  HikRun deep(synth::ImageDevice(disk.path()), dir.File("deep.tak"), ScanModeDeep);
  deep.p.region_end = 8 * (1 << 20);
  deep.Parse();
  deep.Load();
  const Exported ed = ExportAll(deep.p, dir.File("deep"));
  ASSERT_EQ(ed.paths.size(), 1u);
  EXPECT_EQ(ed.paths[0],
            dir.File("deep") + "/channel 0/2024-02-29/0-2024-02-29 23-59-50-2024-03-01 00-00-05.dav");
  const synth::Bytes got = ReadFile(ed.paths[0]);
  EXPECT_EQ(got, synth::Bytes(a.bytes.begin(), a.bytes.begin() + a.deep_length));
  EXPECT_EQ(Probe(ed.paths[0]), "h264,400");

  HikRun deep2(synth::ImageDevice(disk.path()), dir.File("deep2.tak"), ScanModeDeep);
  deep2.p.region_start = disk.BlockBase(1);
  deep2.p.region_end = disk.BlockBase(1) + 4 * (1 << 20);
  deep2.Parse();
  deep2.Load();
  const Exported ed2 = ExportAll(deep2.p, dir.File("deep2"));
  ASSERT_EQ(ed2.paths.size(), 1u);
  EXPECT_EQ(ReadFile(ed2.paths[0]), synth::Bytes(b.bytes.begin(), b.bytes.begin() + b.deep_length));
  EXPECT_EQ(Probe(ed2.paths[0]), "h264,75");
}

}  // namespace
}  // namespace orvane::test
