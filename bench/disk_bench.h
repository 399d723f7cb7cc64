#pragma once
// What the benchmarks on built disk images share: their arguments
// ([folder] [size in MiB, at least 2048]) and an empty disk as an imaged one
// holds it.

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "plain_read.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "synth/h264_stream.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane::bench {

struct DiskBenchArgs {
  std::string base;  // folder and name prefix of this run's files
  int64_t mib = 2048;
};

inline DiskBenchArgs ReadDiskBenchArgs(int argc, char** argv, const std::string& name) {
  const std::filesystem::path folder =
      argc > 1 ? std::filesystem::path(argv[1]) : std::filesystem::temp_directory_path();
  DiskBenchArgs a;
  a.mib = argc > 2 ? std::max(2048LL, std::atoll(argv[2])) : 2048;
  a.base = (folder / ("bench-" + name + "-" + std::to_string(::getpid()))).string();
  return a;
}

// Zeros written out, not left a hole, so that the page cache holds all of
// the image as it holds an imaged empty disk.
inline void WriteZeros(synth::SparseImage& img) {
  const std::vector<uint8_t> zeros(8 << 20, 0);
  for (int64_t at = 0; at < img.size(); at += static_cast<int64_t>(zeros.size()))
    img.Write(at, zeros.data(),
              static_cast<size_t>(
                  std::min<int64_t>(static_cast<int64_t>(zeros.size()), img.size() - at)));
}

// A version-1 deep parse of the whole device into `task`: its seconds, and
// in `found` how many records of `record_size` bytes it wrote.
inline double TimedDeepParse(const DeviceInfo& device, const std::string& task, int32_t brand,
                             int64_t record_size, int64_t* found) {
  ScanParameters p;
  p.source = &device;
  p.task_path = task;
  p.brand = brand;
  p.mode = ScanModeDeep;
  p.version = 1;
  p.region_end = device.size;
  const auto t0 = Clock::now();
  RunParse(p);
  const double s = Seconds(t0, Clock::now());
  *found = (p.head.file_length - kTaskHeadSize) / record_size;
  return s;
}

// The deep parse of the image at `path` against a plain read of it, best of
// five each, page-cached; prints one line and says whether the parse ran at
// `bar` of the read or better. `unit` names what the records count.
inline bool MeasureDeepParse(const char* label, const std::string& path, const std::string& task,
                             int32_t brand, int64_t record_size, const char* unit, double bar) {
  const DeviceInfo device = synth::ImageDevice(path);
  PlainRead(device);  // into the page cache
  int64_t found = 0;
  const Race race =
      BestOf(device, 5, [&] { return TimedDeepParse(device, task, brand, record_size, &found); });
  const double gib = static_cast<double>(device.size) / (1 << 30);
  const double ratio = race.ratio();
  std::printf(
      "%-12s %.2f GiB  read %.3f s (%.2f GiB/s)  deep parse %.3f s (%.2f GiB/s)  %lld %s  "
      "ratio %.2f %s\n",
      label, gib, race.read, gib / race.read, race.job, gib / race.job,
      static_cast<long long>(found), unit, ratio, ratio >= bar ? "ok" : "SLOW");
  return ratio >= bar;
}

// Frames of 4..64 KiB (a unit of the committed stream, then filler) back to
// back from `from` to `to`, written in runs of some 8 MiB; make_frame(k,
// payload) wraps the k-th frame's payload in its brand's header.
template <class MakeFrame>
void WriteFrames(synth::SparseImage& img, int64_t from, int64_t to, uint32_t seed,
                 MakeFrame&& make_frame) {
  std::mt19937 rng(seed);
  const auto& units = synth::TestFrames();
  std::vector<uint8_t> run;
  int64_t at = from;
  for (int k = 0; at < to; ++k) {
    synth::Bytes payload = units[k % units.size()];
    const size_t want = 4096 + rng() % (60 * 1024);
    while (payload.size() < want) payload.push_back(static_cast<uint8_t>(rng()));
    const synth::Bytes frame = make_frame(k, payload);
    if (at + static_cast<int64_t>(run.size() + frame.size()) > to) break;
    run.insert(run.end(), frame.begin(), frame.end());
    if (run.size() > (8 << 20)) {
      img.Write(at, run);
      at += static_cast<int64_t>(run.size());
      run.clear();
    }
  }
  if (!run.empty()) img.Write(at, run);
}

}  // namespace orvane::bench
