// Dahua-family deep parse (versions 1 and 2) against a plain sequential read
// of the same page-cached image, on a disk full of frames and on mostly empty
// ones (zeros, noise); then the memory of a version-2 scan as the image
// grows and of loading a page of 20,000,000 runs.
//
//   bench_dahua [folder] [size in MiB, at least 2048] [speed]
//
// With "speed" only the speed measurements run.
//
// Prints each measurement; exits 1 when a parse runs at less than 0.8 of the
// read's speed or a memory bound is missed.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "disk_bench.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "plain_read.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/dahua_disk.h"
#include "synth/test_support.h"

namespace {

using namespace orvane;
using bench::Clock;
using bench::PlainRead;
using bench::Seconds;

double DeepParse(const DeviceInfo& device, const std::string& task, int version, int64_t* found) {
  ScanParameters p;
  p.source = &device;
  p.task_path = task;
  p.brand = BrandDahua;
  p.mode = ScanModeDeep;
  p.version = version;
  p.region_end = device.size;
  p.smart_value = 0x160000;
  const auto t0 = Clock::now();
  RunParse(p);
  const double s = Seconds(t0, Clock::now());
  *found = p.head.file_length - kTaskHeadSize;
  return s;
}

bool Measure(const char* label, const std::string& path, const std::string& task) {
  const DeviceInfo device = synth::ImageDevice(path);
  PlainRead(device);  // into the page cache
  bool ok = true;
  for (int version : {1, 2}) {
    int64_t bytes = 0;
    const bench::Race race =
        bench::BestOf(device, 3, [&] { return DeepParse(device, task, version, &bytes); });
    const double read = race.read, parse = race.job;
    const double gib = static_cast<double>(device.size) / (1 << 30);
    const double ratio = race.ratio();
    std::printf(
        "%-8s v%d %.2f GiB  read %.3f s (%.2f GiB/s)  deep parse %.3f s (%.2f GiB/s)  "
        "%lld record bytes  ratio %.2f %s\n",
        label, version, gib, read, gib / read, parse, gib / parse, static_cast<long long>(bytes),
        ratio, ratio >= 0.8 ? "ok" : "SLOW");
    ok = ok && ratio >= 0.8;
  }
  return ok;
}

// Frames of 4..64 KiB (a stream unit, then filler) from `from` to `to`, four
// channels taking turns, 25 frames a second.
void FillFrames(synth::SparseImage& img, int64_t from, int64_t to, uint32_t seed) {
  const uint32_t magic = DahuaVariantFor(BrandDahua).magic;
  const uint32_t t0 = synth::PackTime(2017, 8, 1, 9, 0, 0);
  bench::WriteFrames(img, from, to, seed, [&](int k, const synth::Bytes& payload) {
    return synth::DahuaVideoFrame(magic, static_cast<uint8_t>(1 + k % 4),
                                  synth::AddSeconds(t0, k / 100), k, payload, k % 50 == 0);
  });
}

int64_t PeakKiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return u.ru_maxrss;
}

// Runs `work` in a child process and returns the growth of its peak memory
// in KiB (or -1), so that each measurement starts from the same baseline.
template <class Work>
int64_t PeakGrowth(Work&& work) {
  int fds[2];
  if (pipe(fds) != 0) return -1;
  const pid_t pid = fork();
  if (pid == 0) {
    close(fds[0]);
    const int64_t before = PeakKiB();
    const int64_t extra = work();
    const int64_t grown = PeakKiB() - before - extra;
    (void)!write(fds[1], &grown, sizeof grown);
    _exit(0);
  }
  close(fds[1]);
  int64_t grown = -1;
  if (read(fds[0], &grown, sizeof grown) != sizeof grown) grown = -1;
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return grown;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const bench::DiskBenchArgs args = bench::ReadDiskBenchArgs(argc, argv, "dahua");
  const int64_t size = args.mib << 20;
  const std::string& base = args.base;
  const std::string task = base + ".tak";
  const bool speed_only = argc > 3 && std::string(argv[3]) == "speed";
  bool ok = true;
  {
    synth::SparseImage full(base + "-full.img", size);
    FillFrames(full, 0x160000, size, 1);
    ok = Measure("full", full.path(), task) && ok;

    // Memory of a version-2 scan: the same peak over half and all of the disk.
    const DeviceInfo device = synth::ImageDevice(full.path());
    int64_t kib[2] = {0, 0};
    for (int half = 0; half < 2 && !speed_only; ++half) {
      kib[half] = PeakGrowth([&] {
        ScanParameters p;
        p.source = &device;
        p.task_path = task;
        p.brand = BrandDahua;
        p.mode = ScanModeDeep;
        p.version = 2;
        p.region_end = half == 0 ? size / 2 : size;
        p.smart_value = 0x160000;
        RunParse(p);
        return int64_t{0};
      });
    }
    const bool flat = kib[0] >= 0 && kib[1] >= 0 && kib[1] <= kib[0] + 8 * 1024;
    std::printf("v2 scan memory: %lld KiB over half the disk, %lld KiB over all of it %s\n",
                static_cast<long long>(kib[0]), static_cast<long long>(kib[1]),
                flat ? "ok" : "GROWS");
    ok = ok && flat;
  }
  std::filesystem::remove(base + "-full.img");
  {
    synth::SparseImage empty(base + "-zeros.img", size);
    bench::WriteZeros(empty);
    ok = Measure("zeros", empty.path(), task) && ok;
  }
  std::filesystem::remove(base + "-zeros.img");
  {
    synth::SparseImage noise(base + "-noise.img", size);
    noise.FillNoise(0, size, 7);
    ok = Measure("noise", noise.path(), task) && ok;
  }
  std::filesystem::remove(base + "-noise.img");

  // A full page of runs: 20,000,000 records, one recording per run.
  if (!speed_only) {
    constexpr int64_t kRuns = 20'000'000;
    {
      synth::SparseImage f(task, kTaskHeadSize + kRuns * 22);
      TaskHead head;
      head.mode = ScanModeDeep;
      head.version = 2;
      head.brand = BrandDahua;
      head.file_length = kTaskHeadSize + kRuns * 22;
      uint8_t h[kTaskHeadSize];
      head.Encode(h);
      f.Write(0, h, sizeof h);
      std::vector<uint8_t> block(1 << 20 | 22 * 1000);
      block.resize(22 * 40000);
      std::mt19937 rng(3);
      const uint32_t t0 = synth::PackTime(2017, 8, 1, 0, 0, 0);
      for (int64_t r = 0; r < kRuns; r += 40000) {
        for (int64_t k = 0; k < 40000; ++k) {
          FrameRun run{(r + k) * 0x400000,
                       0x40000000,
                       static_cast<uint8_t>(1 + k % 16),
                       synth::AddSeconds(t0, static_cast<int64_t>(rng() % 80000)),
                       0,
                       1};
          run.last_time = run.first_time;
          EncodeRunRecord(run, block.data() + k * 22);
        }
        f.Write(kTaskHeadSize + r * 22, block);
      }
    }
    size_t built = 0;
    const auto t0 = Clock::now();
    const int64_t kib = PeakGrowth([&] {
      ScanParameters p;
      p.brand = BrandDahua;
      p.mode = ScanModeDeep;
      p.version = 2;
      p.task_path = task;
      LoadTaskPage(p, 0);
      built = p.recordings.size();
      const int64_t entries =
          static_cast<int64_t>(p.recordings.capacity() * sizeof(RecordingEntry)) / 1024;
      if (built != static_cast<size_t>(kRuns)) return int64_t{1} << 40;
      return entries;
    });
    const double per_run = static_cast<double>(kib) * 1024 / kRuns;
    const bool fits = kib >= 0 && per_run <= 100;
    std::printf("20,000,000-run page: %.1f bytes per run beyond the entries (%.1f s) %s\n", per_run,
                Seconds(t0, Clock::now()), fits ? "ok" : "TOO MUCH");
    ok = ok && fits;
    (void)built;
  }
  std::filesystem::remove(task);
  return ok ? 0 : 1;
}
