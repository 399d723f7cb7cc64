// What a parse refuses or bounds before it touches anything: a region past
// the end of the source, a task file on the source itself, paths that are no
// file or disk, and a stop pressed before the engine began.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <future>
#include <memory>

#include "device/notify.h"
#include "device/source_device.h"
#include "scan/dispatch.h"
#include "scan/parse_job.h"
#include "scan/scan_parameters.h"
#include "scan/task_file.h"
#include "scan/worker_flags.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

// A medium of any size that reads as zeros, remembers the furthest byte it
// was asked for, and can press stop at its first read.
struct ZeroMedium {
  int64_t size = 0;
  std::shared_ptr<std::atomic<int64_t>> furthest = std::make_shared<std::atomic<int64_t>>(0);
  ScanParameters* stop_at_first_read = nullptr;

  DeviceInfo Device() const {
    DeviceInfo d;
    d.kind = kDeviceKindImage;
    d.name = "zeros";
    d.size = size;
    auto first_read = std::make_shared<std::atomic<bool>>(true);
    d.backend = std::make_shared<const BackendFactory>(
        [size = size, furthest = furthest, stop = stop_at_first_read,
         first_read]() -> std::unique_ptr<ReadBackend> {
          struct Backend final : ReadBackend {
            int64_t size;
            std::shared_ptr<std::atomic<int64_t>> furthest;
            ScanParameters* stop;
            std::shared_ptr<std::atomic<bool>> first_read;
            int64_t ReadAt(int64_t offset, void* buf, size_t len) override {
              const int64_t end = offset + static_cast<int64_t>(len);
              if (end > furthest->load()) furthest->store(end);
              if (stop && first_read->exchange(false)) stop->stop.store(1);
              if (offset >= size) return 0;
              const auto n = static_cast<size_t>(std::min<int64_t>(len, size - offset));
              std::memset(buf, 0, n);
              return static_cast<int64_t>(n);
            }
            int64_t Size() override { return size; }
          };
          auto b = std::make_unique<Backend>();
          b->size = size;
          b->furthest = furthest;
          b->stop = stop;
          b->first_read = first_read;
          return b;
        });
    return d;
  }
};

ParseRequest DeepRequest(int32_t brand, const std::string& task, int64_t end_sector) {
  ParseRequest r;
  r.start_text = "0";
  r.end_text = std::to_string(end_sector);
  r.buffer_text = "2097152";
  r.deep_checked = true;
  r.brand = brand;
  r.path_text = task;
  return r;
}

TaskHead HeadOnDisk(const std::string& task) {
  ScanParameters q;
  q.task_path = task;
  EXPECT_TRUE(ReadTaskHead(q, true));
  return q.head;
}

class ParseGuards : public ::testing::Test {
 protected:
  void SetUp() override {
    image_ = dir_.File("disk.img");
    synth::SparseImage(image_, 8 * kMiB);
    device_ = synth::ImageDevice(image_);
  }
  synth::TempDir dir_;
  std::string image_;
  DeviceInfo device_;
};

TEST_F(ParseGuards, ARegionPastTheEndEndsThereForEveryBrandAndDetector) {
  for (int32_t brand = BrandHikvision; brand <= BrandZhiling; ++brand) {
    synth::CapturingSink sink;
    ScopedNotifySink scope(&sink);
    ScanParameters p;
    p.source = &device_;
    WorkerFlags flags;
    const std::string task = dir_.File("t" + std::to_string(brand) + ".tak");
    // Six MiB of phantom windows behind an 8 MiB disk.
    const StartResult start = ValidateParseStart(DeepRequest(brand, task, 28672), p, flags);
    ASSERT_TRUE(start.started) << start.warning;
    EXPECT_EQ(p.region_end, 8 * kMiB);
    // A caller that sets the region itself gets the same bound.
    p.region_end = 14 * kMiB;
    RunParseJob(p, flags, {});
    EXPECT_TRUE(sink.texts(NotifyCode::Error).empty())
        << "brand " << brand << ": " << sink.texts(NotifyCode::Error).front();
    const TaskHead head = HeadOnDisk(task);
    EXPECT_EQ(head.region_end, 8 * kMiB) << "brand " << brand;
    EXPECT_EQ(head.scan_position, 8 * kMiB) << "brand " << brand;
  }
}

TEST(ParseGuardsLarge, WfsProbesBeyondSixGiBStayOnTheMedium) {
  synth::CapturingSink sink;
  ScopedNotifySink scope(&sink);
  ZeroMedium medium{int64_t{7} << 30};
  const DeviceInfo device = medium.Device();
  ScanParameters p;
  p.source = &device;
  p.brand = BrandWfs;
  p.mode = ScanModeDeep;
  p.region_end = medium.size;
  EXPECT_EQ(ResolveSmartValue(p), 0x120000);
  EXPECT_LE(medium.furthest->load(), medium.size);
  EXPECT_FALSE(sink.Has(kMsgReadFailed));
}

TEST(ParseGuardsStop, AStopDuringTheSmartValueDetectionStopsTheParse) {
  for (int32_t brand : {BrandDahua, BrandWfs, BrandHuayi}) {
    synth::TempDir dir;
    ScanParameters p;
    ZeroMedium medium{16 * kMiB};
    medium.stop_at_first_read = &p;
    const DeviceInfo device = medium.Device();
    p.source = &device;
    WorkerFlags flags;
    const std::string task = dir.File("t.tak");
    ASSERT_TRUE(ValidateParseStart(DeepRequest(brand, task, 32768), p, flags).started);
    RunParseJob(p, flags, {});
    const TaskHead head = HeadOnDisk(task);
    EXPECT_EQ(head.region_end, 16 * kMiB) << "brand " << brand;
    EXPECT_LT(head.scan_position, head.region_end) << "brand " << brand;
    EXPECT_EQ(head.file_length, kTaskHeadSize) << "brand " << brand;
  }
}

TEST_F(ParseGuards, ATaskOnTheSourceIsRefusedAndNothingIsTouched) {
  const std::vector<uint8_t> before = synth::ReadWholeFile(image_);
  std::filesystem::create_symlink(image_, dir_.File("link.img"));
  std::filesystem::create_hard_link(image_, dir_.File("hard.img"));
  for (const std::string& task : {image_, dir_.File("link.img"), dir_.File("hard.img")}) {
    ScanParameters p;
    p.source = &device_;
    WorkerFlags flags;
    EXPECT_EQ(ValidateParseStart(DeepRequest(BrandHikvision, task, 16384), p, flags).warning,
              kMsgTaskOnSource)
        << task;
    ParseRequest fast = DeepRequest(BrandHikvision, task, 16384);
    fast.deep_checked = false;
    fast.fast_checked = true;
    EXPECT_EQ(ValidateParseStart(fast, p, flags).warning, kMsgTaskOnSource) << task;
  }
  EXPECT_EQ(synth::ReadWholeFile(image_), before);

  ScanParameters p;
  p.source = &device_;
  WorkerFlags flags;
  EXPECT_TRUE(
      ValidateParseStart(DeepRequest(BrandHikvision, dir_.File("beside.tak"), 16384), p, flags)
          .started);
}

// Runs `call` on a thread; a call still blocked after a few seconds is let go
// by opening the pipe's other end, and counts as hung.
template <typename Call>
bool ReturnsPromptly(const std::string& fifo, Call call) {
  auto done = std::async(std::launch::async, call);
  if (done.wait_for(std::chrono::seconds(5)) == std::future_status::ready) return true;
  for (int flags : {O_WRONLY | O_NONBLOCK, O_RDONLY | O_NONBLOCK}) {
    const int fd = ::open(fifo.c_str(), flags);
    if (fd >= 0) ::close(fd);
  }
  done.wait();
  return false;
}

TEST_F(ParseGuards, OnlyFilesAndDisksAreOpenedAsTaskOrSource) {
  const std::string fifo = dir_.File("pipe");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = dir_.File("folder.tak");
  std::filesystem::create_directory(folder);

  for (const std::string& path : {fifo, folder}) {
    ScanParameters p;
    p.task_path = path;
    {
      synth::CapturingSink sink;
      ScopedNotifySink scope(&sink);
      EXPECT_TRUE(ReturnsPromptly(fifo, [&] { EXPECT_FALSE(ReadTaskHead(p, false)); })) << path;
      EXPECT_TRUE(sink.Has(kMsgOpenTaskFailed)) << path;
    }
    for (int32_t brand : {BrandHikvision, BrandWfs}) {
      synth::CapturingSink sink;
      ScopedNotifySink scope(&sink);
      p.brand = brand;
      p.mode = ScanModeDeep;
      EXPECT_TRUE(ReturnsPromptly(fifo, [&] { LoadTaskPage(p, 0); })) << path;
      EXPECT_TRUE(sink.Has(kMsgOpenTaskFailed)) << path;
      EXPECT_TRUE(p.recordings.empty());
    }

    TaskReader reader;
    EXPECT_TRUE(ReturnsPromptly(fifo, [&] { EXPECT_FALSE(reader.Open(path)); })) << path;

    // A parse into it creates nothing and continues nothing.
    for (uint8_t continue_flag : {0, 1}) {
      p.source = &device_;
      p.region_end = 8 * kMiB;
      p.continue_flag = continue_flag;
      TaskWriter writer;
      EXPECT_TRUE(ReturnsPromptly(fifo, [&] { EXPECT_FALSE(writer.Open(p)); })) << path;
    }

    // As a source it never opens.
    DeviceInfo odd = synth::ImageDevice(path);
    SourceDevice source;
    EXPECT_TRUE(ReturnsPromptly(fifo, [&] { source.Open(odd); })) << path;
    EXPECT_FALSE(source.is_open()) << path;
  }
}

}  // namespace
}  // namespace orvane
