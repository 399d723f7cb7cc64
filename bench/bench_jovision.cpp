// Jovision deep parse (a test at every sector) against a plain sequential
// read of the same page-cached image, on a disk full of recording files and
// on a mostly empty one.
//
//   bench_jovision [folder] [size in MiB, at least 2048]
//
// Prints both times and their ratio per disk; exits 1 when the parse runs at
// less than 0.9 of the read's speed.

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
#include "synth/jovision_disk.h"
#include "synth/test_support.h"

namespace {

using namespace orvane;

bool Measure(const char* label, const std::string& path, const std::string& task) {
  return bench::MeasureDeepParse(label, path, task, BrandJovision, 14, "files", 0.9);
}

// Recording files of 0.5..4 MiB back to back on sector boundaries: the
// committed stream, then filler standing in for the rest of the video.
void FillFiles(synth::SparseImage& img, int64_t from, int64_t to, uint32_t seed) {
  std::mt19937 rng(seed);
  int64_t at = from;
  int k = 0;
  std::vector<uint8_t> filler(4 << 20);
  for (auto& b : filler) b = static_cast<uint8_t>(rng());
  while (at < to) {
    synth::Bytes file = synth::JvsStreamFile(static_cast<uint8_t>(1 + k % 8));
    const size_t want = (512 << 10) + rng() % (3584 << 10);
    file.insert(file.end(), filler.begin(), filler.begin() + static_cast<long>(want));
    file.resize((file.size() + 511) / 512 * 512, 0);
    if (at + static_cast<int64_t>(file.size()) > to) break;
    img.Write(at, file);
    at += static_cast<int64_t>(file.size());
    ++k;
  }
}

}  // namespace

int main(int argc, char** argv) {
  const bench::DiskBenchArgs args = bench::ReadDiskBenchArgs(argc, argv, "jovision");
  const int64_t size = args.mib << 20;
  const std::string& base = args.base;
  bool ok = true;
  {
    synth::SparseImage full(base + "-full.img", size);
    FillFiles(full, 0, size, 1);
  }
  ok &= Measure("full disk", base + "-full.img", base + ".tak");
  std::filesystem::remove(base + "-full.img");
  {
    synth::SparseImage empty(base + "-empty.img", size);
    bench::WriteZeros(empty);
    FillFiles(empty, 700 << 20, 720 << 20, 2);
  }
  ok &= Measure("mostly empty", base + "-empty.img", base + ".tak");
  std::filesystem::remove(base + "-empty.img");
  std::filesystem::remove(base + ".tak");
  return ok ? 0 : 1;
}
