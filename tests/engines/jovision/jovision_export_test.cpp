// Exports of Jovision recordings hold exactly the planted bytes: a fast
// recording its pieces with their trims taken off, a deep recording its
// files one after another.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/source_device.h"
#include "engines/jovision/jovision_engine.h"
#include "recordings/export.h"
#include "scan/dispatch.h"
#include "synth/hole_image_device.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using synth::kJvsArea;

synth::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return synth::Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(JvsExport, FastAndDeepRecordingsExportThePlantedBytes) {
  synth::TempDir dir;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  const std::string path = dir.File("jvs.img");
  synth::JvsDisk disk;
  std::vector<synth::JvsFilePlanted> files;
  {
    synth::SparseImage img(path, 2 * kJvsArea);
    const synth::Bytes& data = synth::TestStream();
    disk = synth::BuildJvsDisk(
        img, {0, 1},
        {{2, 1650000000, 4000, data, {{1, 0x100000, 0, 2}, {0, 0x3000000, 0, 5}, {1, 0x200, 0, 0}}, 1}});
    files.push_back(synth::PlantJvsFile(img, 0x6000000, 6, synth::TestStream()));
    files.push_back(synth::PlantJvsFile(img, kJvsArea + 0x6000000, 6, synth::TestStream()));
  }
  const DeviceInfo device = synth::HoleAwareImageDevice(path);
  SourceDevice dev;
  dev.Open(device);
  ScanParameters p;
  p.source = &device;
  p.task_path = dir.File("jvs.tak");
  p.brand = BrandJovision;
  p.region_end = device.size;

  p.mode = ScanModeFast;
  RunParse(p);
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), 1u);
  ExportedFile f = ExportRecording(dir.File("out"), p.recordings[0], p, dev, 0);
  ASSERT_TRUE(f.complete);
  EXPECT_EQ(ReadFile(f.path), disk.recordings[0].data);
  EXPECT_NE(f.path.find("channel 2"), std::string::npos) << f.path;

  p.mode = ScanModeDeep;
  RunParse(p);
  LoadTaskPage(p, 0);
  ASSERT_EQ(p.recordings.size(), 1u);
  EXPECT_EQ(p.recordings[0].channel, 6);
  f = ExportRecording(dir.File("deep"), p.recordings[0], p, dev, 0);
  ASSERT_TRUE(f.complete);
  synth::Bytes want;
  for (const auto& file : files) want.insert(want.end(), file.bytes.begin(), file.bytes.end());
  EXPECT_EQ(ReadFile(f.path), want);
}

}  // namespace
}  // namespace orvane
