#include "device/device_list.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "device/format_text.h"
#include "device/partitions.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

namespace fs = std::filesystem;

std::vector<uint8_t> Bytes(std::string_view s) { return {s.begin(), s.end()}; }

TEST(DescriptorText, HexPairsPrintableRunsAndRejects) {
  // Hexadecimal digit pairs decode to the characters they encode; white
  // space counts as the digit 0.
  EXPECT_EQ(DecodeDescriptorText(Bytes("5744432d5743")), "WDC-WC");
  EXPECT_EQ(DecodeDescriptorText(Bytes("20204142")), "AB");
  EXPECT_EQ(DecodeDescriptorText(Bytes("2 4142")), "AB");
  EXPECT_EQ(DecodeDescriptorText(Bytes("4B4C")), "KL");
  // A decoded byte that is neither 0 nor printable makes it a plain text.
  EXPECT_EQ(DecodeDescriptorText(Bytes("ABCD")), "ABCD");
  EXPECT_EQ(DecodeDescriptorText(Bytes("  ST2000DM001  ")), "ST2000DM001");
  // A non-printable byte before the end makes the text empty.
  EXPECT_EQ(DecodeDescriptorText(Bytes("ST2\x01X")), "");
  EXPECT_EQ(DecodeDescriptorText(Bytes("Caf\xC3\xA9")), "");
  // The text ends at its 0 byte.
  EXPECT_EQ(DecodeDescriptorText(Bytes(std::string_view("QEMU\0\x01\x02", 7))), "QEMU");
  EXPECT_EQ(DecodeDescriptorText(Bytes("")), "");
  // Byte pairs swapped, as ATA identify strings store them.
  EXPECT_EQ(DecodeDescriptorText(Bytes("TS0200MD00 1"), true), "ST2000DM001");
  EXPECT_EQ(DecodeDescriptorText(Bytes("BAC"), true), "ABC");
}

TEST(DescriptorText, OffsetIntoADescriptor) {
  std::vector<uint8_t> desc(64, 0);
  std::memcpy(&desc[20], "ATA     ", 8);
  std::memcpy(&desc[40], "HGST", 4);
  EXPECT_EQ(DescriptorText(desc, 20), "ATA");
  EXPECT_EQ(DescriptorText(desc, 40), "HGST");
  EXPECT_EQ(DescriptorText(desc, 0), "");
  EXPECT_EQ(DescriptorText(desc, -4), "");
  EXPECT_EQ(DescriptorText(desc, 64), "");
  EXPECT_EQ(DescriptorText(desc, 1000), "");
}

TEST(DescriptorText, SerialFromUnitSerialPage) {
  std::vector<uint8_t> page = {0x00, 0x80, 0x00, 0x0C};
  for (char c : std::string("  Z1E2 3K4L ")) page.push_back(static_cast<uint8_t>(c));
  EXPECT_EQ(SerialFromVpd80(page), "Z1E23K4L");
  page[3] = 200;  // a length beyond the answer is clipped to it
  EXPECT_EQ(SerialFromVpd80(page), "Z1E23K4L");
  page[1] = 0x83;
  EXPECT_EQ(SerialFromVpd80(page), "");
  EXPECT_EQ(SerialFromVpd80({}), "");
}

TEST(FormatText, Sizes) {
  EXPECT_EQ(FormatSize(1023), "1023.0 Bytes");
  EXPECT_EQ(FormatSize(1), "1.0 Bytes");
  EXPECT_EQ(FormatSize(1024), "1.0 KB");
  EXPECT_EQ(FormatSize(1536), "1.5 KB");
  EXPECT_EQ(FormatSize(int64_t{1} << 20), "1.0 MB");
  EXPECT_EQ(FormatSize(int64_t{3} << 30), "3.0 GB");
  EXPECT_EQ(FormatSize(2000398934016), "1.8 TB");
  EXPECT_EQ(FormatSize(int64_t{1} << 50), "1.0 PB");
  EXPECT_EQ(FormatSize(int64_t{1} << 62), "4.0 EB");
  EXPECT_EQ(FormatSize(0), "");
  EXPECT_EQ(FormatSize(-5), "");
}

TEST(FormatText, Durations) {
  EXPECT_EQ(FormatDuration(59), "59 秒钟");
  EXPECT_EQ(FormatDuration(0), "0 秒钟");
  EXPECT_EQ(FormatDuration(60), "1.0 分钟");
  EXPECT_EQ(FormatDuration(3599), "60.0 分钟");
  EXPECT_EQ(FormatDuration(3600), "1.0 小时");
  EXPECT_EQ(FormatDuration(5400), "1.5 小时");
  EXPECT_EQ(FormatDuration(int64_t{0x100000000}), "1193046.5 小时");
  EXPECT_EQ(FormatDuration(-5), "-5 秒钟");
}

DeviceInfo FakeDrive(int32_t number) {
  DeviceInfo d;
  d.kind = kDeviceKindPhysical;
  d.number = number;
  d.name = "drive" + std::to_string(number);
  return d;
}

TEST(DeviceList, ImagesAreNumberedByTheDeviceCount) {
  synth::TempDir dir;
  synth::SparseImage a(dir.File("first.img"), 1 << 20);
  synth::SparseImage b(dir.File("case 7.disk.dsk"), 3 << 20);
  DeviceList list{FakeDrive(0), FakeDrive(1)};
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  ASSERT_TRUE(AddImage(list, a.path(), ImageSecondText(a.path())));
  ASSERT_TRUE(AddImage(list, b.path(), ImageSecondText(b.path())));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[2].number, 20);
  EXPECT_EQ(list[3].number, 30);
  EXPECT_EQ(list[3].kind, kDeviceKindImage);
  EXPECT_EQ(list[3].name, b.path());
  EXPECT_EQ(list[3].serial, "case 7.disk");
  EXPECT_EQ(list[3].size, 3 << 20);
  EXPECT_EQ(list[3].sector_size, 512);
  EXPECT_EQ(list[2].serial, "first");

  EXPECT_FALSE(AddImage(list, dir.File("missing.img"), "missing"));
  EXPECT_EQ(list.size(), 4u);
  EXPECT_EQ(sink.Count(kMsgOpenImageFailed), 1);

  RemoveDevicesExceptKind(list, kDeviceKindPhysical);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[1].number, 1);
  RemoveDevicesExceptKind(list, 0);
  EXPECT_TRUE(list.empty());
}

// A /sys/block, /run/udev/data, mount table and /dev laid out in a temporary
// folder; the hardware calls answer from tables.
class FakeSystem : public LinuxDeviceQuery {
 public:
  explicit FakeSystem(const synth::TempDir& dir)
      : LinuxDeviceQuery(Roots{dir.File("sys/block"), dir.File("udev"), dir.File("mountinfo"),
                               dir.File("dev")}) {
    fs::create_directories(roots().sys_block);
    fs::create_directories(roots().udev_data);
    fs::create_directories(roots().dev);
  }
  void Attr(const std::string& rel, const std::string& text) {
    const fs::path p = fs::path(roots().sys_block) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p) << text;
  }
  void Disk(const std::string& name, const std::string& dev) {
    fs::create_directories(fs::path(roots().sys_block) / name);
    Attr(name + "/dev", dev + "\n");
  }
  void Udev(const std::string& dev, const std::string& text) {
    std::ofstream(roots().udev_data + "/b" + dev) << text;
  }
  void Mounts(const std::string& text) { std::ofstream(roots().mountinfo) << text; }

  int OpenError(const std::string& node) override {
    auto it = open_errors.find(fs::path(node).filename().string());
    return it != open_errors.end() ? it->second : LinuxDeviceQuery::OpenError(node);
  }
  std::vector<uint8_t> Inquiry(const std::string& node, bool vital, uint8_t page) override {
    ++inquiries;
    auto it = inquiry.find(fs::path(node).filename().string() + (vital ? "/vpd" : "/std") +
                           std::to_string(page));
    return it != inquiry.end() ? it->second : std::vector<uint8_t>{};
  }
  std::map<std::string, int> open_errors;
  std::map<std::string, std::vector<uint8_t>> inquiry;
  int inquiries = 0;
};

// A tiny disk with an NTFS boot sector at sector 2048 behind an MBR.
void WriteNtfsDisk(const std::string& path) {
  synth::SparseImage img(path, 4 << 20);
  std::vector<uint8_t> mbr(512, 0);
  mbr[446 + 4] = 0x07;
  StoreLE32(&mbr[446 + 8], 2048);
  StoreLE32(&mbr[446 + 12], 4096);
  StoreLE16(&mbr[510], 0xAA55);
  img.Write(0, mbr);
  std::vector<uint8_t> b(512, 0);
  std::memcpy(&b[3], "NTFS    ", 8);
  StoreLE16(&b[11], 512);
  b[13] = 8;
  StoreLE32(&b[28], 2048);
  StoreLE64(&b[40], 4095);
  StoreLE16(&b[510], 0xAA55);
  img.Write(2048 * 512, b);
}

TEST(Enumeration, FakeSysfsTree) {
  synth::TempDir dir;
  FakeSystem sys(dir);
  // Left out: RAM disks, zram and a loop device without a backing file.
  sys.Disk("ram0", "1:0");
  sys.Disk("zram0", "252:0");
  sys.Disk("loop0", "7:0");
  // Listed, in name order: loop1 (bound), nvme0n1, sda, sdb (not readable), vda.
  sys.Disk("loop1", "7:1");
  sys.Attr("loop1/loop/backing_file", "/srv/disk.img\n");
  sys.Disk("nvme0n1", "259:0");
  sys.Attr("nvme0n1/device/model", "Samsung SSD 970 EVO 1TB                 \n");
  sys.Attr("nvme0n1/device/firmware_rev", "4250\n");  // digits, not encoded bytes
  sys.Attr("nvme0n1/device/serial", "  S4EW NX0M  \n");
  sys.Disk("sda", "8:0");
  sys.Attr("sda/device/vendor", "ATA     \n");
  sys.Attr("sda/device/model", "QEMU HARDDISK   \n");
  sys.Attr("sda/device/rev", "2.5+\n");
  sys.Attr("sda/sda1/partition", "1\n");
  sys.Attr("sda/sda1/start", "2048\n");
  sys.Attr("sda/sda1/dev", "8:1\n");
  sys.Udev("8:0", "S:disk/by-id/ata-QEMU\nE:ID_MODEL=QEMU_HARDDISK\nE:ID_SERIAL_SHORT=QM 00001\n");
  sys.Disk("sdb", "8:16");
  sys.open_errors["sdb"] = EACCES;
  sys.Disk("sdc", "8:32");  // a card reader without a card: size 0
  sys.Disk("vda", "254:0");
  sys.Attr("vda/device/vendor", "0x1af4\n");
  std::vector<uint8_t> std_inquiry(36, ' ');
  std::memcpy(&std_inquiry[8], "VIRTIO  ", 8);
  std::memcpy(&std_inquiry[16], "Block Device    ", 16);
  std::memcpy(&std_inquiry[32], "1.0 ", 4);
  sys.inquiry["vda/std0"] = std_inquiry;
  sys.inquiry["vda/vpd128"] = {0, 0x80, 0, 6, 'V', 'D', ' ', 'A', '0', '1'};
  sys.Mounts(
      "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
      "40 27 8:1 /sub /srv/bind rw - ntfs3 /dev/sda1 rw\n"
      "41 27 8:1 / /mnt/case\\0407 rw - ntfs3 /dev/sda1 rw\n");
  std::ofstream(dir.File("dev/sdc")).flush();
  for (const char* node : {"loop1", "nvme0n1", "vda"})
    synth::SparseImage(dir.File(std::string("dev/") + node), 1 << 20);
  WriteNtfsDisk(dir.File("dev/sda"));

  EXPECT_EQ(DriveCandidates(sys),
            (std::vector<std::string>{"loop1", "nvme0n1", "sda", "sdb", "sdc", "vda"}));

  synth::TempDir images;
  synth::SparseImage img(images.File("x.img"), 1 << 20);
  DeviceList list{FakeDrive(7)};
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  ASSERT_TRUE(AddImage(list, img.path(), "x"));
  const EnumerationReport report = EnumerateDevices(list, sys);
  EXPECT_EQ(report.candidates, 6);
  EXPECT_EQ(report.listed, 5);
  EXPECT_EQ(report.denied, 1);

  // Old drives go, images stay behind the new drives.
  ASSERT_EQ(list.size(), 6u);
  EXPECT_EQ(list[5].kind, kDeviceKindImage);
  EXPECT_EQ(list[5].name, img.path());
  const DeviceInfo& loop = list[0];
  const DeviceInfo& nvme = list[1];
  const DeviceInfo& sda = list[2];
  const DeviceInfo& sdc = list[3];
  const DeviceInfo& vda = list[4];
  EXPECT_EQ(loop.number, 0);
  EXPECT_EQ(nvme.number, 1);
  EXPECT_EQ(sda.number, 2);
  EXPECT_EQ(sdc.number, 4);  // sdb keeps number 3 though it is not listed
  EXPECT_EQ(vda.number, 5);
  for (const auto& d : {loop, nvme, sda, sdc, vda}) {
    EXPECT_EQ(d.kind, kDeviceKindPhysical);
    EXPECT_EQ(d.sector_size, 512);
  }

  EXPECT_EQ(nvme.name, "Samsung SSD 970 EVO 1TB4250");
  EXPECT_EQ(nvme.serial, "S4EWNX0M");
  EXPECT_EQ(sda.name, "ATAQEMU HARDDISK2.5+");
  EXPECT_EQ(sda.serial, "QM00001");
  EXPECT_EQ(sda.path, dir.File("dev/sda"));
  EXPECT_EQ(sda.size, 4 << 20);
  EXPECT_EQ(vda.name, "VIRTIOBlock Device1.0");
  EXPECT_EQ(vda.serial, "VDA01");
  EXPECT_EQ(vda.size, 1 << 20);

  // The partition at sector 2048 is named by the mount of its root.
  ASSERT_EQ(sda.partitions.size(), 1u);
  EXPECT_EQ(sda.partitions[0].kind, kFsNtfs);
  EXPECT_EQ(sda.partitions[0].start, 2048 * 512);
  EXPECT_EQ(sda.partitions[0].name, "/mnt/case 7");

  // The empty drive is listed without anything read from it.
  EXPECT_EQ(sdc.size, 0);
  EXPECT_TRUE(sdc.partitions.empty());
  EXPECT_TRUE(sink.texts(NotifyCode::Error).empty());

  const auto statuses = sink.texts(NotifyCode::Status);
  ASSERT_EQ(statuses.size(), 2u);
  EXPECT_EQ(statuses[0], kMsgEnumerating);
  EXPECT_EQ(statuses[1], kMsgEnumerationDone);
}

TEST(Enumeration, NothingReadable) {
  synth::TempDir dir;
  FakeSystem sys(dir);
  sys.Disk("sda", "8:0");
  sys.Disk("sdb", "8:16");
  sys.open_errors["sda"] = EACCES;
  sys.open_errors["sdb"] = EPERM;
  DeviceList list;
  const EnumerationReport report = EnumerateDevices(list, sys);
  EXPECT_TRUE(list.empty());
  EXPECT_EQ(report.candidates, 2);
  EXPECT_EQ(report.denied, 2);
  EXPECT_EQ(sys.inquiries, 0);  // nothing is asked of a disk that cannot be opened
}

}  // namespace
}  // namespace orvane
