#include "device/partitions.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1024 * 1024;

int Shell(const std::string& command) {
  const int rc = std::system(("{ set -e; " + command + "; } >/dev/null 2>&1").c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Capture(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// Builds a file system of `size` bytes in its own file, the way the tools
// make them for a partition that starts at `start_sector`.
std::string MakeFileSystem(const std::string& kind, const std::string& file, int64_t size,
                           int64_t start_sector) {
  const std::string quoted = "'" + file + "'";
  std::string cmd = "rm -f " + quoted + "; truncate -s " + std::to_string(size) + " " + quoted + "; ";
  if (kind == "ntfs") {
    cmd += "mkfs.ntfs -F -Q -q -p " + std::to_string(start_sector) + " " + quoted;
  } else if (kind == "fat32") {
    cmd += "mkfs.vfat -F 32 " + quoted;
  } else if (kind == "fat16") {
    cmd += "mkfs.vfat -F 16 " + quoted;
  } else if (kind == "exfat") {
    cmd += "mkfs.exfat -b 4K " + quoted;
  } else if (kind == "ext2" || kind == "ext3" || kind == "ext4") {
    cmd += "mkfs." + kind + " -q -F " + quoted;
  } else if (kind == "xfs") {
    // Small XFS volumes are refused except for file-system test suites.
    cmd += "TEST_DIR=/tmp TEST_DEV=x QA_CHECK_FS=1 mkfs.xfs -q -f " + quoted;
  }
  return cmd;
}

struct Part {
  std::string fs;  // what is written into it
  int64_t size;
  int type;        // MBR type byte; ignored for GPT
  int64_t start_sector = 0;  // filled from the table sfdisk wrote
};

// A sparse disk image partitioned by sfdisk, each partition holding a file
// system made by the real tool. Logical partitions follow the extended one
// (type 5) in `parts`.
class ToolDisk {
 public:
  ToolDisk(const synth::TempDir& dir, const std::string& name, int64_t size, bool gpt,
           std::vector<Part> parts)
      : path_(dir.File(name)), parts_(std::move(parts)) {
    std::ostringstream script;
    script << "label: " << (gpt ? "gpt" : "dos") << "\n";
    for (const auto& p : parts_) {
      if (gpt) {
        script << "size=" << p.size / 512 << "\n";
      } else if (p.type == 5) {
        script << "size=" << p.size / 512 << ", type=5\n";
      } else {
        script << "size=" << p.size / 512 << ", type=" << std::hex << p.type << std::dec << "\n";
      }
    }
    const std::string script_file = dir.File(name + ".sfdisk");
    std::ofstream(script_file) << script.str();
    ok_ = Shell("rm -f '" + path_ + "'; truncate -s " + std::to_string(size) + " '" + path_ +
                "'; sfdisk -q '" + path_ + "' < '" + script_file + "'") == 0;
    if (!ok_) return;
    // Read back where sfdisk put every partition (logical ones included).
    std::istringstream dump(Capture("sfdisk -d '" + path_ + "'"));
    std::string line;
    size_t index = 0;
    while (std::getline(dump, line)) {
      const auto at = line.find("start=");
      if (at == std::string::npos || index >= parts_.size()) continue;
      parts_[index++].start_sector = std::strtoll(line.c_str() + at + 6, nullptr, 10);
    }
    ok_ = index == parts_.size();
    for (auto& p : parts_) {
      if (!ok_ || p.fs.empty()) continue;
      const std::string fs_file = dir.File(name + ".fs");
      ok_ = Shell(MakeFileSystem(p.fs, fs_file, p.size, p.start_sector) + "; dd if='" + fs_file +
                  "' of='" + path_ + "' bs=1M seek=" + std::to_string(p.start_sector * 512) +
                  " oflag=seek_bytes conv=notrunc,sparse; rm -f '" + fs_file + "'") == 0;
      if (!ok_) ADD_FAILURE() << "could not build " << p.fs;
    }
  }
  bool ok() const { return ok_; }
  const std::string& path() const { return path_; }
  const Part& part(size_t i) const { return parts_[i]; }

 private:
  std::string path_;
  std::vector<Part> parts_;
  bool ok_ = false;
};

DeviceInfo Analyse(const DeviceInfo& in, synth::CapturingSink* sink = nullptr) {
  synth::CapturingSink local;
  ScopedNotifySink scoped(sink ? sink : &local);
  DeviceInfo d = in;
  SourceDevice source;
  source.Open(d);
  EXPECT_TRUE(source.ok());
  AnalysePartitions(source, d);
  return d;
}

struct Expect {
  std::string name;
  int32_t kind;
  int64_t start;
  int64_t length;
};

void ExpectPartitions(const DeviceInfo& d, const std::vector<Expect>& want) {
  std::string listed;
  for (const auto& p : d.partitions)
    listed += p.name + " " + std::string(FileSystemName(p.kind)) + " " + std::to_string(p.start) +
              " " + std::to_string(p.length) + "\n";
  ASSERT_EQ(d.partitions.size(), want.size()) << listed;
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(want[i].name);
    EXPECT_EQ(d.partitions[i].name, want[i].name);
    EXPECT_EQ(d.partitions[i].kind, want[i].kind) << FileSystemName(d.partitions[i].kind);
    EXPECT_EQ(d.partitions[i].start, want[i].start);
    EXPECT_EQ(d.partitions[i].length, want[i].length);
    EXPECT_TRUE(d.partitions[i].label.empty());
    ASSERT_NE(d.partitions[i].details, nullptr);
    EXPECT_EQ(d.partitions[i].details->kind, want[i].kind);
  }
}

std::vector<uint8_t> ReadBytes(const std::string& path, int64_t offset, size_t n) {
  std::vector<uint8_t> out(n);
  std::ifstream in(path, std::ios::binary);
  in.seekg(offset);
  in.read(reinterpret_cast<char*>(out.data()), static_cast<std::streamsize>(n));
  return out;
}

// One disk of every kind the tools make, built once for all the cases.
class ToolDiskTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new synth::TempDir;
    mbr_ = new ToolDisk(*dir_, "mbr.img", 200 * kMiB, false,
                        {
                            {"ntfs", 16 * kMiB, 0x07},
                            {"fat32", 34 * kMiB, 0x0C},
                            {"fat16", 9 * kMiB, 0x82},  // swap: never probed
                            {"", 128 * kMiB, 0x05},
                            {"fat16", 9 * kMiB, 0x06},
                            {"exfat", 4 * kMiB, 0x07},
                            {"ext4", 16 * kMiB, 0x83},
                            {"ext2", 16 * kMiB, 0x83},
                            {"ext3", 16 * kMiB, 0x83},
                            {"xfs", 20 * kMiB, 0x83},
                            {"ext4", 16 * kMiB, 0x8E},  // LVM: never probed
                        });
    gpt_ = new ToolDisk(*dir_, "gpt.img", 64 * kMiB, true,
                        {
                            {"ext4", 16 * kMiB, 0},
                            {"ntfs", 16 * kMiB, 0},
                            {"exfat", 4 * kMiB, 0},
                            {"fat16", 9 * kMiB, 0},
                        });
  }
  static void TearDownTestSuite() {
    delete mbr_;
    delete gpt_;
    delete dir_;
  }
  static synth::TempDir* dir_;
  static ToolDisk* mbr_;
  static ToolDisk* gpt_;
};
synth::TempDir* ToolDiskTest::dir_ = nullptr;
ToolDisk* ToolDiskTest::mbr_ = nullptr;
ToolDisk* ToolDiskTest::gpt_ = nullptr;

TEST_F(ToolDiskTest, MbrAndExtendedChainListEveryFileSystemButSwapAndLvm) {
  ASSERT_TRUE(mbr_->ok());
  synth::CapturingSink sink;
  const DeviceInfo d = Analyse(synth::ImageDevice(mbr_->path()), &sink);
  auto at = [&](size_t i) { return mbr_->part(i).start_sector * 512; };
  auto size = [&](size_t i) { return mbr_->part(i).size; };
  // mkntfs keeps the last sector for the backup boot sector.
  ExpectPartitions(d, {
                          {"Partition0", kFsNtfs, at(0), size(0) - 512},
                          {"Partition1", kFsFat32, at(1), size(1)},
                          {"Partition2", kFsFat16, at(4), size(4)},
                          {"Partition3", kFsExfat, at(5), size(5)},
                          {"Partition4", kFsExt4, at(6), size(6)},
                          {"Partition5", kFsExt2, at(7), size(7)},
                          {"Partition6", kFsExt3, at(8), size(8)},
                          {"Partition7", kFsXfs, at(9), size(9)},
                      });
  EXPECT_TRUE(sink.texts(NotifyCode::Error).empty());
  // Logical partitions lie behind their own extended boot records.
  EXPECT_GT(mbr_->part(4).start_sector, mbr_->part(3).start_sector);
}

TEST_F(ToolDiskTest, DetailsPointAtTheStructuresTheToolsWrote) {
  ASSERT_TRUE(mbr_->ok());
  const DeviceInfo d = Analyse(synth::ImageDevice(mbr_->path()));
  ASSERT_GE(d.partitions.size(), 4u);

  const PartitionDetails& ntfs = *d.partitions[0].details;
  EXPECT_EQ(ntfs.cluster_size, 4096);
  EXPECT_EQ(ntfs.mft_record_size, 1024);
  EXPECT_EQ(ReadBytes(mbr_->path(), ntfs.mft_offset, 4), std::vector<uint8_t>({'F', 'I', 'L', 'E'}));
  EXPECT_EQ(ReadBytes(mbr_->path(), ntfs.mft_mirror_offset, 4),
            std::vector<uint8_t>({'F', 'I', 'L', 'E'}));

  // Every FAT starts with the media byte; cluster 2 is the first data cluster.
  for (size_t i : {1u, 2u}) {
    const PartitionDetails& fat = *d.partitions[i].details;
    SCOPED_TRACE(d.partitions[i].name);
    EXPECT_GT(fat.cluster_size, 0);
    EXPECT_EQ(ReadBytes(mbr_->path(), fat.first_fat_offset, 1)[0], 0xF8);
    EXPECT_EQ(ReadBytes(mbr_->path(), fat.first_fat_offset + fat.fat_size, 1)[0], 0xF8);
    EXPECT_EQ(fat.fats_end_offset, fat.first_fat_offset + 2 * fat.fat_size);
    EXPECT_GE(fat.cluster0_offset + 2 * fat.cluster_size, fat.fats_end_offset);
  }
}

TEST_F(ToolDiskTest, GptEntriesAreProbed) {
  ASSERT_TRUE(gpt_->ok());
  const DeviceInfo d = Analyse(synth::ImageDevice(gpt_->path()));
  auto at = [&](size_t i) { return gpt_->part(i).start_sector * 512; };
  auto size = [&](size_t i) { return gpt_->part(i).size; };
  ExpectPartitions(d, {
                          {"Partition0", kFsExt4, at(0), size(0)},
                          {"Partition1", kFsNtfs, at(1), size(1) - 512},
                          {"Partition2", kFsExfat, at(2), size(2)},
                          {"Partition3", kFsFat16, at(3), size(3)},
                      });
  EXPECT_EQ(d.partitions[2].unit, 512);
}

TEST_F(ToolDiskTest, UnreadableProbeAreaIsReportedAndTheRestStaysListed) {
  ASSERT_TRUE(mbr_->ok());
  const int64_t ntfs = mbr_->part(0).start_sector * 512;
  synth::CapturingSink sink;
  const DeviceInfo d =
      Analyse(synth::FaultyImageDevice(mbr_->path(), {ByteRange::FromLength(ntfs + 4096, 512)}),
              &sink);
  ASSERT_EQ(d.partitions.size(), 7u);
  EXPECT_EQ(d.partitions[0].kind, kFsFat32);
  EXPECT_EQ(d.partitions[0].name, "Partition0");
  EXPECT_EQ(sink.Count(kMsgReadFailed), 1);
}

TEST(UnreadableDisk, AnUnreadableFirstSectorEndsTheAnalysisWithOneError) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("bad.img"), 4 * kMiB);
  synth::CapturingSink sink;
  const DeviceInfo d =
      Analyse(synth::FaultyImageDevice(img.path(), {ByteRange::FromLength(0, 512)}), &sink);
  EXPECT_TRUE(d.partitions.empty());
  EXPECT_EQ(sink.texts(NotifyCode::Error), std::vector<std::string>{std::string(kMsgReadFailed)});
}

TEST(WholeVolumeImage, FinalProbeAtZeroFindsAVolumeWithoutTable) {
  synth::TempDir dir;
  for (const std::string fs : {"fat32", "ext4"}) {
    SCOPED_TRACE(fs);
    const std::string path = dir.File(fs + ".img");
    ASSERT_EQ(Shell(MakeFileSystem(fs, path, 34 * kMiB, 0)), 0);
    const DeviceInfo d = Analyse(synth::ImageDevice(path));
    ExpectPartitions(d, {{"Partition0", fs == "fat32" ? kFsFat32 : kFsExt4, 0, 34 * kMiB}});
  }
}

// ---- Synthetic tables. ----

// A boot sector that the NTFS probe accepts, for a volume of `sectors`.
std::vector<uint8_t> NtfsBoot(int64_t sectors) {
  std::vector<uint8_t> b(512, 0);
  std::memcpy(&b[3], "NTFS    ", 8);
  StoreLE16(&b[11], 512);
  b[13] = 8;
  StoreLE32(&b[28], 63);
  StoreLE64(&b[40], static_cast<uint64_t>(sectors));
  StoreLE64(&b[48], 4);
  StoreLE64(&b[56], 2);
  b[64] = 0xF6;  // records of 2^10 bytes
  StoreLE16(&b[510], 0xAA55);
  return b;
}

void PutEntry(std::vector<uint8_t>& sector, int index, uint8_t type, uint32_t first,
              uint32_t count) {
  uint8_t* e = &sector[446 + 16 * index];
  e[4] = type;
  StoreLE32(e + 8, first);
  StoreLE32(e + 12, count);
  StoreLE16(&sector[510], 0xAA55);
}

TEST(SyntheticTables, LoopingExtendedChainEndsAndListsEachTableOnce) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("loop.img"), 8 * kMiB);
  std::vector<uint8_t> mbr(512, 0);
  PutEntry(mbr, 0, 0x05, 100, 4000);
  img.Write(0, mbr);
  // Chain base 100: EBRs at 100, 300 and 400; the last links back to 300 and
  // to itself.
  const int64_t base = 100;
  auto ebr = [&](int64_t at, std::vector<std::pair<uint32_t, bool>> links) {
    std::vector<uint8_t> s(512, 0);
    PutEntry(s, 0, 0x07, 10, 50);  // a logical NTFS volume 10 sectors on
    int i = 1;
    for (auto [first, extended] : links) PutEntry(s, i++, extended ? 0x0F : 0x05, first, 1);
    img.Write(at * 512, s);
    img.Write((at + 10) * 512, NtfsBoot(50));
  };
  ebr(base, {{200, true}});
  ebr(base + 200, {{300, false}});
  ebr(base + 300, {{200, false}, {300, true}});
  const DeviceInfo d = Analyse(synth::ImageDevice(img.path()));
  ASSERT_EQ(d.partitions.size(), 3u);
  EXPECT_EQ(d.partitions[0].start, (base + 10) * 512);
  EXPECT_EQ(d.partitions[1].start, (base + 210) * 512);
  EXPECT_EQ(d.partitions[2].start, (base + 310) * 512);
  EXPECT_EQ(d.partitions[2].length, 50 * 512);
}

TEST(SyntheticTables, EndlessExtendedChainStopsAtTheDepthBound) {
  synth::TempDir dir;
  const int tables = kMaxExtendedDepth + 200;
  synth::SparseImage img(dir.File("endless.img"), (tables + 10) * 2 * 512);
  std::vector<uint8_t> mbr(512, 0);
  PutEntry(mbr, 0, 0x05, 2, 1);
  img.Write(0, mbr);
  for (int i = 0; i < tables; ++i) {
    std::vector<uint8_t> s(512, 0);
    PutEntry(s, 0, 0x07, 1, 1);
    PutEntry(s, 1, 0x05, static_cast<uint32_t>(2 * (i + 1)), 1);  // relative to the chain base 2
    img.Write((2 + 2 * i) * 512, s);
    img.Write((3 + 2 * i) * 512, NtfsBoot(1));
  }
  const DeviceInfo d = Analyse(synth::ImageDevice(img.path()));
  EXPECT_EQ(d.partitions.size(), static_cast<size_t>(kMaxExtendedDepth));
}

TEST(SyntheticTables, TablesPointingBeyondTheDeviceEndTheirBranchQuietly) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("beyond.img"), 4 * kMiB);
  std::vector<uint8_t> mbr(512, 0);
  PutEntry(mbr, 0, 0x07, 0xFFFFFF00u, 100);
  PutEntry(mbr, 1, 0x0F, 0xFFFFFF00u, 100);
  PutEntry(mbr, 2, 0x63, 0xFFFFFF00u, 100);
  PutEntry(mbr, 3, 0x07, 2048, 100);
  img.Write(0, mbr);
  img.Write(2048 * 512, NtfsBoot(100));
  synth::CapturingSink sink;
  const DeviceInfo d = Analyse(synth::ImageDevice(img.path()), &sink);
  ExpectPartitions(d, {{"Partition0", kFsNtfs, 2048 * 512, 100 * 512}});
  EXPECT_TRUE(sink.texts(NotifyCode::Error).empty());
}

TEST(SyntheticTables, SlicedLabelEntriesAreProbedAtAbsoluteOffsets) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("sliced.img"), 8 * kMiB);
  std::vector<uint8_t> mbr(512, 0);
  PutEntry(mbr, 0, 0x63, 64, 8000);
  img.Write(0, mbr);
  std::vector<uint8_t> label(512, 0);
  StoreLE32(&label[4], 0xCA5E600D);
  StoreLE32(&label[156], 0x600DDEEE);
  StoreLE32(&label[36], 1024);  // unit
  StoreLE32(&label[40], 100);   // base
  StoreLE32(&label[220 + 0], 20);  // slice 0: (100 + 20) × 1024
  StoreLE32(&label[220 + 4], 30);
  StoreLE32(&label[232 + 0], 900);  // slice 1: (100 + 900) × 1024
  StoreLE32(&label[232 + 4], 40);
  img.Write(64 * 512, label);
  img.Write(120 * 1024, NtfsBoot(60));
  img.Write(1000 * 1024, NtfsBoot(80));
  const DeviceInfo d = Analyse(synth::ImageDevice(img.path()));
  ExpectPartitions(d, {{"Partition0", kFsNtfs, 120 * 1024, 60 * 512},
                       {"Partition1", kFsNtfs, 1000 * 1024, 80 * 512}});

  // A wrong second magic leaves the label alone.
  StoreLE32(&label[156], 0x600DDEEF);
  img.Write(64 * 512, label);
  EXPECT_TRUE(Analyse(synth::ImageDevice(img.path())).partitions.empty());
}

TEST(SyntheticTables, GptIsWalkedOnlyWith128EntriesOf128Bytes) {
  synth::TempDir dir;
  synth::SparseImage img(dir.File("gpt.img"), 8 * kMiB);
  std::vector<uint8_t> mbr(512, 0);
  PutEntry(mbr, 0, 0xEE, 1, 0xFFFFFFFFu);
  img.Write(0, mbr);
  std::vector<uint8_t> entries(512, 0);
  StoreLE64(&entries[32], 2048);
  StoreLE64(&entries[40], 4095);
  img.Write(1024, entries);
  img.Write(2048 * 512, NtfsBoot(2047));
  for (uint32_t count : {64u, 128u}) {
    SCOPED_TRACE(count);
    std::vector<uint8_t> header(512, 0);
    std::memcpy(&header[0], "EFI PART", 8);
    StoreLE32(&header[80], count);
    StoreLE32(&header[84], 128);
    img.Write(512, header);
    const DeviceInfo d = Analyse(synth::ImageDevice(img.path()));
    EXPECT_EQ(d.partitions.size(), count == 128 ? 1u : 0u);
  }
}

// ---- Probes without a tool to make them. ----

std::vector<uint8_t> Area() { return std::vector<uint8_t>(2050 * 512, 0); }

void StoreBE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}

TEST(Probes, HfsFamily) {
  PartitionRecord r;
  PartitionDetails d;
  {
    auto a = Area();
    std::memcpy(&a[1024], "H+", 2);
    StoreBE16(&a[1026], 4);
    StoreBE32(&a[1024 + 40], 4096);
    StoreBE32(&a[1024 + 44], 1000);
    StoreBE32(&a[1024 + 48], 10);
    ASSERT_TRUE(ProbeFileSystem(a, 7 * 512, 0, 512, r, d));
    EXPECT_EQ(r.kind, kFsHfsPlus);
    EXPECT_EQ(r.length, 1000 * 4096);
    StoreBE16(&a[1026], 5);  // "H+" needs version 4
    EXPECT_FALSE(ProbeFileSystem(a, 0, 0, 512, r, d));
    std::memcpy(&a[1024], "HX", 2);
    EXPECT_TRUE(ProbeFileSystem(a, 0, 0, 512, r, d));
    StoreBE32(&a[1024 + 48], 1000);  // free blocks must stay below the total
    EXPECT_FALSE(ProbeFileSystem(a, 0, 0, 512, r, d));
  }
  {
    auto a = Area();
    std::memcpy(&a[1024], "BD", 2);
    StoreBE16(&a[1024 + 18], 300);
    StoreBE32(&a[1024 + 20], 1024);
    ASSERT_TRUE(ProbeFileSystem(a, 0, 0, 512, r, d));
    EXPECT_EQ(r.kind, kFsHfs);
    EXPECT_EQ(r.length, 300 * 1024);
    std::memcpy(&a[1024 + 124], "H+", 2);
    StoreBE16(&a[1024 + 128], 200);
    ASSERT_TRUE(ProbeFileSystem(a, 0, 0, 512, r, d));
    EXPECT_EQ(r.kind, kFsHfsWrapper);
    StoreBE32(&a[1024 + 20], 1000);  // not a multiple of 512
    EXPECT_FALSE(ProbeFileSystem(a, 0, 0, 512, r, d));
  }
}

TEST(Probes, ReiserFsSignatures) {
  PartitionRecord r;
  PartitionDetails d;
  for (const char* sig : {"ReIsErFs", "ReIsEr2Fs", "ReIsEr3Fs"}) {
    auto a = Area();
    std::memcpy(&a[65536 + 52], sig, std::strlen(sig));
    StoreLE32(&a[65536], 5000);
    StoreLE16(&a[65536 + 44], 4096);
    ASSERT_TRUE(ProbeFileSystem(a, 512, 0, 512, r, d)) << sig;
    EXPECT_EQ(r.kind, kFsReiser);
    EXPECT_EQ(r.length, int64_t{5000} * 4096);
    EXPECT_EQ(FileSystemText(r.kind), "unKnown");
  }
}

TEST(Probes, ExtNeedsMoreBlocksThanOneGroup) {
  // An ext volume of a single block group is not taken for one.
  synth::TempDir dir;
  const std::string path = dir.File("small.ext4");
  ASSERT_EQ(Shell(MakeFileSystem("ext4", path, 8 * kMiB, 0)), 0);
  EXPECT_TRUE(Analyse(synth::ImageDevice(path)).partitions.empty());
}

TEST(Probes, DamagedFieldsNeitherOverflowNorPass) {
  PartitionRecord r;
  PartitionDetails d;
  auto a = Area();
  // An ext superblock with a block-size shift that would overflow.
  StoreLE16(&a[1024 + 56], 0xEF53);
  StoreLE16(&a[1024 + 88], 256);
  StoreLE32(&a[1024 + 24], 40);
  StoreLE32(&a[1024 + 32], 8192);
  StoreLE32(&a[1024 + 40], 2048);
  StoreLE32(&a[1024 + 4], 100000);
  EXPECT_FALSE(ProbeFileSystem(a, 0, 0, 512, r, d));
  // The same with a sane shift, found as a backup copy in group 1.
  StoreLE32(&a[1024 + 24], 2);
  StoreLE16(&a[1024 + 90], 1);
  ASSERT_TRUE(ProbeFileSystem(a, 8192 * 4096 + 512 * 100, 0, 512, r, d));
  EXPECT_EQ(r.kind, kFsExt2);
  EXPECT_EQ(r.start, 512 * 100);
  // An NTFS boot sector with a huge sector count saturates.
  auto n = NtfsBoot(0);
  StoreLE64(&n[40], 0xFFFFFFFFFFFFFFFFull);
  std::copy(n.begin(), n.end(), a.begin());
  ASSERT_TRUE(ProbeFileSystem(a, 0, 0, 512, r, d));
  EXPECT_EQ(r.kind, kFsNtfs);
  EXPECT_GT(r.length, 0);
}

TEST(Probes, TreeTexts) {
  EXPECT_EQ(FileSystemText(kFsNtfs), "NTFS");
  EXPECT_EQ(FileSystemText(kFsFat32), "FAT32");
  EXPECT_EQ(FileSystemText(kFsFat16), "FAT16");
  for (int32_t k : {kFsExfat, kFsHfs, kFsExt4, kFsXfs, 0, 99}) EXPECT_EQ(FileSystemText(k), "unKnown");
}

}  // namespace
}  // namespace orvane
