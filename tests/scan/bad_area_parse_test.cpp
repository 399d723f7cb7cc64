// A deep parse over a drive with a large bad area: it skips ahead instead of
// failing window after window, keeps the unread area in TASK.map, and a
// continued parse over the drive, once it reads again, finds what lay there.

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

#include "imaging/rescue_map.h"
#include "scan/bad_area_skip.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "synth/hikvision_disk.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

void DeepParse(ScanParameters& p, const DeviceInfo& device, const std::string& task) {
  p.source = &device;
  p.brand = BrandHikvision;
  p.mode = ScanModeDeep;
  p.task_path = task;
  p.region_end = device.size;
  RunParse(p);
  LoadTaskPage(p, 0);
}

bool Found(const ScanParameters& p, const synth::HikPlanted& r) {
  for (const auto& e : p.recordings)
    if (e.fragments[0].offset == r.offset && e.size == r.deep_length) return true;
  return false;
}

// 1 GiB with a recording before, inside and after a bad area of 256 MiB.
struct AreaDisk {
  synth::TempDir dir;
  std::unique_ptr<synth::HikvisionDisk> disk;
  synth::HikPlanted before, inside, after;
  AreaDisk() {
    synth::HikvisionDiskOptions options;
    options.size = 1024 * kMiB;
    options.blocks = 1;
    disk = std::make_unique<synth::HikvisionDisk>(dir.File("disk.img"), options);
    synth::HikRecordingSpec spec;
    spec.frames = 40;
    spec.start_unix = synth::UnixTime(2024, 7, 1, 10, 0, 0);
    before = disk->AddRecordingAt(100 * kMiB + 512, spec);
    spec.start_unix += 3600;
    inside = disk->AddRecordingAt(300 * kMiB, spec);
    spec.start_unix += 3600;
    after = disk->AddRecordingAt(700 * kMiB, spec);
    disk->WipeIndex();
  }
};

// Stops the parse once its position passed `step` (2 MiB steps).
class StopAt final : public NotifySink {
 public:
  StopAt(ScanParameters& p, int64_t step) : p_(p), step_(step) {}
  void Text(NotifyCode, std::string_view) override {}
  void Found(const ScanProgress&) override {}
  void Range(int64_t) override {}
  void Position(int64_t step) override {
    if (step >= step_) p_.stop.store(1);
  }
  void Totals(const ExportTotals&) override {}

 private:
  ScanParameters& p_;
  int64_t step_;
};

TEST(DeepParseOverABadArea, SkipsItMapsItAndAContinueFindsWhatLayThere) {
  AreaDisk d;
  synth::HikvisionDisk& disk = *d.disk;
  const synth::HikPlanted &before = d.before, &inside = d.inside, &after = d.after;
  synth::TempDir& dir = d.dir;

  const int64_t bad_begin = 256 * kMiB + 4096, bad_end = 512 * kMiB;
  auto log = std::make_shared<synth::BadSectorLog>();
  const DeviceInfo failing = synth::LinuxBadSectorImageDevice(
      disk.path(), {{bad_begin / 512, (bad_end - bad_begin) / 512}}, log);
  const std::string task = dir.File("t.tak");
  synth::CapturingSink sink;
  {
    ScopedNotifySink scoped(&sink);
    ScanParameters p;
    DeepParse(p, failing, task);
    EXPECT_EQ(p.head.scan_position, p.region_end);
    EXPECT_TRUE(Found(p, before));
    EXPECT_TRUE(Found(p, after));
    EXPECT_FALSE(Found(p, inside));
  }
  // Window by window the area costs 128 failed reads; skipping ahead (27
  // here) a quarter of that or less.
  EXPECT_LE(log->failed_calls.load(), 32);

  RescueMap map;
  std::string error;
  ASSERT_TRUE(LoadRescueMap(TaskMapPath(task), map, error)) << error;
  const std::vector<ByteRange> unread = BadAreaSkip(map).UnreadAreas();
  ASSERT_EQ(unread.size(), 1u);
  EXPECT_EQ(unread[0].begin, bad_begin);
  EXPECT_GE(unread[0].end, bad_end);
  EXPECT_LT(unread[0].end, bad_end + 16 * kMiB);
  EXPECT_EQ(map.Bytes(kAreaFinished), map.end() - map.begin() - unread[0].length());
  EXPECT_EQ(sink.Count(BadAreaText(unread[0])), 1);

  // The drive reads again (or the area was imaged since): the continue of
  // the finished parse tries the mapped area and adds what it finds.
  const DeviceInfo healed = synth::ImageDevice(disk.path());
  ScopedNotifySink quiet(nullptr);
  ScanParameters p;
  p.continue_flag = 1;
  p.region_start = healed.size;
  DeepParse(p, healed, task);
  EXPECT_EQ(p.head.scan_position, p.region_end);
  EXPECT_TRUE(Found(p, before));
  EXPECT_TRUE(Found(p, inside));
  EXPECT_TRUE(Found(p, after));
  EXPECT_EQ(p.recordings.size(), 3u);
  ASSERT_TRUE(LoadRescueMap(TaskMapPath(task), map, error)) << error;
  EXPECT_TRUE(BadAreaSkip(map).UnreadAreas().empty());
}

// Stopped with its skip reaching past where it stopped, continued over the
// healed drive: the skipped part in front of the stop is tried again, the
// rest is scanned as usual, and no recording is found twice.
TEST(DeepParseOverABadArea, AStoppedParseContinuesWithoutFindingAnythingTwice) {
  AreaDisk d;
  // Where the skip that was under way when the parse stopped reaches to.
  synth::HikRecordingSpec spec;
  spec.frames = 40;
  spec.start_unix = synth::UnixTime(2024, 7, 2, 10, 0, 0);
  const synth::HikPlanted skipped = d.disk->AddRecordingAt(316 * kMiB, spec);
  d.disk->WipeIndex();
  const DeviceInfo failing =
      synth::LinuxBadSectorImageDevice(d.disk->path(), {{(256 * kMiB) / 512, (256 * kMiB) / 512}});
  const std::string task = d.dir.File("t.tak");
  {
    ScanParameters p;
    StopAt stop(p, 156);  // 312 MiB, inside the area
    ScopedNotifySink scoped(&stop);
    DeepParse(p, failing, task);
    ASSERT_LT(p.head.scan_position, 512 * kMiB);
    EXPECT_EQ(p.recordings.size(), 1u);
  }
  RescueMap map;
  std::string error;
  ASSERT_TRUE(LoadRescueMap(TaskMapPath(task), map, error)) << error;
  ASSERT_FALSE(BadAreaSkip(map).UnreadAreas().empty());
  ASSERT_GT(map.UnfinishedBytesIn(316 * kMiB, kMiB), 0);

  const DeviceInfo healed = synth::ImageDevice(d.disk->path());
  ScopedNotifySink quiet(nullptr);
  ScanParameters p;
  p.task_path = task;
  ASSERT_TRUE(ReadTaskHead(p, true));
  p.continue_flag = 1;
  p.region_start = p.head.scan_position;
  DeepParse(p, healed, task);
  EXPECT_EQ(p.recordings.size(), 4u);
  EXPECT_TRUE(Found(p, skipped));
  EXPECT_TRUE(Found(p, d.before));
  EXPECT_TRUE(Found(p, d.inside));
  EXPECT_TRUE(Found(p, d.after));
}

// A healthy disk's deep parse leaves nothing beside its task.
TEST(DeepParseOverABadArea, AHealthyDiskGetsNoMap) {
  synth::TempDir dir;
  synth::HikvisionDiskOptions options;
  options.size = 16 * kMiB;
  options.blocks = 1;
  synth::HikvisionDisk disk(dir.File("disk.img"), options);
  const DeviceInfo device = synth::ImageDevice(disk.path());
  ScopedNotifySink quiet(nullptr);
  ScanParameters p;
  DeepParse(p, device, dir.File("t.tak"));
  EXPECT_FALSE(std::filesystem::exists(TaskMapPath(dir.File("t.tak"))));
}

}  // namespace
}  // namespace orvane
