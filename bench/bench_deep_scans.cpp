// Every engine's deep parse against `dd bs=2M` of the same image, as a user
// meets it: the command-line program run on an image read from the disk
// (the page cache dropped before each run, so this needs root) and on one
// the page cache holds. Contents: 4 GiB of noise, 4 GiB of zeros, 1 GiB full
// of the engine's own frames. Each cell is the median of three pairs, each
// pair a dd run and a parse run back to back (in turns first), its ratio dd
// time / parse time.
// Then the peak memory of a parse of a 1 GiB and an 8 GiB image, and the
// processor time (user + system) of a page-cached parse of zeros against
// dd's (the median of five pairs' ratios), and of a read of the same
// windows with one search of each, which is what no scan gets below.
//
//   bench_deep_scans [folder] [--quick] [--cpu]
//
// The images are kept in `folder` (default /var/tmp/orvane-bench) between
// runs and made again only when missing. --quick uses 1 GiB of noise and
// zeros and one pair per cell, to see that everything runs; --cpu measures
// only the processor time on zeros. Exits 1 when a bar is missed: from the
// disk >= 0.95, page-cached >= 0.8, memory < 32 MiB, processor time on
// zeros <= 1.3x dd's.

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "device/scan_bytes.h"
#include "disk_bench.h"
#include "engines/dahua/dahua_variant.h"
#include "scan/magic_find.h"
#include "synth/boli_disk.h"
#include "synth/dahua_disk.h"
#include "synth/hikvision_disk.h"
#include "synth/jovision_disk.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace {

using namespace orvane;
namespace fs = std::filesystem;
constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kGiB = 1 << 30;

struct Run {
  double wall = 0;
  double cpu = 0;  // user + system of the child
  double peak_mib = 0;
  bool ok = false;
};

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// Waits for the child `pid`, started at `t0`: its wall time, processor time
// and peak memory, and whether it exited with 0.
Run Reap(pid_t pid, double t0) {
  Run r;
  int status = 0;
  rusage u{};
  wait4(pid, &status, 0, &u);
  r.wall = Now() - t0;
  r.cpu = static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
          static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
  r.peak_mib = static_cast<double>(u.ru_maxrss) / 1024.0;
  r.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
  return r;
}

// Runs `argv` with its output thrown away.
Run Execute(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const double t0 = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    execv(args[0], args.data());
    _exit(127);
  }
  return Reap(pid, t0);
}

bool DropCaches() {
  sync();
  FILE* f = std::fopen("/proc/sys/vm/drop_caches", "w");
  if (!f) return false;
  const bool ok = std::fputs("1\n", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

Run Dd(const std::string& image) {
  return Execute({"/bin/dd", "if=" + image, "of=/dev/null", "bs=2M"});
}

// What no scan gets below: a child that reads the image in 2 MiB windows,
// as dd does, and searches each once for a four-byte signature. Processor
// time only.
double CopyAndSearch(const std::string& image) {
  const double t0 = Now();
  const pid_t pid = fork();
  if (pid == 0) {
    const int fd = open(image.c_str(), O_RDONLY);
    ScanBytes window(2 * kMiB + 64);
    size_t found = 0;
    for (off_t at = 0; fd >= 0;) {
      const ssize_t n = pread(fd, window.data(), 2 * kMiB, at);
      if (n <= 0) break;
      const auto held = static_cast<size_t>(n);
      found += FindMagic(window.data(), 0, held > 3 ? held - 3 : 0, 0xBA010000) < held;
      at += n;
    }
    _exit(found > 0 ? 1 : 0);
  }
  return Reap(pid, t0).cpu;
}

struct Engine {
  const char* label;
  const char* brand;
  int version;
  // Writes a 1 GiB image full of the engine's frames.
  std::function<void(const std::string& path, int64_t size)> build_full;
};

Run Parse(const Engine& e, const std::string& image, const std::string& task) {
  fs::remove(task);
  Run r = Execute({ORVANE_CLI_PATH, "parse", image, "--brand", e.brand, "--mode", "deep",
                   "--version", std::to_string(e.version), "--task", task});
  fs::remove(task);
  return r;
}

// Noise from a fast generator, written in 8 MiB runs.
void BuildNoise(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  std::vector<uint64_t> run(kMiB);
  uint64_t x = 0x9E3779B97F4A7C15ull;
  for (int64_t at = 0; at < size; at += 8 * kMiB) {
    for (auto& w : run) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      w = x;
    }
    img.Write(at, reinterpret_cast<const uint8_t*>(run.data()),
              static_cast<size_t>(std::min<int64_t>(8 * kMiB, size - at)));
  }
}

void BuildZeros(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  bench::WriteZeros(img);
}

void BuildHikvision(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  std::mt19937 rng(5);
  synth::Bytes frame(8000);
  const int64_t t = synth::UnixTime(2024, 1, 1, 0, 0, 0);
  synth::Bytes run;
  int64_t at = 0;
  for (int k = 0; at < size; ++k) {
    for (auto& b : frame) b = static_cast<uint8_t>(rng());
    const synth::Bytes pack =
        synth::MakeHikvisionPack(synth::PackedTimeFromUnix(t + k / 25), frame, 3600u * k);
    if (at + static_cast<int64_t>(run.size() + pack.size()) > size) break;
    run.insert(run.end(), pack.begin(), pack.end());
    if (run.size() > static_cast<size_t>(8 * kMiB)) {
      img.Write(at, run);
      at += static_cast<int64_t>(run.size());
      run.clear();
    }
  }
  if (!run.empty()) img.Write(at, run);
}

void BuildDahua(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  bench::WriteZeros(img);
  const uint32_t magic = DahuaVariantFor(BrandDahua).magic;
  const uint32_t t0 = synth::PackTime(2017, 8, 1, 9, 0, 0);
  bench::WriteFrames(img, 0x160000, size, 1, [&](int k, const synth::Bytes& payload) {
    return synth::DahuaVideoFrame(magic, static_cast<uint8_t>(1 + k % 4),
                                  synth::AddSeconds(t0, k / 100), k, payload, k % 50 == 0);
  });
}

void BuildBoli(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  img.Write(0, synth::BoliHeaderSector());
  const uint32_t t0 = synth::ReversedTime(2017, 8, 1, 9, 0, 0);
  bench::WriteFrames(img, 0x100000, size, 1, [&](int k, const synth::Bytes& payload) {
    return synth::BoliFrame(static_cast<uint8_t>(1 + k % 4), synth::AddReversedSeconds(t0, k / 100),
                            payload);
  });
}

void BuildJovision(const std::string& path, int64_t size) {
  synth::SparseImage img(path, size);
  std::mt19937 rng(1);
  std::vector<uint8_t> filler(4 << 20);
  for (auto& b : filler) b = static_cast<uint8_t>(rng());
  int64_t at = 0;
  for (int k = 0; at < size; ++k) {
    synth::Bytes file = synth::JvsStreamFile(static_cast<uint8_t>(1 + k % 8));
    const size_t want = (512 << 10) + rng() % (3584 << 10);
    file.insert(file.end(), filler.begin(), filler.begin() + static_cast<long>(want));
    file.resize((file.size() + 511) / 512 * 512, 0);
    if (at + static_cast<int64_t>(file.size()) > size) break;
    img.Write(at, file);
    at += static_cast<int64_t>(file.size());
  }
}

// Eight channels' recordings interleaved segment by segment, frames padded
// to 5,000 bytes as a recorder writes them.
void BuildWfs(const std::string& path, int64_t size) {
  synth::WfsGeometry g;
  g.disk_size = size;
  g.min_video_payload = 5000;
  synth::WfsDisk disk(path, g);
  const uint32_t n = disk.entry_count();
  for (uint32_t r = 0; r < 8; ++r) {
    std::vector<uint32_t> segs;
    for (uint32_t s = r; s < n; s += 8) segs.push_back(s);
    disk.Plant(static_cast<uint8_t>(r + 1), synth::PackTime(2016, 3, 1 + r, 0, 0, 0), segs);
  }
}

// Makes `path` with `build` unless it is there at the right size.
void Ensure(const std::string& path, int64_t size,
            const std::function<void(const std::string&, int64_t)>& build) {
  std::error_code ec;
  if (fs::is_regular_file(path, ec) && static_cast<int64_t>(fs::file_size(path, ec)) == size)
    return;
  std::printf("building %s (%lld MiB) ...\n", path.c_str(), static_cast<long long>(size / kMiB));
  fs::remove(path, ec);
  build(path, size);
  sync();
}

struct Cell {
  double ratio = 0;
  double dd = 0;
  double parse = 0;
  double peak_mib = 0;
  bool failed = false;
};

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// The median of `pairs` pairs, from the disk or cached. Under a virtual
// machine the host may hold the image too, and the first run of a pair can
// warm it for the second: the order alternates, the parse first in the
// first pair, so that a cell errs against the parse if at all.
Cell Measure(const Engine& e, const std::string& image, const std::string& task, int pairs,
             bool from_disk) {
  std::vector<Cell> runs;
  if (!from_disk) Dd(image);  // into the page cache
  for (int k = 0; k < pairs; ++k) {
    Run dd;
    Run parse;
    for (int turn = 0; turn < 2; ++turn) {
      if (from_disk) DropCaches();
      if ((turn == 0) == (k % 2 == 0))
        parse = Parse(e, image, task);
      else
        dd = Dd(image);
    }
    Cell c;
    c.dd = dd.wall;
    c.parse = parse.wall;
    c.ratio = dd.wall / parse.wall;
    c.peak_mib = parse.peak_mib;
    c.failed = !parse.ok || !dd.ok;
    runs.push_back(c);
  }
  std::sort(runs.begin(), runs.end(),
            [](const Cell& a, const Cell& b) { return a.ratio < b.ratio; });
  Cell median = runs[runs.size() / 2];
  for (const Cell& c : runs) {
    median.failed |= c.failed;
    median.peak_mib = std::max(median.peak_mib, c.peak_mib);
  }
  return median;
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  std::string folder = "/var/tmp/orvane-bench";
  bool quick = false;
  bool cpu_only = false;
  for (int k = 1; k < argc; ++k) {
    if (std::strcmp(argv[k], "--quick") == 0)
      quick = true;
    else if (std::strcmp(argv[k], "--cpu") == 0)
      cpu_only = true;
    else
      folder = argv[k];
  }
  fs::create_directories(folder);
  const int pairs = quick ? 1 : 3;
  const int64_t big = quick ? kGiB : 4 * kGiB;
  const bool can_drop = !cpu_only && DropCaches();
  if (!can_drop) std::printf("page cache cannot be dropped (not root?): disk figures left out\n");

  const std::vector<Engine> engines = {
      {"hikvision", "hikvision", 1, BuildHikvision},
      {"dahua v1", "dahua", 1, BuildDahua},
      {"dahua v2", "dahua", 2, BuildDahua},
      {"wfs", "wfs", 1, BuildWfs},
      {"boli", "boli", 1, BuildBoli},
      {"jovision", "jovision", 1, BuildJovision},
  };
  const std::string noise = folder + "/noise-" + std::to_string(big / kMiB) + ".img";
  const std::string zeros = folder + "/zeros-" + std::to_string(big / kMiB) + ".img";
  Ensure(noise, big, BuildNoise);
  Ensure(zeros, big, BuildZeros);
  const std::string task = folder + "/bench.tak";

  bool ok = true;
  if (!cpu_only) {
    std::printf("\n%-10s %-6s | %-27s | %-27s | %s\n", "engine", "data",
                "from the disk: ratio (dd/parse s)", "page-cached: ratio (dd/parse s)", "peak MiB");
    for (const Engine& e : engines) {
      const std::string full = folder + "/full-" + std::string(e.brand) + ".img";
      Ensure(full, kGiB, e.build_full);
      for (const auto& [label, image] : {std::pair<const char*, std::string>{"noise", noise},
                                         {"zeros", zeros},
                                         {"full", full}}) {
        Cell disk;
        if (can_drop) disk = Measure(e, image, task, pairs, true);
        const Cell cached = Measure(e, image, task, pairs, false);
        const bool disk_ok = !can_drop || (!disk.failed && disk.ratio >= 0.95);
        const bool cached_ok = !cached.failed && cached.ratio >= 0.8;
        ok &= disk_ok && cached_ok;
        char disk_text[64] = "-";
        if (can_drop)
          std::snprintf(disk_text, sizeof disk_text, "%.2f (%.2f/%.2f)%s", disk.ratio, disk.dd,
                        disk.parse,
                        disk.failed ? " FAILED"
                        : disk_ok   ? ""
                                    : " SLOW");
        std::printf("%-10s %-6s | %-33s | %-31s | %.1f\n", e.label, label, disk_text,
                    (std::to_string(cached.ratio).substr(0, 4) + " (" +
                     std::to_string(cached.dd).substr(0, 5) + "/" +
                     std::to_string(cached.parse).substr(0, 5) + ")" +
                     (cached.failed ? " FAILED"
                      : cached_ok   ? ""
                                    : " SLOW"))
                        .c_str(),
                    std::max(disk.peak_mib, cached.peak_mib));
      }
    }

    // Peak memory on 1 GiB and on 8 GiB: the same frames, then 7 GiB of empty
    // space behind them (a hole, read as zeros).
    std::printf("\npeak memory of a deep parse (MiB): 1 GiB / 8 GiB image\n");
    for (const Engine& e : engines) {
      const std::string full = folder + "/full-" + std::string(e.brand) + ".img";
      const std::string wide = folder + "/wide-" + std::string(e.brand) + ".img";
      Ensure(wide, 8 * kGiB, [&](const std::string& path, int64_t size) {
        fs::copy_file(full, path, fs::copy_options::overwrite_existing);
        fs::resize_file(path, static_cast<uintmax_t>(size));
      });
      const Run one = Parse(e, full, task);
      const Run eight = Parse(e, wide, task);
      const bool mem_ok = one.peak_mib < 32 && eight.peak_mib < 32;
      ok &= mem_ok;
      std::printf("%-10s %6.1f / %6.1f %s\n", e.label, one.peak_mib, eight.peak_mib,
                  mem_ok ? "" : "OVER 32 MiB");
    }
  }

  // Processor time on page-cached zeros: what the scan adds to the copy.
  // dd's own processor time varies by a fifth from run to run on a shared
  // host, so each figure is the median of the ratios of five pairs.
  std::printf(
      "\nprocessor time (user + system) on page-cached zeros, median of 5 pairs: dd / run s "
      "(ratio)\n");
  Dd(zeros);
  auto cpu_ratio = [&](const char* label, const std::function<double()>& run) {
    std::vector<double> dd, other, ratio;
    for (int k = 0; k < 5; ++k) {
      // In turns first, as the cells above.
      double d = 0, o = 0;
      if (k % 2 == 0) {
        d = Dd(zeros).cpu;
        o = run();
      } else {
        o = run();
        d = Dd(zeros).cpu;
      }
      dd.push_back(d);
      other.push_back(o);
      ratio.push_back(o / d);
    }
    const double r = Median(ratio);
    std::printf("%-10s %.3f / %.3f s  (%.2fx)", label, Median(dd), Median(other), r);
    return r;
  };
  cpu_ratio("copy+find", [&] { return CopyAndSearch(zeros); });
  std::printf("  what no scan gets below\n");
  for (const Engine& e : engines) {
    const bool cpu_ok = cpu_ratio(e.label, [&] { return Parse(e, zeros, task).cpu; }) <= 1.3;
    ok &= cpu_ok;
    std::printf(" %s\n", cpu_ok ? "" : "OVER 1.3x");
  }
  return ok ? 0 : 1;
}
