#pragma once
// Shared set-up of the Dahua-family engine tests: a standard built disk, a
// parse through the dispatcher, and the bytes a recording's fragments cover.

#include <fstream>
#include <set>
#include <string>
#include <vector>

#include "device/source_device.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/dahua_disk.h"
#include "synth/test_support.h"

namespace orvane::dahua_test {

using synth::Bytes;

inline constexpr int64_t kSmart = 0x160000;
inline constexpr uint32_t kBlock = 0x100000;  // 1 MiB blocks
inline constexpr int32_t kChunk = 0x40000;    // 256 KiB deep-scan buffer

struct StandardDisk {
  synth::DahuaPlanted a, b, c;
  int64_t size = 0;
};

// Three recordings on one area: A (channel 1, blocks 0, 2..12, about 12 MiB,
// every way of crossing a chunk end), B (channel 2, blocks 1 and 13), C
// (channel 3, 300 frames in block 14, open end). Data start on the grid of
// kSmart.
inline StandardDisk BuildStandard(int32_t brand, const std::string& path, bool wipe = false,
                                  int64_t smart = kSmart) {
  StandardDisk d;
  d.size = 24 << 20;
  synth::DahuaDisk disk(brand, path, d.size);
  synth::DahuaAreaSpec area;
  area.base = 0x200000;
  area.unit = 4096;
  area.block_size = kBlock;
  area.entries = 16;
  area.index_offset = 4096;
  area.data_offset = 0x200000 + smart - area.base;  // data start = 2 MiB + smart
  disk.AddArea(area);
  const uint32_t t0 = synth::PackTime(2016, 5, 3, 8, 0, 0);
  synth::DahuaRecordingSpec ra;
  ra.channel = 1;
  ra.blocks = {0, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  ra.start_time = t0;
  ra.filler = 1500;
  ra.straddles = {-1, 0, 1, 2, 3, 4, 11, 19};
  ra.chunk = kChunk;
  d.a = disk.Plant(ra);
  synth::DahuaRecordingSpec rb;
  rb.channel = 2;
  rb.blocks = {1, 13};
  rb.start_time = synth::AddSeconds(t0, 7200);
  rb.filler = 600;
  rb.chunk = kChunk;
  d.b = disk.Plant(rb);
  synth::DahuaRecordingSpec rc;
  rc.channel = 3;
  rc.blocks = {14};
  rc.frames = 300;
  rc.end = synth::BlockEnd::kOpen;
  rc.start_time = synth::AddSeconds(t0, 4 * 3600);
  d.c = disk.Plant(rc);
  disk.Finish();
  if (wipe) disk.WipeIndex();
  return d;
}

inline void SetUpParse(ScanParameters& p, const DeviceInfo& dev, int32_t brand, int32_t mode,
                       int32_t version, const std::string& task) {
  p.source = &dev;
  p.brand = brand;
  p.mode = mode;
  p.version = version;
  p.region_start = 0;
  p.region_end = dev.size;
  p.task_path = task;
  p.continue_flag = 0;
  p.buffer = kChunk;
  p.smart_value = kSmart;
}

// Parses and loads page 0.
inline void ParseAndLoad(ScanParameters& p) {
  RunParse(p);
  LoadTaskPage(p, 0);
}

inline Bytes ReadFragments(const DeviceInfo& dev, const RecordingEntry& r) {
  SourceDevice sd;
  sd.Open(dev);
  Bytes out;
  for (const auto& f : r.fragments) {
    Bytes part(f.length, 0);
    sd.Read(f.offset, part.data(), static_cast<int32_t>(f.length));
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

inline std::set<Bytes> VideoFramesOf(const DeviceInfo& dev, const std::vector<RecordingEntry>& recs,
                                     uint32_t magic) {
  std::set<Bytes> all;
  for (const auto& r : recs)
    for (auto& f : synth::FramesIn(ReadFragments(dev, r), magic)) all.insert(std::move(f));
  return all;
}

}  // namespace orvane::dahua_test
