// Exports of Boli recordings hold exactly the frames that were planted.

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "device/source_device.h"
#include "engines/boli/boli_engine.h"
#include "recordings/export.h"
#include "scan/dispatch.h"
#include "synth/boli_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

synth::Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return synth::Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(BoliExport, EachChannelsFileIsItsFramesInTimeOrder) {
  synth::TempDir dir;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  const std::string path = dir.File("boli.img");
  synth::BoliDisk disk;
  {
    synth::SparseImage img(path, 32 << 20);
    const uint32_t t = synth::ReversedTime(2017, 2, 3, 4, 5, 6);
    std::vector<synth::BoliFrameSpec> mixed;
    for (int k = 0; k < 30; ++k)
      mixed.push_back({static_cast<uint8_t>(3 + k % 2), synth::AddReversedSeconds(t, k),
                       synth::TestFrames()[k]});
    disk = synth::BuildBoliDisk(img, {{(2 << 20) - 999, mixed}});
  }
  for (int mode : {ScanModeFast, ScanModeDeep}) {
    const DeviceInfo device = synth::ImageDevice(path);
    ScanParameters p;
    p.source = &device;
    p.task_path = dir.File("boli.tak");
    p.brand = BrandBoli;
    p.mode = mode;
    p.region_end = device.size;
    RunParse(p);
    LoadTaskPage(p, 0);
    ASSERT_EQ(p.recordings.size(), 2u);
    SourceDevice dev;
    dev.Open(device);
    for (size_t r = 0; r < 2; ++r) {
      synth::Bytes want;
      for (const auto& f : disk.recorded)
        if (f.channel == p.recordings[r].channel) want.insert(want.end(), f.bytes.begin(), f.bytes.end());
      const ExportedFile file =
          ExportRecording(dir.File("out"), p.recordings[r], p, dev, static_cast<int64_t>(r));
      ASSERT_TRUE(file.complete);
      EXPECT_EQ(ReadFile(file.path), want) << r;
      EXPECT_NE(file.path.find("channel " + std::to_string(p.recordings[r].channel)),
                std::string::npos);
      EXPECT_NE(file.path.find("2017-02-03"), std::string::npos) << file.path;
    }
  }
}

}  // namespace
}  // namespace orvane
