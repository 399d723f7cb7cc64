#include "device/partitions.h"

#include <cstdio>
#include <cstring>
#include <limits>
#include <set>
#include <vector>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"

namespace orvane {
namespace {

constexpr size_t kMbrReadBytes = 8192;
constexpr size_t kEbrReadBytes = 4096;
constexpr size_t kGptHeaderBytes = 4096;
constexpr size_t kGptEntriesBytes = 16384;
constexpr size_t kSlicedReadBytes = 8192;
constexpr int kProbeSectors = 2050;
constexpr size_t kTableOffset = 446;

constexpr uint32_t kSlicedMagic1 = 0xCA5E600D;
constexpr uint32_t kSlicedMagic2 = 0x600DDEEE;

int64_t ClampU64(uint64_t v) {
  return v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())
             ? std::numeric_limits<int64_t>::max()
             : static_cast<int64_t>(v);
}

int64_t Mul(int64_t a, int64_t b) { return SaturatingMul(a, b); }

bool IsMultipleOf512(uint32_t v) { return v >= 512 && v % 512 == 0; }

// ---- Probes. Each works on the one probe buffer; `a` is that buffer. ----

struct ProbeResult {
  int32_t kind = kFsNone;
  int32_t unit = 0;
  int64_t start = 0;
  int64_t length = 0;
  PartitionDetails details;
};

bool ProbeNtfs(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (a.size() < 512) return false;
  const uint8_t* b = a.data();
  if (LoadLE16(b + 510) != 0xAA55) return false;
  const uint32_t bps = LoadLE16(b + 11);
  if (!IsMultipleOf512(bps)) return false;
  if (b[16] != 0 || LoadLE16(b + 17) != 0 || LoadLE16(b + 22) != 0) return false;
  if (LoadLE32(b + 28) == 0) return false;
  if (std::memcmp(b + 3, "NTFS", 4) != 0) return false;
  r.kind = kFsNtfs;
  r.unit = static_cast<int32_t>(bps);
  r.start = p;
  r.length = Mul(ClampU64(LoadLE64(b + 40)), bps);
  // Values above 0x80 in the sectors-per-cluster byte are a negative power
  // of two, as large-cluster volumes write it.
  const uint8_t spc_byte = b[13];
  int64_t spc = spc_byte;
  if (spc_byte > 0x80) {
    const int shift = 256 - spc_byte;
    spc = shift < 31 ? (int64_t{1} << shift) : 0;
  }
  PartitionDetails& d = r.details;
  d.kind = kFsNtfs;
  d.cluster_size = spc * bps;
  d.mft_offset = SaturatingAdd(Mul(ClampU64(LoadLE64(b + 48)), d.cluster_size), p);
  d.mft_mirror_offset = SaturatingAdd(Mul(ClampU64(LoadLE64(b + 56)), d.cluster_size), p);
  const auto rec = static_cast<int8_t>(b[64]);
  if (rec >= 0) {
    d.mft_record_size = rec * d.cluster_size;
  } else {
    d.mft_record_size = -rec < 31 ? (int64_t{1} << -rec) : 0;
  }
  return true;
}

void FillFatDetails(const uint8_t* b, int64_t p, uint32_t bps, int64_t fat_sectors,
                    int64_t root_bytes, ProbeResult& r) {
  PartitionDetails& d = r.details;
  d.kind = r.kind;
  d.cluster_size = int64_t{b[13]} * bps;
  d.fat_size = Mul(fat_sectors, bps);
  d.first_fat_offset = SaturatingAdd(int64_t{LoadLE16(b + 14)} * bps, p);
  d.fats_end_offset = SaturatingAdd(d.first_fat_offset, Mul(b[16], d.fat_size));
  // The fixed root directory of FAT16 lies between the FATs and the data.
  const int64_t root_sectors = (root_bytes + bps - 1) / bps;
  const int64_t data_start = SaturatingAdd(d.fats_end_offset, root_sectors * bps);
  d.cluster0_offset = data_start - 2 * d.cluster_size;
}

bool ProbeFat32(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (a.size() < 512) return false;
  const uint8_t* b = a.data();
  if (LoadLE16(b + 510) != 0xAA55) return false;
  if (b[16] != 2) return false;
  const uint32_t bps = LoadLE16(b + 11);
  if (!IsMultipleOf512(bps)) return false;
  if (LoadLE16(b + 17) != 0 || LoadLE16(b + 22) != 0) return false;
  if (std::memcmp(b + 82, "FAT32", 5) != 0) return false;
  const uint64_t reserved = LoadLE16(b + 14);
  const uint64_t fat_sectors = LoadLE32(b + 36);
  const uint64_t total = LoadLE32(b + 32);
  if (!(reserved + 2 * fat_sectors < total)) return false;
  r.kind = kFsFat32;
  r.unit = static_cast<int32_t>(bps);
  r.start = p;
  r.length = static_cast<int64_t>(total) * bps;
  FillFatDetails(b, p, bps, static_cast<int64_t>(fat_sectors), 0, r);
  return true;
}

bool ProbeFat16(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (a.size() < 512) return false;
  const uint8_t* b = a.data();
  if (LoadLE16(b + 510) != 0xAA55) return false;
  const uint32_t root_entries = LoadLE16(b + 17);
  if (root_entries != 512) return false;
  const uint32_t bps = LoadLE16(b + 11);
  if (!IsMultipleOf512(bps)) return false;
  if (std::memcmp(b + 54, "FAT16", 5) != 0) return false;
  int64_t sectors = LoadLE32(b + 32);
  if (sectors == 0) sectors = LoadLE16(b + 19);
  r.kind = kFsFat16;
  r.unit = static_cast<int32_t>(bps);
  r.start = p;
  r.length = sectors * bps;
  FillFatDetails(b, p, bps, LoadLE16(b + 22), int64_t{root_entries} * 32, r);
  return true;
}

bool ProbeExfat(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (a.size() < 512) return false;
  const uint8_t* b = a.data();
  if (LoadLE16(b + 510) != 0xAA55) return false;
  for (int i = 11; i <= 63; ++i)
    if (b[i] != 0) return false;
  if (std::memcmp(b + 3, "EXFAT", 5) != 0) return false;
  // A shift this large is no sector size; it would also overflow the unit.
  const uint8_t sector_shift = b[108];
  const uint8_t cluster_shift = b[109];
  if (sector_shift > 30) return false;
  const int64_t sector = int64_t{1} << sector_shift;
  r.kind = kFsExfat;
  r.unit = static_cast<int32_t>(sector);
  r.start = p;
  r.length = Mul(ClampU64(LoadLE64(b + 72)), sector);
  PartitionDetails& d = r.details;
  d.kind = kFsExfat;
  d.cluster_size = sector_shift + cluster_shift < 62 ? (sector << cluster_shift) : 0;
  d.first_fat_offset = SaturatingAdd(Mul(LoadLE32(b + 80), sector), p);
  d.fat_size = Mul(LoadLE32(b + 84), sector);
  // Cluster numbering of the heap starts at 2.
  d.cluster0_offset = SaturatingAdd(Mul(LoadLE32(b + 88), sector), p) - 2 * d.cluster_size;
  return true;
}

bool ProbeExt(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (!FieldFits(a.size(), 1024, 1024)) return false;
  const uint8_t* s = a.data() + 1024;
  if (LoadLE16(s + 56) != 0xEF53) return false;
  if (LoadLE32(s + 72) != 0) return false;
  if (LoadLE16(s + 88) < 128) return false;
  // A block size that does not fit 32 bits would wrap to 0.
  const uint32_t log_block = LoadLE32(s + 24);
  if (log_block > 21) return false;
  const int64_t block = int64_t{1024} << log_block;
  const uint32_t per_group = LoadLE32(s + 32);
  if (per_group == 0 || LoadLE32(s + 40) == 0) return false;
  if (LoadLE32(s + 0) < LoadLE32(s + 16)) return false;
  const uint64_t blocks = (uint64_t{LoadLE32(s + 336)} << 32) | LoadLE32(s + 4);
  const uint64_t free_blocks = (uint64_t{LoadLE32(s + 344)} << 32) | LoadLE32(s + 12);
  if (!(free_blocks < blocks) || !(blocks > per_group)) return false;
  const uint32_t compat = LoadLE32(s + 92);
  const uint32_t incompat = LoadLE32(s + 96);
  r.kind = (compat & 0x4) == 0 ? kFsExt2 : (incompat & 0x40) == 0 ? kFsExt3 : kFsExt4;
  // A backup superblock (group number above 0) puts the volume further back.
  const int64_t group_nr = LoadLE16(s + 90);
  r.start = p - Mul(Mul(group_nr, per_group), block);
  // The 64-bit count equals the low word on every volume below 2^32 blocks
  // and stays right above it.
  r.length = Mul(ClampU64(blocks), block);
  r.details.kind = r.kind;
  r.details.cluster_size = block;
  r.details.superblock_offset = SaturatingAdd(p, 1024);
  return true;
}

bool ProbeXfs(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (!FieldFits(a.size(), 0, 1028)) return false;
  const uint8_t* s = a.data();
  if (std::memcmp(s, "XFSB", 4) != 0) return false;
  auto pow2 = [](uint8_t e) -> uint32_t { return e < 16 ? (1u << e) : 0; };
  if (LoadBE16(s + 102) != pow2(s[121])) return false;
  if (LoadBE16(s + 104) != pow2(s[122])) return false;
  if (LoadBE16(s + 106) != pow2(s[123])) return false;
  if (s[192] >= 5) return false;
  if (std::memcmp(s + 512, "XAGF", 4) != 0 || std::memcmp(s + 1024, "XAGI", 4) != 0) return false;
  const uint64_t dblocks = (uint64_t{LoadBE32(s + 8)} << 32) | LoadBE32(s + 12);
  const uint32_t block = LoadBE32(s + 4);
  r.kind = kFsXfs;
  r.unit = LoadBE16(s + 102);
  r.start = p;
  r.length = Mul(ClampU64(dblocks), block);
  r.details.kind = kFsXfs;
  r.details.cluster_size = block;
  r.details.superblock_offset = p;
  return true;
}

bool ProbeReiser(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (!FieldFits(a.size(), 65536, 64)) return false;
  const uint8_t* s = a.data() + 65536;
  if (std::memcmp(s + 52, "ReIsErFs", 8) != 0 && std::memcmp(s + 52, "ReIsEr2Fs", 9) != 0 &&
      std::memcmp(s + 52, "ReIsEr3Fs", 9) != 0)
    return false;
  const int64_t block = LoadLE16(s + 44);
  r.kind = kFsReiser;
  r.start = p;
  r.length = int64_t{LoadLE32(s)} * block;
  r.details.kind = kFsReiser;
  r.details.cluster_size = block;
  r.details.superblock_offset = SaturatingAdd(p, 65536);
  return true;
}

bool ProbeHfs(std::span<const uint8_t> a, int64_t p, ProbeResult& r) {
  if (!FieldFits(a.size(), 1024, 512)) return false;
  const uint8_t* h = a.data() + 1024;
  const uint16_t sig = LoadBE16(h);
  r.details.superblock_offset = SaturatingAdd(p, 1024);
  if (sig == 0x4244) {  // "BD": classic HFS master directory block
    const uint32_t block = LoadBE32(h + 20);
    if (block == 0 || block % 512 != 0) return false;
    const uint16_t embedded = LoadBE16(h + 124);
    if (embedded == 0) {
      r.kind = kFsHfs;
      r.length = int64_t{LoadBE16(h + 18)} * block;  // allocation blocks × size
    } else if (embedded == 0x482B) {  // "H+"
      r.kind = kFsHfsWrapper;
      r.length = int64_t{LoadBE16(h + 128)} * block;  // the embedded volume's extent
    } else {
      return false;
    }
    r.start = p;
    r.details.kind = r.kind;
    r.details.cluster_size = block;
    return true;
  }
  const uint16_t version = LoadBE16(h + 2);
  if (!((sig == 0x482B && version == 4) || (sig == 0x4858 && version == 5))) return false;
  const uint32_t total = LoadBE32(h + 44);
  if (!(LoadBE32(h + 48) < total)) return false;
  const uint32_t block = LoadBE32(h + 40);
  if (block == 0 || block % 512 != 0 || block >= 65536) return false;
  r.kind = kFsHfsPlus;
  r.start = p;
  r.length = int64_t{total} * block;
  r.details.kind = kFsHfsPlus;
  r.details.cluster_size = block;
  return true;
}

// ---- The walk. ----

class Walker {
 public:
  Walker(SourceDevice& source, DeviceInfo& device)
      : source_(source),
        device_(device),
        ss_(device.sector_size > 0 ? device.sector_size : kSectorSize),
        probe_(static_cast<size_t>(ss_) * kProbeSectors) {
    size_ = device.size > 0 ? device.size : source.Size();
  }

  void Run() {
    std::vector<uint8_t> mbr(kMbrReadBytes);
    // The final probe would read the same unreadable sectors again.
    if (!ReadOrReport(0, mbr)) return;
    for (int i = 0; i < 4; ++i) {
      const uint8_t* e = mbr.data() + kTableOffset + 16 * i;
      const uint8_t type = e[4];
      const uint32_t first = LoadLE32(e + 8);
      const uint32_t count = LoadLE32(e + 12);
      if (type == 0 || count == 0) continue;
      if (IsExtended(type)) {
        if (first != 0) {
          const int64_t at = int64_t{first} * ss_;
          WalkExtended(at, at, 0);
        }
      } else {
        Dispatch(type, first, count, 0);
      }
    }
    // A file system that fills the whole device, as in an image of one volume.
    Probe(0, 0);
  }

 private:
  static bool IsExtended(uint8_t type) { return type == 0x05 || type == 0x0F; }

  // False for an area that starts beyond the device: a damaged table points
  // there, and reading it would only report a bad sector that is not one.
  bool OnDevice(int64_t offset) const { return offset >= 0 && (size_ <= 0 || offset < size_); }

  bool ReadOrReport(int64_t offset, std::vector<uint8_t>& buf) {
    std::fill(buf.begin(), buf.end(), 0);
    source_.Read(offset, buf.data(), static_cast<int32_t>(buf.size()));
    if (!source_.ok()) {
      PostError(kMsgReadFailed);
      return false;
    }
    return true;
  }

  void WalkExtended(int64_t e, int64_t chain_base, int depth) {
    if (!OnDevice(e) || depth >= kMaxExtendedDepth || tables_ >= kMaxExtendedTables) return;
    if (!visited_.insert(e).second) return;  // the chain loops back on itself
    ++tables_;
    std::vector<uint8_t> ebr(kEbrReadBytes);
    if (!ReadOrReport(e, ebr)) return;
    for (int i = 0; i < 4; ++i) {
      const uint8_t* en = ebr.data() + kTableOffset + 16 * i;
      const uint8_t type = en[4];
      const uint32_t first = LoadLE32(en + 8);
      const uint32_t count = LoadLE32(en + 12);
      if (type == 0 || count == 0) continue;
      if (IsExtended(type)) {
        if (first != 0) WalkExtended(chain_base + int64_t{first} * ss_, chain_base, depth + 1);
      } else {
        Dispatch(type, first, count, e);
      }
    }
  }

  void Dispatch(uint8_t type, uint32_t first, uint32_t count, int64_t base) {
    switch (type) {
      case 0xEE:
        Gpt();
        return;
      case 0xBF:
      case 0x82:  // swap
      case 0xA5:
      case 0xA6:
      case 0xA9:
      case 0x8E:  // LVM
        return;
      case 0x63:
        Sliced(base + int64_t{first} * ss_);
        return;
      default:
        Probe(base + int64_t{first} * ss_, int64_t{count} * ss_);
    }
  }

  void Gpt() {
    // Every protective entry names the same header; one walk lists it once.
    if (gpt_done_) return;
    gpt_done_ = true;
    std::vector<uint8_t> header(kGptHeaderBytes);
    if (!ReadOrReport(ss_, header)) return;
    if (LoadLE32(header.data() + 80) != 128 || LoadLE32(header.data() + 84) != 128) return;
    std::vector<uint8_t> entries(kGptEntriesBytes);
    if (!ReadOrReport(2 * int64_t{ss_}, entries)) return;
    for (int i = 0; i < 128; ++i) {
      const uint8_t* en = entries.data() + 128 * i;
      const uint64_t first = LoadLE64(en + 32);
      const uint64_t last = LoadLE64(en + 40);
      if (!(last > first)) continue;
      const int64_t at = Mul(ClampU64(first), ss_);
      Probe(at, Mul(ClampU64(last - first), ss_));
    }
  }

  void Sliced(int64_t s) {
    if (!OnDevice(s)) return;
    std::vector<uint8_t> label(kSlicedReadBytes);
    if (!ReadOrReport(s, label)) return;
    if (LoadLE32(label.data() + 4) != kSlicedMagic1 ||
        LoadLE32(label.data() + 156) != kSlicedMagic2)
      return;
    const int64_t unit = LoadLE32(label.data() + 36);
    const int64_t base = LoadLE32(label.data() + 40);
    for (int i = 0; i < 16; ++i) {
      const uint8_t* en = label.data() + 220 + 12 * i;
      const int64_t start = LoadLE32(en);
      const int64_t size = LoadLE32(en + 4);
      Probe(Mul(base + start, unit), Mul(size, unit));
    }
  }

  void Probe(int64_t p, int64_t table_length) {
    if (!OnDevice(p)) return;
    std::fill(probe_.begin(), probe_.end(), 0);
    source_.Read(p, probe_.data(), static_cast<int32_t>(probe_.size()));
    if (!source_.ok()) {
      PostError(kMsgReadFailed);
      return;
    }
    PartitionRecord rec;
    auto details = std::make_shared<PartitionDetails>();
    if (!ProbeFileSystem(probe_, p, table_length, ss_, rec, *details)) return;
    char name[32];
    std::snprintf(name, sizeof name, "Partition%d", static_cast<int>(device_.partitions.size()));
    rec.name = name;
    rec.details = std::move(details);
    device_.partitions.push_back(std::move(rec));
  }

  SourceDevice& source_;
  DeviceInfo& device_;
  const int32_t ss_;
  int64_t size_ = 0;
  // A megabyte: on a large page, not on hundreds of small ones.
  ScanBytes probe_;
  std::set<int64_t> visited_;
  int tables_ = 0;
  bool gpt_done_ = false;
};

}  // namespace

bool ProbeFileSystem(std::span<const uint8_t> area, int64_t start, int64_t table_length,
                     int32_t sector_size, PartitionRecord& record, PartitionDetails& details) {
  using ProbeFn = bool (*)(std::span<const uint8_t>, int64_t, ProbeResult&);
  static constexpr ProbeFn kProbes[] = {ProbeNtfs, ProbeFat32, ProbeFat16, ProbeExfat,
                                        ProbeExt,  ProbeXfs,   ProbeReiser, ProbeHfs};
  for (ProbeFn probe : kProbes) {
    ProbeResult r;
    r.unit = sector_size;
    r.start = start;
    r.length = table_length;
    if (!probe(area, start, r)) continue;
    record.kind = r.kind;
    record.unit = r.unit;
    record.start = r.start;
    record.length = r.length;
    record.label.clear();
    details = r.details;
    details.kind = r.kind;
    return true;
  }
  return false;
}

void AnalysePartitions(SourceDevice& source, DeviceInfo& device) {
  Walker(source, device).Run();
}

std::string_view FileSystemText(int32_t kind) {
  switch (kind) {
    case kFsNtfs:
      return "NTFS";
    case kFsFat32:
      return "FAT32";
    case kFsFat16:
      return "FAT16";
    default:
      return "unKnown";
  }
}

std::string_view FileSystemName(int32_t kind) {
  switch (kind) {
    case kFsNtfs:
      return "NTFS";
    case kFsFat32:
      return "FAT32";
    case kFsFat16:
      return "FAT16";
    case kFsExfat:
      return "exFAT";
    case kFsHfs:
      return "HFS";
    case kFsHfsWrapper:
      return "HFS wrapper";
    case kFsHfsPlus:
      return "HFS+";
    case kFsExt2:
      return "ext2";
    case kFsExt3:
      return "ext3";
    case kFsExt4:
      return "ext4";
    case kFsXfs:
      return "XFS";
    case kFsReiser:
      return "ReiserFS";
    default:
      return "unknown";
  }
}

}  // namespace orvane
