// A whole deep parse over a disk whose bad sector answers as Linux does: the
// bytes in front of it come back as a short read, the next read fails.

#include <gtest/gtest.h>

#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/hikvision_disk.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

TEST(DeepParseOnABadSector, OneRecordingIsFoundOnceAndTheFailureIsReported) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions options;
  options.size = 16 * kMiB;
  options.blocks = 1;
  synth::HikvisionDisk disk(dir.File("disk.img"), options);
  synth::HikRecordingSpec spec;
  spec.start_unix = synth::UnixTime(2024, 7, 1, 10, 0, 0);
  spec.frames = 40;
  const synth::HikPlanted a = disk.AddRecordingAt(2 * kMiB + 100, spec);
  disk.WipeIndex();

  // The window two steps behind the recording's shares its buffer.
  DeviceInfo device =
      synth::LinuxBadSectorImageDevice(disk.path(), {{(6 * kMiB + 4096) / 512, 1}});
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  ScanParameters p;
  p.source = &device;
  p.brand = BrandHikvision;
  p.mode = ScanModeDeep;
  p.task_path = dir.File("t.tak");
  p.region_start = 0;
  p.region_end = device.size;
  RunParse(p);
  LoadTaskPage(p, 0);
  EXPECT_TRUE(sink.Has("读取设备失败,可能存在坏道"));
  ASSERT_EQ(p.recordings.size(), 1u);
  EXPECT_EQ(p.recordings[0].fragments[0].offset, a.offset);
  EXPECT_EQ(p.recordings[0].size, a.deep_length);
}

}  // namespace
}  // namespace orvane
