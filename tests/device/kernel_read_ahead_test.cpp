// The kernel's read-ahead is read from sysfs as the kernel lays it out: a
// disk's own setting, a partition's through its disk; anything missing or
// unreadable is "not known", never a number made up.

#include "device/kernel_read_ahead.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "synth/test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

void WriteText(const fs::path& path, const std::string& text) {
  fs::create_directories(path.parent_path());
  std::ofstream(path) << text;
}

TEST(KernelReadAhead, DisksAndPartitionsAreReadFromSysfsAndNothingElseIsGuessed) {
  synth::TempDir dir;
  const fs::path sys = dir.path();
  const fs::path disk = sys / "devices/virtual/block/vdz";
  WriteText(disk / "queue/read_ahead_kb", "8192\n");
  fs::create_directories(disk / "vdz1");
  WriteText(sys / "devices/virtual/block/bad/queue/read_ahead_kb", "lots\n");
  WriteText(sys / "devices/virtual/block/huge/queue/read_ahead_kb", "99999999999999999999\n");
  fs::create_directories(sys / "dev/block");
  fs::create_symlink("../../devices/virtual/block/vdz", sys / "dev/block/254:0");
  fs::create_symlink("../../devices/virtual/block/vdz/vdz1", sys / "dev/block/254:1");
  fs::create_symlink("../../devices/virtual/block/bad", sys / "dev/block/254:16");
  fs::create_symlink("../../devices/virtual/block/huge", sys / "dev/block/254:32");

  EXPECT_EQ(BlockDeviceReadAhead(sys.string(), 254, 0), 8 << 20);
  EXPECT_EQ(BlockDeviceReadAhead(sys.string(), 254, 1), 8 << 20);
  EXPECT_EQ(BlockDeviceReadAhead(sys.string(), 254, 16), -1);
  EXPECT_EQ(BlockDeviceReadAhead(sys.string(), 254, 32), -1);
  EXPECT_EQ(BlockDeviceReadAhead(sys.string(), 0, 42), -1);
}

TEST(KernelReadAhead, APipeOrAClosedDescriptorHasNone) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  EXPECT_EQ(KernelReadAhead(fds[0]), -1);
  ::close(fds[0]);
  ::close(fds[1]);
  EXPECT_EQ(KernelReadAhead(-1), -1);
}

}  // namespace
}  // namespace orvane
