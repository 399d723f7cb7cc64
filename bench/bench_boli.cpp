// Boli deep parse against a plain sequential read of the same page-cached
// image, on a disk full of video frames and on a mostly empty one.
//
//   bench_boli [folder] [size in MiB, at least 2048]
//
// Prints both times and their ratio per disk; exits 1 when the parse runs at
// less than 0.8 of the read's speed.

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "device/source_device.h"
#include "disk_bench.h"
#include "plain_read.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/boli_disk.h"
#include "synth/test_support.h"

namespace {

using namespace orvane;
using bench::Clock;
using bench::PlainRead;
using bench::Seconds;

double DeepParse(const DeviceInfo& device, const std::string& task, int64_t* found) {
  ScanParameters p;
  p.source = &device;
  p.task_path = task;
  p.brand = BrandBoli;
  p.mode = ScanModeDeep;
  p.version = 1;
  p.region_end = device.size;
  const auto t0 = Clock::now();
  RunParse(p);
  const double s = Seconds(t0, Clock::now());
  *found = (p.head.file_length - kTaskHeadSize) / 17;
  return s;
}

bool Measure(const char* label, const std::string& path, const std::string& task) {
  const DeviceInfo device = synth::ImageDevice(path);
  PlainRead(device);  // into the page cache
  int64_t found = 0;
  const bench::Race race =
      bench::BestOf(device, 5, [&] { return DeepParse(device, task, &found); });
  const double read = race.read, parse = race.job;
  const double gib = static_cast<double>(device.size) / (1 << 30);
  const double ratio = race.ratio();
  std::printf(
      "%-12s %.2f GiB  read %.3f s (%.2f GiB/s)  deep parse %.3f s (%.2f GiB/s)  %lld frames  "
      "ratio %.2f %s\n",
      label, gib, read, gib / read, parse, gib / parse, static_cast<long long>(found), ratio,
      ratio >= 0.8 ? "ok" : "SLOW");
  return ratio >= 0.8;
}

// Frames of 4..64 KiB (a stream unit, then filler) from `from` to `to`, four
// channels taking turns, a frame every 40 ms.
void FillFrames(synth::SparseImage& img, int64_t from, int64_t to, uint32_t seed) {
  std::mt19937 rng(seed);
  const auto& units = synth::TestFrames();
  const uint32_t t0 = synth::ReversedTime(2017, 8, 1, 9, 0, 0);
  std::vector<uint8_t> run;
  int64_t at = from;
  int k = 0;
  while (at < to) {
    synth::Bytes payload = units[k % units.size()];
    const size_t want = 4096 + rng() % (60 * 1024);
    while (payload.size() < want) payload.push_back(static_cast<uint8_t>(rng()));
    const synth::Bytes frame = synth::BoliFrame(static_cast<uint8_t>(1 + k % 4),
                                                synth::AddReversedSeconds(t0, k / 100), payload);
    if (at + static_cast<int64_t>(run.size() + frame.size()) > to) break;
    run.insert(run.end(), frame.begin(), frame.end());
    if (run.size() > (8 << 20)) {
      img.Write(at, run);
      at += static_cast<int64_t>(run.size());
      run.clear();
    }
    ++k;
  }
  if (!run.empty()) img.Write(at, run);
}

}  // namespace

int main(int argc, char** argv) {
  const bench::DiskBenchArgs args = bench::ReadDiskBenchArgs(argc, argv, "boli");
  const int64_t size = args.mib << 20;
  const std::string& base = args.base;
  bool ok = true;
  {
    synth::SparseImage full(base + "-full.img", size);
    full.Write(0, synth::BoliHeaderSector());
    FillFrames(full, 0x100000, size, 1);
  }
  ok &= Measure("full disk", base + "-full.img", base + ".tak");
  std::filesystem::remove(base + "-full.img");
  {
    synth::SparseImage empty(base + "-empty.img", size);
    bench::WriteZeros(empty);
    empty.Write(0, synth::BoliHeaderSector());
    FillFrames(empty, 100 << 20, 104 << 20, 2);
    FillFrames(empty, size - (64 << 20), size - (63 << 20), 3);
  }
  ok &= Measure("mostly empty", base + "-empty.img", base + ".tak");
  std::filesystem::remove(base + "-empty.img");
  std::filesystem::remove(base + ".tak");
  return ok ? 0 : 1;
}
