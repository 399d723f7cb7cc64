// Writes the seed corpora of the fuzz targets into DIR/<target>/: pieces of
// what the synthetic disk builders plant, and task files of real parses of
// small built disks, cut to a few kilobytes.
//
//   orvane-fuzz-seeds DIR

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "engines/dahua/dahua_variant.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "synth/boli_disk.h"
#include "synth/dahua_disk.h"
#include "synth/hikvision_disk.h"
#include "synth/hole_image_device.h"
#include "synth/jovision_disk.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace fs = std::filesystem;
using namespace orvane;
using synth::Bytes;

namespace {

constexpr size_t kSeedBytes = 4096;
constexpr int32_t kDahuaBrands[] = {BrandDahua, BrandHuayi, BrandMeidianBell, BrandZhiling};

fs::path g_out;

void Save(const std::string& target, const std::string& name, Bytes bytes,
          size_t limit = kSeedBytes) {
  if (bytes.size() > limit) bytes.resize(limit);
  fs::create_directories(g_out / target);
  std::ofstream(g_out / target / name, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
}

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

Bytes Small(size_t n, uint8_t seed) {
  Bytes b{0, 0, 0, 1, 0x65};
  for (size_t k = b.size(); k < n; ++k) b.push_back(static_cast<uint8_t>(seed + k * 13));
  return b;
}

uint8_t SelectorOf(int32_t brand, std::span<const int32_t> brands) {
  for (size_t k = 0; k < brands.size(); ++k)
    if (brands[k] == brand) return static_cast<uint8_t>(k);
  return 0;
}

// Frames of one Dahua-family brand: a cut frame in front, a chain of video
// frames, and a frame cut by the end.
Bytes DahuaFrames(int32_t brand) {
  const uint32_t magic = DahuaVariantFor(brand).magic;
  const uint32_t t = synth::PackTime(2016, 5, 3, 8, 0, 0);
  Bytes frames;
  for (uint32_t k = 0; k < 6; ++k)
    frames = Cat({frames, synth::DahuaVideoFrame(magic, 2, synth::AddSeconds(t, k), k,
                                                 Small(200, k), k % 3 == 0)});
  Bytes cut = synth::DahuaVideoFrame(magic, 2, t, 9, Small(900, 9), true);
  return Cat({Bytes(cut.end() - 60, cut.end()), frames, cut});
}

void AnalyserSeeds() {
  // Hikvision packs: two cameras' recordings back to back.
  synth::HikRecordingSpec a{1, synth::UnixTime(2016, 5, 3, 8, 0, 0), 4, 25};
  synth::HikRecordingSpec b{2, synth::UnixTime(2016, 5, 3, 9, 0, 0), 4, 25};
  Bytes ha = synth::MakeHikvisionRecording(a), hb = synth::MakeHikvisionRecording(b);
  ha.resize(std::min<size_t>(ha.size(), 2000));
  hb.resize(std::min<size_t>(hb.size(), 2000));
  Save("fuzz_hikvision_packs", "two-recordings", Cat({ha, hb}));

  for (int32_t brand : kDahuaBrands) {
    const Bytes sel{SelectorOf(brand, kDahuaBrands)};
    const std::string name = BrandSlug(brand);
    Save("fuzz_dahua_chunk", name, Cat({sel, DahuaFrames(brand)}));
    Save("fuzz_dahua_walk", name, Cat({sel, DahuaFrames(brand), DahuaFrames(brand)}), 8192);
  }

  const uint32_t wt = synth::PackTime(2016, 5, 17, 10, 0, 0);
  const Bytes wfs =
      Cat({synth::WfsKeyFrame(wt, Small(300, 1)), synth::WfsAudioFrame(Small(40, 2)),
           synth::WfsVideoFrame(Small(200, 3)), synth::WfsKeyFrame(wt + 1, Small(300, 4))});
  Save("fuzz_wfs_block", "chain", wfs);
  Save("fuzz_wfs_block", "cut-head-and-tail", Bytes(wfs.begin() + 100, wfs.end() - 50));

  const uint32_t bt = synth::ReversedTime(2016, 5, 3, 8, 0, 0);
  Bytes boli;
  for (int k = 0; k < 5; ++k)
    boli = Cat({boli, synth::BoliFrame(1, synth::AddReversedSeconds(bt, k), Small(300, k))});
  Save("fuzz_boli_frames", "frames", boli);

  Bytes jvs(1024, 0);
  const Bytes file = synth::JvsFile(3, Small(400, 5));
  std::copy(file.begin(), file.begin() + std::min<size_t>(file.size(), 512), jvs.begin() + 512);
  Save("fuzz_jovision_frames", "file-in-second-sector", jvs);

  // Whole deep parses: brand selector, settings (version in the top bit,
  // smart value 0 or detected in the lowest), image.
  auto deep = [](int32_t brand, int32_t version, const Bytes& image) {
    for (uint8_t detect : {0, 1}) {
      const auto settings = static_cast<uint8_t>(((version - 1) << 7) | detect);
      Save("fuzz_deep_parse",
           std::string(BrandSlug(brand)) + "-v" + std::to_string(version) +
               (detect ? "-detect" : ""),
           Cat({Bytes{static_cast<uint8_t>(brand - 1), settings}, image}), 8192);
    }
  };
  deep(BrandHikvision, 1, Cat({ha, hb}));
  for (int32_t brand : kDahuaBrands)
    for (int32_t v : {1, 2}) deep(brand, v, Cat({DahuaFrames(brand), DahuaFrames(brand)}));
  for (int32_t v : {1, 2}) deep(BrandWfs, v, Cat({wfs, wfs}));
  deep(BrandBoli, 1, Cat({synth::BoliHeaderSector(), boli}));
  deep(BrandJovision, 1, jvs);

  // Partition tables: four primary entries, an extended chain and a GPT,
  // each entry starting inside the first sectors.
  Bytes mbr(4096, 0);
  auto entry = [&](Bytes& s, size_t base, int slot, uint8_t type, uint32_t lba, uint32_t count) {
    uint8_t* e = &s[base + 446 + 16 * slot];
    e[4] = type;
    StoreLE32(e + 8, lba);
    StoreLE32(e + 12, count);
  };
  mbr[510] = 0x55;
  mbr[511] = 0xAA;
  entry(mbr, 0, 0, 0x07, 1, 1000);
  entry(mbr, 0, 1, 0x0C, 2, 1000);
  entry(mbr, 0, 2, 0x83, 3, 1000);
  entry(mbr, 0, 3, 0x05, 4, 4000);
  std::memcpy(&mbr[512 + 3], "NTFS    ", 8);
  std::memcpy(&mbr[1024 + 82], "FAT32   ", 8);
  std::memcpy(&mbr[1536 + 3], "EXFAT   ", 8);
  mbr[2048 + 510] = 0x55;
  mbr[2048 + 511] = 0xAA;
  entry(mbr, 2048, 0, 0x07, 1, 100);
  entry(mbr, 2048, 1, 0x05, 2, 100);
  Save("fuzz_partitions", "mbr-and-extended", mbr);
  Bytes gpt(4096, 0);
  gpt[510] = 0x55;
  gpt[511] = 0xAA;
  entry(gpt, 0, 0, 0xEE, 1, 0xFFFFFFFF);
  std::memcpy(&gpt[512], "EFI PART", 8);
  StoreLE32(&gpt[512 + 8], 0x10000);
  StoreLE32(&gpt[512 + 12], 92);
  StoreLE64(&gpt[512 + 72], 2);
  StoreLE32(&gpt[512 + 80], 4);
  StoreLE32(&gpt[512 + 84], 128);
  gpt[1024] = 0xA2;  // a type GUID that is not zero
  StoreLE64(&gpt[1024 + 32], 5);
  StoreLE64(&gpt[1024 + 40], 7);
  Save("fuzz_partitions", "gpt", gpt);
}

// The first frames of the test stream as each brand wraps them, behind the
// frame reader target's brand selector, time kind and start time word.
void FrameReaderSeeds() {
  static constexpr int32_t kAll[] = {BrandHikvision, BrandDahua,       BrandWfs,      BrandBoli,
                                     BrandHuayi,     BrandMeidianBell, BrandJovision, BrandZhiling};
  constexpr int kFrames = 5;
  const std::vector<Bytes>& units = synth::TestFrames();
  auto save = [&](int32_t brand, uint8_t time_kind, uint32_t start, const Bytes& stream) {
    Bytes head{SelectorOf(brand, kAll), time_kind, 0, 0, 0, 0};
    StoreLE32(&head[2], start);
    Save("fuzz_frame_readers", BrandSlug(brand), Cat({head, stream}), 8192);
  };

  const int64_t unix_start = synth::UnixTime(2016, 5, 3, 8, 0, 0);
  save(BrandHikvision, TimeUnixUtc, static_cast<uint32_t>(unix_start),
       synth::MakeHikvisionRecording({1, unix_start, kFrames, 25}));

  const uint32_t packed = synth::PackTime(2016, 5, 3, 8, 0, 0);
  for (int32_t brand : kDahuaBrands) {
    Bytes frames;
    for (uint32_t k = 0; k < kFrames; ++k)
      frames = Cat({frames, synth::DahuaVideoFrame(DahuaVariantFor(brand).magic, 1, packed, k,
                                                   units[k], synth::IsKeyFrame(units[k]))});
    save(brand, TimePacked, packed, frames);
  }

  Bytes wfs = synth::WfsKeyFrame(packed, units[0]);
  for (int k = 1; k < kFrames; ++k)
    wfs = Cat({wfs, synth::WfsVideoFrame(units[k]), synth::WfsAudioFrame(Small(40, 2))});
  save(BrandWfs, TimePacked, packed, wfs);

  const uint32_t reversed = synth::ReversedTime(2016, 5, 3, 8, 0, 0);
  Bytes boli;
  for (int k = 0; k < kFrames; ++k)
    boli = Cat({boli, synth::BoliFrame(1, synth::AddReversedSeconds(reversed, k), units[k])});
  save(BrandBoli, TimePackedReversed, reversed, boli);

  Bytes stream;
  for (int k = 0; k < kFrames; ++k) stream = Cat({stream, units[k]});
  save(BrandJovision, TimeUnixCalendar, static_cast<uint32_t>(unix_start),
       synth::JvsFile(1, stream));
}

// A real parse of a built disk, its task cut to a seed (the head's length
// then names the cut file).
void SaveTask(const std::string& target, const std::string& name, const DeviceInfo& device,
              int32_t brand, int32_t mode, int32_t version, int64_t smart, int32_t buffer,
              const std::string& task) {
  ScanParameters p;
  p.source = &device;
  p.brand = brand;
  p.mode = mode;
  p.version = version;
  p.region_end = device.size;
  p.task_path = task;
  p.smart_value = smart;
  p.buffer = buffer;
  RunParse(p);
  Bytes bytes = synth::ReadWholeFile(task);
  if (bytes.size() > kSeedBytes) bytes.resize(kSeedBytes);
  if (bytes.size() >= 8) StoreLE64(bytes.data(), bytes.size());
  std::printf("%s/%s: %zu bytes\n", target.c_str(), name.c_str(), bytes.size());
  Save(target, name, bytes);
}

void TaskSeeds(const synth::TempDir& dir) {
  const std::string task = dir.File("seed.tak");
  {
    synth::HikvisionDisk disk(dir.File("hik.img"));
    disk.AddRecording(0, 0x1000, {1, synth::UnixTime(2016, 5, 3, 8, 0, 0), 30, 25});
    disk.AddRecording(1, 0x2000, {2, synth::UnixTime(2016, 5, 3, 9, 0, 0), 30, 25});
    const DeviceInfo d = synth::HoleAwareImageDevice(disk.path());
    SaveTask("fuzz_task_hikvision", "fast", d, BrandHikvision, ScanModeFast, 1, 0, kDefaultBuffer,
             task);
    SaveTask("fuzz_task_hikvision", "deep", d, BrandHikvision, ScanModeDeep, 1, 0, kDefaultBuffer,
             task);
  }
  for (int32_t brand : kDahuaBrands) {
    const std::string path = dir.File("dahua.img");
    {
      synth::DahuaDisk disk(brand, path, 16 << 20);
      synth::DahuaAreaSpec area;
      area.base = 0x200000;
      area.block_size = 0x100000;
      area.data_offset = 0x160000 + 0x200000 - area.base;
      disk.AddArea(area);
      const uint32_t t = synth::PackTime(2016, 5, 3, 8, 0, 0);
      synth::DahuaRecordingSpec r;
      r.channel = 1;
      r.blocks = {0, 2};
      r.start_time = t;
      r.frames = 40;
      r.end = synth::BlockEnd::kOpen;
      disk.Plant(r);
      r.channel = 2;
      r.blocks = {1};
      r.start_time = synth::AddSeconds(t, 3600);
      disk.Plant(r);
      disk.Finish();
    }
    const DeviceInfo d = synth::HoleAwareImageDevice(path);
    const std::string slug = BrandSlug(brand);
    SaveTask("fuzz_task_dahua", slug + "-fast", d, brand, ScanModeFast, 1, 0, kDefaultBuffer, task);
    for (int32_t v : {1, 2})
      SaveTask("fuzz_task_dahua", slug + "-deep-v" + std::to_string(v), d, brand, ScanModeDeep, v,
               0x160000, 0x40000, task);
  }
  {
    synth::WfsDisk disk(dir.File("wfs.img"));
    disk.Plant(1, synth::PackTime(2016, 5, 17, 10, 0, 0), {1, 3});
    disk.Plant(2, synth::PackTime(2016, 5, 17, 12, 0, 0), {2});
    const DeviceInfo d = synth::HoleAwareImageDevice(disk.path());
    const int64_t smart = disk.geometry().smart_value;
    SaveTask("fuzz_task_wfs", "fast", d, BrandWfs, ScanModeFast, 1, smart, kDefaultBuffer, task);
    for (int32_t v : {1, 2})
      SaveTask("fuzz_task_wfs", "deep-v" + std::to_string(v), d, BrandWfs, ScanModeDeep, v, smart,
               kDefaultBuffer, task);
  }
  {
    const std::string path = dir.File("boli.img");
    {
      synth::SparseImage img(path, 8 << 20);
      synth::BuildBoliDisk(
          img,
          {{0x1000, synth::BoliStreamFrames(1, synth::ReversedTime(2016, 5, 3, 8, 0, 0), 12)},
           {0x300000, synth::BoliStreamFrames(2, synth::ReversedTime(2016, 5, 3, 9, 0, 0), 12)}});
    }
    const DeviceInfo d = synth::HoleAwareImageDevice(path);
    SaveTask("fuzz_task_boli", "deep", d, BrandBoli, ScanModeDeep, 1, 0, kDefaultBuffer, task);
  }
  {
    const std::string path = dir.File("jvs.img");
    {
      synth::SparseImage img(path, 2 * synth::kJvsArea);
      synth::BuildJvsDisk(
          img, {0, 1},
          {{1, 1600000000, 90500, Small(20000, 1), {{0, 0x1000000, 0, 0}, {1, 0x200, 0, 3}}, 0},
           {2, 1600000100, 30000, Small(9000, 2), {{1, 0x3000000, 0, 0}}, 1}});
      synth::PlantJvsFile(img, 0x5000000, 1, synth::TestStream());
      synth::PlantJvsFile(img, 0x5008000, 2, synth::TestStream());
    }
    const DeviceInfo d = synth::HoleAwareImageDevice(path);
    SaveTask("fuzz_task_jovision", "fast", d, BrandJovision, ScanModeFast, 1, 0, kDefaultBuffer,
             task);
    SaveTask("fuzz_task_jovision", "deep", d, BrandJovision, ScanModeDeep, 1, 0, kDefaultBuffer,
             task);
  }
}

// The first bytes of built disks whose first structures lie there, for the
// fast parses.
Bytes FirstBytes(const std::string& path, size_t n) {
  Bytes b(n);
  std::ifstream in(path, std::ios::binary);
  in.read(reinterpret_cast<char*>(b.data()), static_cast<std::streamsize>(n));
  b.resize(static_cast<size_t>(in.gcount()));
  return b;
}

void FastSeeds(const synth::TempDir& dir) {
  {
    synth::HikvisionDiskOptions o;
    o.blocks = 1;
    synth::HikvisionDisk disk(dir.File("hik-fast.img"), o);
    disk.AddRecording(0, 0x1000, {1, synth::UnixTime(2016, 5, 3, 8, 0, 0), 3, 25});
    Save("fuzz_fast_hikvision", "header", FirstBytes(disk.path(), 4096));
  }
  for (int32_t brand : kDahuaBrands) {
    const std::string path = dir.File("dahua-fast.img");
    {
      synth::DahuaDisk disk(brand, path, 16 << 20);
      synth::DahuaAreaSpec area;
      area.base = 0;
      area.block_size = 0x100000;
      area.entries = 8;
      area.index_offset = 0x4000;
      area.data_offset = 0x100000;
      disk.AddArea(area);
      synth::DahuaRecordingSpec r;
      r.blocks = {0, 1};
      r.start_time = synth::PackTime(2016, 5, 3, 8, 0, 0);
      r.frames = 4;
      disk.Plant(r);
      disk.Finish();
    }
    // The fuzz target picks the brand by the input's length.
    Bytes b = FirstBytes(path, 0x4400);
    b.resize(0x4400 + SelectorOf(brand, kDahuaBrands));
    Save("fuzz_fast_dahua", BrandSlug(brand), b, b.size());
  }
  {
    synth::WfsGeometry g;
    g.disk_size = int64_t{48} << 20;
    synth::WfsDisk disk(dir.File("wfs-fast.img"), g);
    disk.Plant(1, synth::PackTime(2016, 5, 17, 10, 0, 0), {1, 3});
    disk.Plant(2, synth::PackTime(2016, 5, 17, 12, 0, 0), {2});
    Save("fuzz_fast_wfs", "superblock-and-index",
         FirstBytes(disk.path(), 0x4000 + 32 * disk.entry_count()), 0x8000);
  }
  {
    const std::string path = dir.File("jvs-fast.img");
    {
      synth::SparseImage img(path, synth::kJvsArea);
      synth::WriteJvsAreaHeader(img, 0);
    }
    Save("fuzz_fast_jovision", "area-header", FirstBytes(path, 0x14200), 0x14200);
    Save("fuzz_fast_jovision", "index-block",
         synth::JvsIndexBlock(
             {2, 1600000000, 9000, 5000, {{0, 0x100000, 3000, 0}, {0, 0x200000, 2000, 1}}}),
         synth::kJvsArea);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  g_out = argv[1];
  synth::TempDir dir;
  AnalyserSeeds();
  FrameReaderSeeds();
  TaskSeeds(dir);
  FastSeeds(dir);
  return 0;
}
