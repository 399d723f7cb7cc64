// Deep parse of a disk held as an E01 segment set and as a split raw image,
// against what reading those forms costs anyway, all page-cached:
//   - the E01 (deflate-compressed, 1.4 GiB segments) at no less than 0.8 of
//     ewfexport's throughput writing the same image to /dev/null;
//   - the split image (pieces of odd sizes) at no less than 0.95 of the
//     deep parse of the single raw image.
//
//   bench_e01 [folder] [size in MiB, at least 2048]
//
// Needs ewfacquire and ewfexport (ewf-tools). Exits 1 when a ratio misses.

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "disk_bench.h"
#include "plain_read.h"
#include "synth/boli_disk.h"
#include "synth/image_formats.h"

namespace {

using namespace orvane;

constexpr int kRounds = 3;

// The device of an image in any form, sized as the medium it holds.
DeviceInfo SizedDevice(const std::string& image) {
  DeviceInfo device = synth::ImageDevice(image);
  SourceDevice probe;
  probe.Open(device);
  device.size = probe.Size();
  return device;
}

double TimedDeepParse(const std::string& image, const std::string& task) {
  int64_t found = 0;
  return bench::TimedDeepParse(SizedDevice(image), task, BrandBoli, 17, &found);
}

double BestDeepParse(const std::string& image, const std::string& task) {
  double best = 1e9;
  for (int k = 0; k < kRounds; ++k) best = std::min(best, TimedDeepParse(image, task));
  return best;
}

double BestEwfexport(const std::string& e01) {
  const std::string command = "ewfexport -u -q -f raw -t - '" + e01 + "' > /dev/null 2>&1";
  double best = 1e9;
  for (int k = 0; k < kRounds; ++k) {
    const auto t0 = bench::Clock::now();
    if (std::system(command.c_str()) != 0) return -1;
    best = std::min(best, bench::Seconds(t0, bench::Clock::now()));
  }
  return best;
}

bool Report(const char* label, double gib, double yardstick, const char* against, double job,
            double bar) {
  const double ratio = yardstick / job;
  std::printf("%-10s %.2f GiB  %s %.3f s  deep parse %.3f s (%.2f GiB/s)  ratio %.2f %s\n", label,
              gib, against, yardstick, job, gib / job, ratio, ratio >= bar ? "ok" : "SLOW");
  return ratio >= bar;
}

}  // namespace

int main(int argc, char** argv) {
  if (!synth::HaveEwfacquire()) {
    std::fprintf(stderr, "bench_e01: ewfacquire (ewf-tools) is not installed\n");
    return 1;
  }
  const bench::DiskBenchArgs args = bench::ReadDiskBenchArgs(argc, argv, "e01");
  const int64_t size = args.mib << 20;
  const std::string raw = args.base + ".img", task = args.base + ".tak";
  {
    // Frames over a quarter of the disk, zeros elsewhere, as a recorder disk
    // part written holds them.
    synth::SparseImage img(raw, size);
    bench::WriteZeros(img);
    img.Write(0, synth::BoliHeaderSector());
    const uint32_t t0 = synth::ReversedTime(2017, 8, 1, 9, 0, 0);
    bench::WriteFrames(img, 0x100000, size / 4, 1, [&](int k, const synth::Bytes& payload) {
      return synth::BoliFrame(static_cast<uint8_t>(1 + k % 4),
                              synth::AddReversedSeconds(t0, k / 100), payload);
    });
  }
  const double gib = static_cast<double>(size) / (1 << 30);
  bool ok = true;

  const std::string e01 = synth::WriteEwfImage(raw, args.base + "-ewf", true, int64_t{1400} << 20);
  if (e01.empty()) {
    std::fprintf(stderr, "bench_e01: ewfacquire failed\n");
    ok = false;
  } else {
    bench::PlainRead(SizedDevice(e01));  // the segments into the page cache
    const double exported = BestEwfexport(e01);
    if (exported < 0) {
      std::fprintf(stderr, "bench_e01: ewfexport failed\n");
      ok = false;
    } else {
      ok &= Report("E01", gib, exported, "ewfexport", BestDeepParse(e01, task), 0.8);
    }
  }

  const std::string first = synth::SplitRawImage(raw, args.base + "-split", 700'000'001, true);
  if (first.empty()) {
    std::fprintf(stderr, "bench_e01: split failed\n");
    ok = false;
  } else {
    const double whole = BestDeepParse(raw, task);
    ok &= Report("split raw", gib, whole, "raw image parse", BestDeepParse(first, task), 0.95);
  }

  const std::filesystem::path folder = std::filesystem::path(args.base).parent_path();
  const std::string prefix = std::filesystem::path(args.base).filename().string();
  for (const auto& e : std::filesystem::directory_iterator(folder))
    if (e.path().filename().string().rfind(prefix, 0) == 0) std::filesystem::remove(e.path());
  return ok ? 0 : 1;
}
