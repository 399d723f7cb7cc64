// Exports of WFS recordings hold exactly the planted frame streams, whether
// the recordings came from the index or from a deep parse of either version.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/source_device.h"
#include "engines/wfs/wfs_test_util.h"
#include "recordings/export.h"

namespace orvane {
namespace {

using synth::Bytes;
using synth::PackTime;
using synth::WfsDisk;
using wfs_test::WfsRun;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A recording's segments as written: its stream, then zeros to the end of
// its last segment.
Bytes SegmentBytes(const synth::WfsPlanted& rec, uint32_t segment_size) {
  Bytes b = rec.stream;
  b.resize(rec.segments.size() * segment_size, 0);
  return b;
}

struct Exported {
  std::vector<ExportedFile> files;
  std::vector<Bytes> contents;
};

Exported ExportAll(ScanParameters& p, const std::string& folder) {
  SourceDevice dev;
  dev.Open(*p.source);
  Exported e;
  for (size_t r = 0; r < p.recordings.size(); ++r) {
    e.files.push_back(ExportRecording(folder, p.recordings[r], p, dev, static_cast<int64_t>(r)));
    EXPECT_TRUE(e.files.back().complete) << r;
    e.contents.push_back(ReadFile(e.files.back().path));
  }
  return e;
}

class WfsExport : public ::testing::Test {
 protected:
  WfsExport() {
    disk_.Plant(1, PackTime(2016, 5, 17, 10, 0, 0), {1, 4, 7});
    disk_.Plant(2, PackTime(2016, 5, 17, 12, 0, 0), {2, 5, 9});
    disk_.Plant(3, PackTime(2016, 5, 17, 14, 0, 0), {3, 6, 11});
  }
  void Parse(WfsRun& run, int32_t mode, int32_t version = 1) {
    wfs_test::SetUp(run, synth::ImageDevice(disk_.path()), dir_.File("t.tak"), mode, version);
    run.params.smart_value = disk_.geometry().smart_value;
    wfs_test::ParseAndLoad(run.params);
  }
  synth::TempDir dir_;
  synth::CapturingSink sink_;
  ScopedNotifySink scoped_{&sink_};
  WfsDisk disk_{dir_.File("wfs.img")};
};

TEST_F(WfsExport, FastRecordingsAreTheirSegmentsInPlayingOrder) {
  WfsRun run;
  Parse(run, ScanModeFast);
  ASSERT_EQ(run.params.recordings.size(), 3u);
  const Exported e = ExportAll(run.params, dir_.File("fast"));
  for (size_t k = 0; k < 3; ++k) {
    const auto& want = disk_.planted()[k];
    EXPECT_EQ(e.contents[k], SegmentBytes(want, disk_.segment_size())) << k;
    EXPECT_NE(e.files[k].path.find("/channel " + std::to_string(want.channel) + "/"),
              std::string::npos)
        << e.files[k].path;
  }
  EXPECT_NE(e.files[2].path.find("/2016-05-17/"), std::string::npos) << e.files[2].path;
}

TEST_F(WfsExport, DeepRecordingsOfBothVersionsHoldTheStreamsOfAWipedDisk) {
  disk_.WipeIndex();
  WfsRun v1;
  Parse(v1, ScanModeDeep, 1);
  ASSERT_EQ(v1.params.recordings.size(), 3u);
  const Exported e1 = ExportAll(v1.params, dir_.File("deep1"));
  for (size_t k = 0; k < 3; ++k)
    EXPECT_EQ(e1.contents[k], SegmentBytes(disk_.planted()[k], disk_.segment_size())) << k;

  // Version 2 groups the blocks by time alone: one file of all three.
  disk_.WipeIndex();
  WfsRun v2;
  Parse(v2, ScanModeDeep, 2);
  ASSERT_EQ(v2.params.recordings.size(), 1u);
  const Exported e2 = ExportAll(v2.params, dir_.File("deep2"));
  Bytes all;
  for (const auto& rec : disk_.planted()) {
    const Bytes b = SegmentBytes(rec, disk_.segment_size());
    all.insert(all.end(), b.begin(), b.end());
  }
  EXPECT_EQ(e2.contents[0], all);
}

}  // namespace
}  // namespace orvane
