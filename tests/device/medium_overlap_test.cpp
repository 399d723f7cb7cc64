#include "device/medium_overlap.h"

#include <gtest/gtest.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "synth/test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;
using synth::TempDir;

// A block-device tree laid out as the kernel's: a disk with a partition, two
// loop devices, a device-mapper device on the partition, an md array on the
// device-mapper device, and a partition of the array.
class FakeBlockTree {
 public:
  explicit FakeBlockTree(const TempDir& dir, const std::string& loop0_backing,
                         const std::string& loop1_backing)
      : root_(dir.path() / "sys") {
    const fs::path sda = Device("devices/pci0/sda", "8:0");
    Device("devices/pci0/sda/sda1", "8:1", true);
    Device("devices/pci0/sdb", "8:16");
    Loop("loop0", "7:0", loop0_backing);
    Device("devices/virtual/block/loop0/loop0p1", "259:1", true);
    Loop("loop1", "7:1", loop1_backing);
    const fs::path dm = Device("devices/virtual/block/dm-0", "253:0");
    Slave(dm, sda / "sda1", "sda1");
    const fs::path md = Device("devices/virtual/block/md0", "9:0");
    Slave(md, dm, "dm-0");
    Device("devices/virtual/block/md0/md0p1", "259:0", true);
  }
  std::string sysfs() const { return root_.string(); }

 private:
  fs::path Device(const std::string& rel, const std::string& number, bool partition = false) {
    const fs::path dir = root_ / rel;
    fs::create_directories(dir);
    std::ofstream(dir / "dev") << number << "\n";
    if (partition) std::ofstream(dir / "partition") << "1\n";
    fs::create_directories(root_ / "dev/block");
    fs::create_directory_symlink(dir, root_ / "dev/block" / number);
    return dir;
  }
  void Loop(const std::string& name, const std::string& number, const std::string& backing) {
    const fs::path dir = Device("devices/virtual/block/" + name, number);
    fs::create_directories(dir / "loop");
    std::ofstream(dir / "loop/backing_file") << backing << "\n";
  }
  static void Slave(const fs::path& holder, const fs::path& slave, const std::string& name) {
    fs::create_directories(holder / "slaves");
    fs::create_directory_symlink(slave, holder / "slaves" / name);
  }
  fs::path root_;
};

MediumIdentity Block(unsigned maj, unsigned min) {
  MediumIdentity m;
  m.known = m.exists = m.block = true;
  m.rdev = makedev(maj, min);
  return m;
}

// A file in a file system on the given device, as stat would describe it.
MediumIdentity FileOn(unsigned maj, unsigned min, ino_t ino, bool exists = true) {
  MediumIdentity m;
  m.known = true;
  m.exists = exists;
  m.dev = makedev(maj, min);
  m.ino = ino;
  return m;
}

TEST(MediumOverlap, DevicesStackedOnTheSourceAreRefused) {
  TempDir dir;
  std::ofstream(dir.File("evidence.img")) << "source";
  std::ofstream(dir.File("other.img")) << "other";
  const FakeBlockTree tree(dir, dir.File("evidence.img"), dir.File("other.img") + " (deleted)");
  const std::string sys = tree.sysfs();
  const MediumIdentity image = IdentifyMedium(dir.File("evidence.img"));

  // A loop device over the source image, also when reached as its partition.
  EXPECT_TRUE(WriteReachesSource(image, Block(7, 0), sys));
  EXPECT_TRUE(WriteReachesSource(image, Block(259, 1), sys));
  EXPECT_FALSE(WriteReachesSource(image, Block(7, 1), sys));
  // The loop device as the source: its backing file is its bytes, another
  // file beside it is not.
  EXPECT_TRUE(WriteReachesSource(Block(7, 0), image, sys));
  EXPECT_FALSE(WriteReachesSource(Block(7, 0), IdentifyMedium(dir.File("other.img")), sys));
  EXPECT_FALSE(WriteReachesSource(Block(7, 0), IdentifyMedium(dir.File("new.img")), sys));

  // The drive under a device-mapper device, an md array on that, and a
  // partition of the array, whichever side is the source.
  for (const MediumIdentity& source : {Block(8, 0), Block(8, 1)}) {
    EXPECT_TRUE(WriteReachesSource(source, Block(253, 0), sys));
    EXPECT_TRUE(WriteReachesSource(source, Block(9, 0), sys));
    EXPECT_TRUE(WriteReachesSource(source, Block(259, 0), sys));
    EXPECT_TRUE(WriteReachesSource(Block(259, 0), source, sys));
  }
  EXPECT_FALSE(WriteReachesSource(Block(8, 16), Block(259, 0), sys));
  EXPECT_FALSE(WriteReachesSource(Block(259, 0), Block(8, 16), sys));
}

TEST(MediumOverlap, FilesAndTheFileSystemsUnderThem) {
  TempDir dir;
  const FakeBlockTree tree(dir, dir.File("none"), dir.File("none"));
  const std::string sys = tree.sysfs();
  // An image in a file system on the md array's partition.
  const MediumIdentity image = FileOn(259, 0, 42);
  // Raw writes to any layer under that file system reach the image.
  for (const MediumIdentity& raw : {Block(259, 0), Block(9, 0), Block(253, 0), Block(8, 1)})
    EXPECT_TRUE(WriteReachesSource(image, raw, sys));
  EXPECT_FALSE(WriteReachesSource(image, Block(8, 16), sys));
  // Another file in the same file system leaves it alone; the file itself
  // does not.
  EXPECT_FALSE(WriteReachesSource(image, FileOn(259, 0, 43), sys));
  EXPECT_FALSE(WriteReachesSource(image, FileOn(259, 0, 0, false), sys));
  EXPECT_TRUE(WriteReachesSource(image, FileOn(259, 0, 42), sys));
  // With a drive as the source, any file on a file system stacked on it is
  // written onto it.
  EXPECT_TRUE(WriteReachesSource(Block(8, 0), FileOn(259, 0, 0, false), sys));
  EXPECT_TRUE(WriteReachesSource(Block(8, 0), FileOn(253, 0, 7), sys));
  EXPECT_FALSE(WriteReachesSource(Block(8, 16), FileOn(253, 0, 7), sys));
}

}  // namespace
}  // namespace orvane
