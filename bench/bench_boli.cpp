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

bool Measure(const char* label, const std::string& path, const std::string& task) {
  return bench::MeasureDeepParse(label, path, task, BrandBoli, 17, "frames", 0.8);
}

// Frames of 4..64 KiB (a stream unit, then filler) from `from` to `to`, four
// channels taking turns, a frame every 40 ms.
void FillFrames(synth::SparseImage& img, int64_t from, int64_t to, uint32_t seed) {
  const uint32_t t0 = synth::ReversedTime(2017, 8, 1, 9, 0, 0);
  bench::WriteFrames(img, from, to, seed, [&](int k, const synth::Bytes& payload) {
    return synth::BoliFrame(static_cast<uint8_t>(1 + k % 4), synth::AddReversedSeconds(t0, k / 100),
                            payload);
  });
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
