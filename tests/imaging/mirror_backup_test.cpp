#include "imaging/mirror_backup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "scan/worker_flags.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"
#include "synth/tool_doubles.h"

namespace orvane {
namespace {

using synth::RecordingPowerOff;
using synth::TempDir;

struct LogLine {
  std::string type;
  std::string text;
};

struct Recorder {
  std::vector<LogLine> lines;
  std::vector<int64_t> positions;
  int64_t range = -1;
  int closes = 0;
  BackupHooks hooks() {
    BackupHooks h;
    h.log = [this](std::string_view type, std::string_view text) {
      lines.push_back({std::string(type), std::string(text)});
    };
    h.progress_range = [this](int64_t n) { range = n; };
    h.progress_position = [this](int64_t i) { positions.push_back(i); };
    h.close_dialog = [this] { ++closes; };
    return h;
  }
  bool Has(std::string_view type, std::string_view text) const {
    for (const auto& l : lines)
      if (l.type == type && l.text == text) return true;
    return false;
  }
};

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

uint64_t Fnv1a(std::string_view bytes) {
  uint64_t h = 1469598103934665603ull;
  for (unsigned char c : bytes) h = (h ^ c) * 1099511628211ull;
  return h;
}

BackupEndpoint FileEndpoint(const std::string& path) {
  BackupEndpoint e;
  e.kind = kEndpointFile;
  e.path = path;
  return e;
}

BackupRequest Request(BackupEndpoint source, BackupEndpoint target, int64_t offset,
                      int64_t size, int64_t target_offset) {
  BackupRequest r;
  r.source = std::move(source);
  r.target = std::move(target);
  r.source_offset_text = std::to_string(offset);
  r.source_size_text = std::to_string(size);
  r.target_offset_text = std::to_string(target_offset);
  r.target_size_text = r.source_size_text;
  return r;
}

TEST(MirrorBackup, CopiesWholeBlocksAndTheRemainderByteForByte) {
  TempDir dir;
  const int64_t sectors = 4097;  // one 2 MiB block and one sector
  synth::SparseImage image(dir.File("src.img"), sectors * 512 + 4096);
  image.FillNoise(0, image.size(), 7);
  const std::string target = dir.File("copy.img");

  WorkerFlags flags;
  BackupJob job;
  const auto start = ValidateBackupStart(
      Request(DriveEndpoint(synth::ImageDevice(image.path())), FileEndpoint(target), 0, sectors, 0),
      job, flags);
  ASSERT_TRUE(start.started) << start.warning;
  EXPECT_EQ(job.source.size, sectors * 512);

  Recorder rec;
  EXPECT_TRUE(RunMirrorBackup(job, rec.hooks()));
  EXPECT_EQ(rec.range, 1);
  ASSERT_FALSE(rec.lines.empty());
  EXPECT_EQ(rec.lines.front().text, kMsgBackupRunning);
  EXPECT_EQ(rec.lines.back().text, kMsgBackupFinished);
  ASSERT_EQ(rec.lines.size(), 6u);  // start, summary, SHA-256, MD5, hash files, end
  EXPECT_EQ(
      rec.lines[1].text.rfind("已读出:" + std::to_string(sectors * 512) + " 字节 坏区:0 个", 0), 0u)
      << rec.lines[1].text;

  const std::string copy = ReadAll(target);
  ASSERT_EQ(copy.size(), static_cast<size_t>(sectors * 512));
  EXPECT_EQ(Fnv1a(copy), Fnv1a(ReadAll(image.path()).substr(0, sectors * 512)));
}

// Image files need not be whole sectors long: the tail of the last sector
// is copied, and nothing is added after it, whether the last block is the
// remainder or a whole 2 MiB block.
TEST(MirrorBackup, CopiesAFileThatEndsInsideASectorByteForByte) {
  TempDir dir;
  struct Case {
    int64_t length;
    int64_t sectors;
    int64_t blocks;
  };
  for (const Case c : {Case{1000001, 1954, 0}, Case{kBackupBlock - 100, 4096, 1},
                       Case{kBackupBlock + 1, 4097, 1}}) {
    SCOPED_TRACE(c.length);
    synth::SparseImage image(dir.File("odd.img"), c.length);
    image.FillNoise(0, image.size(), 13);
    const std::string target = dir.File("odd-copy.img");
    const BackupEndpoint source = DriveEndpoint(synth::ImageDevice(image.path()));
    EXPECT_EQ(source.size, c.sectors);

    WorkerFlags flags;
    BackupJob job;
    ASSERT_TRUE(
        ValidateBackupStart(Request(source, FileEndpoint(target), 0, source.size, 0), job, flags)
            .started);
    Recorder rec;
    EXPECT_TRUE(RunMirrorBackup(job, rec.hooks()));
    EXPECT_EQ(rec.range, c.blocks);
    EXPECT_EQ(rec.lines.size(), 6u);  // start, summary, SHA-256, MD5, hash files, end
    const std::string copy = ReadAll(target);
    ASSERT_EQ(copy.size(), static_cast<size_t>(c.length));
    EXPECT_EQ(Fnv1a(copy), Fnv1a(ReadAll(image.path())));
  }

  // From a sector inside the file onto a target offset: still the file's
  // tail, ending where the file ends.
  synth::SparseImage image(dir.File("tail.img"), 1000001);
  image.FillNoise(0, image.size(), 17);
  const std::string target = dir.File("tail-copy.img");
  WorkerFlags flags;
  BackupJob job;
  ASSERT_TRUE(ValidateBackupStart(Request(DriveEndpoint(synth::ImageDevice(image.path())),
                                          FileEndpoint(target), 1000, 954, 1),
                                  job, flags)
                  .started);
  Recorder rec;
  EXPECT_TRUE(RunMirrorBackup(job, rec.hooks()));
  const std::string copy = ReadAll(target);
  ASSERT_EQ(copy.size(), 512u + (1000001u - 1000u * 512u));
  EXPECT_TRUE(copy.substr(512) == ReadAll(image.path()).substr(1000 * 512));
}

TEST(MirrorBackup, OffsetsAreSectorsOnBothSides) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 8 << 20);
  image.FillNoise(0, image.size(), 3);
  const std::string target = dir.File("copy.img");
  {
    std::ofstream old(target, std::ios::binary);
    old << std::string(5 << 20, 'x');  // a target file is created anew
  }
  WorkerFlags flags;
  BackupJob job;
  // 2 MiB + 1 KiB from sector 100 to sector 2,048 (byte 1,048,576).
  ASSERT_TRUE(ValidateBackupStart(Request(FileEndpoint(image.path()), FileEndpoint(target), 100,
                                          4096 + 2, 2048),
                                  job, flags)
                  .started);
  Recorder rec;
  EXPECT_TRUE(RunMirrorBackup(job, rec.hooks()));

  const std::string copy = ReadAll(target);
  const std::string source = ReadAll(image.path());
  ASSERT_EQ(copy.size(), 1048576u + 2098176u);
  EXPECT_EQ(copy.substr(0, 1048576), std::string(1048576, '\0'));
  EXPECT_EQ(Fnv1a(copy.substr(1048576)), Fnv1a(source.substr(100 * 512, 2098176)));
}

TEST(MirrorBackup, StopEndsAfterTheCurrentBlockAndStillLogsTheEnd) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 10 << 20);
  image.FillNoise(0, image.size(), 5);
  const std::string target = dir.File("copy.img");
  WorkerFlags flags;
  RecordingPowerOff power;
  flags.power_off = &power;
  flags.shutdown_when_done.store(true);
  BackupJob job;
  ASSERT_TRUE(ValidateBackupStart(Request(FileEndpoint(image.path()), FileEndpoint(target), 0,
                                          (10 << 20) / 512, 0),
                                  job, flags)
                  .started);
  Recorder rec;
  BackupHooks hooks = rec.hooks();
  // "停止" pressed while the second block is under way.
  hooks.progress_position = [&](int64_t i) {
    rec.positions.push_back(i);
    if (i == 1) job.stop.store(1);
  };
  EXPECT_FALSE(RunBackupJob(job, flags, hooks));
  EXPECT_EQ(rec.positions, (std::vector<int64_t>{0, 1}));
  // Two blocks copied, the rest of the image zero until a resumed copy.
  const std::string copy = ReadAll(target);
  ASSERT_EQ(copy.size(), 10u << 20);
  EXPECT_TRUE(copy.substr(0, 4 << 20) == ReadAll(image.path()).substr(0, 4 << 20));
  EXPECT_EQ(copy.find_first_not_of('\0', 4 << 20), std::string::npos);
  EXPECT_TRUE(rec.Has(kLogInfo, kMsgBackupFinished));
  EXPECT_EQ(flags.worker_busy.load(), 0);
  EXPECT_EQ(rec.closes, 1);
  // Stopped by the user, yet the machine is still powered off, once.
  EXPECT_EQ(power.calls.load(), 1);
}

TEST(MirrorBackup, WorkerLeavesThePowerAloneUnlessAsked) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 1 << 20);
  WorkerFlags flags;
  RecordingPowerOff power;
  flags.power_off = &power;
  BackupJob job;
  ASSERT_TRUE(ValidateBackupStart(Request(FileEndpoint(image.path()),
                                          FileEndpoint(dir.File("c.img")), 0, 2048, 0),
                                  job, flags)
                  .started);
  Recorder rec;
  EXPECT_TRUE(RunBackupJob(job, flags, rec.hooks()));
  EXPECT_EQ(power.calls.load(), 0);
}

// A bad sector no longer ends the copy: it is logged once with its size,
// left zero, and every other byte is copied.
TEST(MirrorBackup, ReadFailureIsLoggedWithItsSizeAndTheCopyGoesOn) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 8 << 20);
  image.FillNoise(0, image.size(), 9);
  // A bad sector inside the third block, on a drive that fails the whole
  // request and on one that first returns the bytes in front of it.
  const DeviceInfo faulty[] = {
      synth::FaultyImageDevice(image.path(), {ByteRange::FromLength((4 << 20) + 4096, 512)}),
      synth::LinuxBadSectorImageDevice(image.path(), {{((4 << 20) + 4096) / 512, 1}})};
  for (const DeviceInfo& source : faulty) {
    const std::string target = dir.File("copy" + std::to_string(&source - faulty) + ".img");
    WorkerFlags flags;
    BackupJob job;
    ASSERT_TRUE(ValidateBackupStart(Request(DriveEndpoint(source), FileEndpoint(target), 0,
                                            (8 << 20) / 512, 0),
                                    job, flags)
                    .started);
    Recorder rec;
    EXPECT_FALSE(RunMirrorBackup(job, rec.hooks()));
    EXPECT_TRUE(rec.Has(kLogWarning, "读取失败 偏移:4198400 大小:512"));
    EXPECT_EQ(rec.positions.back(), 4);
    EXPECT_EQ(rec.lines.back().text, kMsgBackupFinished);
    std::string expected = ReadAll(image.path());
    expected.replace((4 << 20) + 4096, 512, 512, '\0');
    EXPECT_TRUE(ReadAll(target) == expected);
  }
}

TEST(MirrorBackup, ParameterChecksAndOpenFailures) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 1 << 20);
  const BackupEndpoint source = FileEndpoint(image.path());
  WorkerFlags flags;
  BackupJob job;

  EXPECT_EQ(ValidateBackupStart(Request(source, FileEndpoint(dir.File("t")), 0, 0, 0), job, flags)
                .warning,
            kMsgBackupBadParameters);
  EXPECT_EQ(ValidateBackupStart(Request(source, FileEndpoint(""), 0, 8, 0), job, flags).warning,
            kMsgBackupBadParameters);
  BackupEndpoint no_drive;
  no_drive.kind = kEndpointDrive;
  EXPECT_EQ(ValidateBackupStart(Request(source, no_drive, 0, 8, 0), job, flags).warning,
            kMsgBackupBadParameters);
  EXPECT_EQ(ValidateBackupStart(Request(source, FileEndpoint(dir.File("t")), -1, 8, 0), job, flags)
                .warning,
            kMsgBackupBadParameters);

  flags.worker_busy.store(1);
  EXPECT_EQ(ValidateBackupStart(Request(source, FileEndpoint(dir.File("t")), 0, 8, 0), job, flags)
                .warning,
            kMsgWorkerBusy);
  flags.worker_busy.store(0);

  // A target never chosen passes the check and then cannot be created.
  ASSERT_TRUE(ValidateBackupStart(Request(source, BackupEndpoint{}, 0, 8, 0), job, flags).started);
  Recorder rec;
  EXPECT_FALSE(RunMirrorBackup(job, rec.hooks()));
  EXPECT_TRUE(rec.Has(kLogWarning, kMsgBackupCreateTargetFailed));
  EXPECT_FALSE(rec.Has(kLogInfo, kMsgBackupFinished));

  // A missing source.
  ASSERT_TRUE(ValidateBackupStart(Request(FileEndpoint(dir.File("none.img")),
                                          FileEndpoint(dir.File("t")), 0, 8, 0),
                                  job, flags)
                  .started);
  Recorder rec2;
  EXPECT_FALSE(RunMirrorBackup(job, rec2.hooks()));
  EXPECT_TRUE(rec2.Has(kLogWarning, kMsgBackupOpenSourceFailed));
  EXPECT_FALSE(std::filesystem::exists(dir.File("t")));
}

TEST(MirrorBackup, RefusesATargetThatIsTheSourceUnderAnyName) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 4 << 20);
  image.FillNoise(0, image.size(), 11);
  const std::string before = ReadAll(image.path());
  std::filesystem::create_hard_link(image.path(), dir.File("hard.img"));
  std::filesystem::create_symlink(image.path(), dir.File("soft.img"));
  std::filesystem::create_directory(dir.File("sub"));

  WorkerFlags flags;
  const std::vector<std::string> names = {image.path(), dir.File("hard.img"), dir.File("soft.img"),
                                          dir.File("sub") + "/../src.img"};
  for (const auto& name : names) {
    for (int32_t kind : {kEndpointFile, kEndpointDrive}) {
      BackupEndpoint target = FileEndpoint(name);
      if (kind == kEndpointDrive) {
        target = DriveEndpoint(synth::ImageDevice(name));
      }
      BackupJob job;
      EXPECT_EQ(ValidateBackupStart(Request(DriveEndpoint(synth::ImageDevice(image.path())),
                                            target, 0, 8192, 0),
                                    job, flags)
                    .warning,
                kMsgBackupBadParameters)
          << name;
      // The copy itself refuses too, before opening anything for writing.
      job.source = DriveEndpoint(synth::ImageDevice(image.path()));
      job.source.size = 4 << 20;
      job.target = target;
      Recorder rec;
      EXPECT_FALSE(RunMirrorBackup(job, rec.hooks()));
      EXPECT_TRUE(rec.Has(kLogWarning, kMsgBackupBadParameters));
    }
  }
  EXPECT_EQ(ReadAll(image.path()), before);
}

TEST(MirrorBackup, RefusesARangePastTheEndOfATargetDrive) {
  TempDir dir;
  synth::SparseImage image(dir.File("src.img"), 4 << 20);
  image.FillNoise(0, image.size(), 2);
  synth::SparseImage disk(dir.File("disk.img"), 4 << 20);
  const BackupEndpoint target = DriveEndpoint(synth::ImageDevice(disk.path()));
  WorkerFlags flags;
  BackupJob job;
  EXPECT_EQ(ValidateBackupStart(Request(FileEndpoint(image.path()), target, 0, 8192, 1), job, flags)
                .warning,
            kMsgBackupBadParameters);
  // Exactly to the end fits, and writes over the drive in place.
  ASSERT_TRUE(
      ValidateBackupStart(Request(FileEndpoint(image.path()), target, 0, 8192, 0), job, flags)
          .started);
  // The drive shrank after "开始": the copy checks again before writing.
  ::truncate(disk.path().c_str(), 1 << 20);
  Recorder rec;
  EXPECT_FALSE(RunMirrorBackup(job, rec.hooks()));
  EXPECT_TRUE(rec.Has(kLogWarning, kMsgBackupBadParameters));
  EXPECT_EQ(std::filesystem::file_size(disk.path()), 1u << 20);
  EXPECT_EQ(ReadAll(disk.path()), std::string(1 << 20, '\0'));

  // A drive that cannot be opened.
  job.target = DriveEndpoint(synth::ImageDevice(dir.File("gone.img")));
  job.target.device.name = dir.File("gone.img");
  Recorder rec2;
  EXPECT_FALSE(RunMirrorBackup(job, rec2.hooks()));
  EXPECT_TRUE(rec2.Has(kLogWarning, kMsgBackupOpenTargetFailed));
}

TEST(MirrorBackup, PartitionsBelongToTheirWholeDisk) {
  TempDir dir;
  namespace fs = std::filesystem;
  // A block-device tree as sysfs lays it out: the disk 8:0 with partition 8:1.
  const fs::path disk = dir.path() / "devices/pci0/sda";
  fs::create_directories(disk / "sda1");
  std::ofstream(disk / "dev") << "8:0\n";
  std::ofstream(disk / "sda1/dev") << "8:1\n";
  std::ofstream(disk / "sda1/partition") << "1\n";
  fs::create_directories(dir.path() / "dev/block");
  fs::create_directory_symlink(disk, dir.path() / "dev/block/8:0");
  fs::create_directory_symlink(disk / "sda1", dir.path() / "dev/block/8:1");

  const std::string sysfs = dir.path().string();
  EXPECT_EQ(WholeDiskOf(makedev(8, 1), sysfs), makedev(8, 0));
  EXPECT_EQ(WholeDiskOf(makedev(8, 0), sysfs), makedev(8, 0));
  EXPECT_EQ(WholeDiskOf(makedev(8, 16), sysfs), makedev(8, 16));
}

TEST(MirrorBackup, EndpointTexts) {
  DeviceInfo d;
  d.kind = kDeviceKindPhysical;
  d.name = "ATA WDC WD10";
  d.serial = "WX1234";
  d.number = 1;
  d.sector_size = 4096;
  d.size = 1000204886016;
  const BackupEndpoint e = DriveEndpoint(d);
  EXPECT_EQ(EndpointText(e), "ATA WDC WD10---WX1234---#1");
  // Sizes count 512-byte sectors also on a drive of 4 KiB sectors.
  EXPECT_EQ(e.size, 1953525168);
  EXPECT_EQ(EndpointText(FileEndpoint("/tmp/a.img")), "/tmp/a.img");
}

}  // namespace
}  // namespace orvane
