// The rescue copy of `orvane image`, on a healthy source and on one with bad
// sectors.
//
// Healthy: a page-cached noise file copied into an image file beside it by
// the mirror backup and by `dd bs=2M`, in pairs taken in turns; the copy's
// best must reach 0.95 of dd's best (the median ratio of the pairs is
// printed beside it). The copy is
// measured twice: as `orvane image` runs it, and with its hashes left out,
// since SHA-256 and MD5 of every byte bound a page-cached copy by the digest
// speed, whatever the copy does.
//
// Bad sectors: the same file read through the Linux-like bad-sector double
// (short count, then EIO) with 1,000 isolated bad sectors scattered over it.
// A failed read of a real failing drive costs seconds; here each read that
// fails costs 100 ms on a virtual clock added to the wall time, so that the
// run stays short. The copy must read every good byte and take at most twice
// the time of the bad sectors themselves (1,000 x 100 ms). Beside it, the
// old strategy: 2 MiB blocks in order, a failed block read again sector by
// sector.
//
//   bench_rescue [MiB]   (default 2048)

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "device/source_device.h"
#include "imaging/mirror_backup.h"
#include "imaging/rescue_map.h"
#include "quiet_backup.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/test_support.h"

namespace fs = std::filesystem;
using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr double kFailedReadSeconds = 0.1;
constexpr int kBadSectors = 1000;

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool WriteNoise(const std::string& path, int64_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::mt19937_64 rng(42);
  std::vector<uint64_t> block(1 << 18);  // 2 MiB
  bool ok = true;
  for (int64_t done = 0; done < bytes && ok; done += 2 << 20) {
    for (auto& w : block) w = rng();
    ok = std::fwrite(block.data(), 1, 2 << 20, f) == (2u << 20);
  }
  return std::fclose(f) == 0 && ok;
}

double TimeDd(const std::string& from, const std::string& to) {
  fs::remove(to);
  ::sync();  // the other's dirty pages are not this run's work
  const std::string cmd = "dd if=" + from + " of=" + to + " bs=2M status=none";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cmd.c_str());
  const double s = Seconds(start);
  return (WIFEXITED(rc) && WEXITSTATUS(rc) == 0) ? s : -1.0;
}

// The backup job as `orvane image SOURCE TARGET` sets it up: the whole
// source, an image file, its map beside it.
struct CopyRun {
  double seconds = -1.0;
  bool complete = false;
};

CopyRun TimeImage(const DeviceInfo& source, const std::string& to, bool hashes) {
  fs::remove(to);
  BackupJob job;
  job.source = DriveEndpoint(source);
  job.source.size *= kBackupSectorSize;
  job.target.kind = kEndpointFile;
  job.target.path = to;
  job.map_path = DefaultMapPath(job.target);
  job.hashes_wanted = hashes;
  fs::remove(job.map_path);
  ::sync();
  BackupHooks quiet = QuietBackupHooks();
  const auto start = std::chrono::steady_clock::now();
  CopyRun run;
  run.complete = RunMirrorBackup(job, quiet);
  run.seconds = Seconds(start);
  return run;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// dd and the copy in turns, so that neither gains from the page cache's
// state; the ratio dd/copy of each pair.
bool HealthyRace(const std::string& source, const std::string& by_dd, const std::string& by_copy,
                 bool hashes, double bar, const char* label) {
  const DeviceInfo device = synth::ImageDevice(source);
  std::vector<double> ratios;
  double best_dd = 1e9, best_copy = 1e9;
  for (int pair = 0; pair < 5; ++pair) {
    double dd = 0, copy = 0;
    CopyRun run;
    if (pair % 2 == 0) {
      dd = TimeDd(source, by_dd);
      run = TimeImage(device, by_copy, hashes);
    } else {
      run = TimeImage(device, by_copy, hashes);
      dd = TimeDd(source, by_dd);
    }
    copy = run.seconds;
    if (dd < 0 || !run.complete || fs::file_size(by_copy) != fs::file_size(source)) {
      std::printf("%-34s copy failed\n", label);
      return false;
    }
    ratios.push_back(dd / copy);
    best_dd = std::min(best_dd, dd);
    best_copy = std::min(best_copy, copy);
  }
  fs::remove(by_dd);
  fs::remove(by_copy);
  const double mib = static_cast<double>(fs::file_size(source)) / (1 << 20);
  // A busy machine only ever slows a run: the bests are the fair race.
  const double best = best_dd / best_copy;
  const bool ok = bar <= 0 || best >= bar;
  std::printf("%-34s dd %7.0f MiB/s  copy %7.0f MiB/s  ratio of bests %.2f, median pair %.2f",
              label, mib / best_dd, mib / best_copy, best, Median(ratios));
  if (bar > 0)
    std::printf("  (>= %.2f) %s\n", bar, ok ? "ok" : "SLOW");
  else
    std::printf("  (digest-bound, no bar)\n");
  return ok;
}

// 1,000 isolated sectors, none at the very start or end.
std::vector<synth::BadSectors> ScatteredBadSectors(int64_t bytes) {
  const int64_t sectors = bytes / kSectorSize;
  std::mt19937_64 rng(7);
  std::set<int64_t> chosen;
  while (static_cast<int>(chosen.size()) < kBadSectors) {
    const int64_t s = 1 + static_cast<int64_t>(rng() % static_cast<uint64_t>(sectors - 2));
    if (chosen.count(s - 1) || chosen.count(s + 1)) continue;
    chosen.insert(s);
  }
  std::vector<synth::BadSectors> bad;
  for (int64_t s : chosen) bad.push_back({s, 1});
  return bad;
}

// Every byte of the image is the source's, but zero on the bad sectors.
bool ImageHoldsEveryGoodByte(const std::string& source, const std::string& image,
                             const std::vector<synth::BadSectors>& bad) {
  std::FILE* a = std::fopen(source.c_str(), "rb");
  std::FILE* b = std::fopen(image.c_str(), "rb");
  bool same = a && b;
  std::vector<uint8_t> x(2 << 20), y(2 << 20);
  size_t next_bad = 0;
  for (int64_t at = 0; same; at += static_cast<int64_t>(x.size())) {
    const size_t n = std::fread(x.data(), 1, x.size(), a);
    if (std::fread(y.data(), 1, y.size(), b) != n) same = false;
    if (n == 0 || !same) break;
    const int64_t end = at + static_cast<int64_t>(n);
    for (; next_bad < bad.size() && bad[next_bad].first * kSectorSize < end; ++next_bad) {
      const auto from = static_cast<size_t>(bad[next_bad].first * kSectorSize - at);
      for (size_t i = from; i < from + kSectorSize; ++i) {
        if (y[i] != 0) same = false;
        y[i] = x[i];
      }
    }
    if (std::memcmp(x.data(), y.data(), n) != 0) same = false;
  }
  if (a) std::fclose(a);
  if (b) std::fclose(b);
  return same;
}

// The old way of reading past bad sectors: every 2 MiB block in order, and
// a block that fails read again one sector at a time.
int64_t ScanOrderRetry(const DeviceInfo& device, int64_t bytes) {
  SourceDevice dev;
  dev.Open(device);
  std::vector<uint8_t> block(kBackupBlock);
  int64_t good = 0;
  for (int64_t at = 0; at < bytes; at += kBackupBlock) {
    const auto length = static_cast<int32_t>(std::min<int64_t>(kBackupBlock, bytes - at));
    dev.Read(at, block.data(), length);
    if (dev.ok()) {
      good += length;
      continue;
    }
    for (int64_t s = at; s < at + length; s += kSectorSize) {
      dev.Read(s, block.data(), kSectorSize);
      if (dev.ok()) good += kSectorSize;
    }
  }
  return good;
}

bool BadSectorRace(const std::string& source, const std::string& by_copy, int64_t bytes) {
  const std::vector<synth::BadSectors> bad = ScatteredBadSectors(bytes);
  const double budget = 2.0 * kBadSectors * kFailedReadSeconds;

  auto log = std::make_shared<synth::BadSectorLog>();
  const DeviceInfo faulty = synth::LinuxBadSectorImageDevice(source, bad, log);
  const CopyRun run = TimeImage(faulty, by_copy, true);
  const int64_t copy_failed = log->failed_calls.load();
  const double copy_time = run.seconds + kFailedReadSeconds * static_cast<double>(copy_failed);
  RescueMap map;
  std::string error;
  const bool map_read =
      LoadRescueMap(DefaultMapPath({kEndpointFile, {}, by_copy, 0, 0}), map, error);
  const bool every_good_byte = map_read &&
                               map.Bytes(kAreaFinished) == bytes - kBadSectors * kSectorSize &&
                               map.Bytes(kAreaBadSector) == kBadSectors * kSectorSize &&
                               ImageHoldsEveryGoodByte(source, by_copy, bad);
  fs::remove(by_copy);
  fs::remove(by_copy + ".map");

  auto old_log = std::make_shared<synth::BadSectorLog>();
  const DeviceInfo old_faulty = synth::LinuxBadSectorImageDevice(source, bad, old_log);
  const auto start = std::chrono::steady_clock::now();
  const int64_t old_good = ScanOrderRetry(old_faulty, bytes);
  const double old_wall = Seconds(start);
  const int64_t old_failed = old_log->failed_calls.load();
  const double old_time = old_wall + kFailedReadSeconds * static_cast<double>(old_failed);

  const bool ok = every_good_byte && copy_time <= budget;
  std::printf(
      "bad sectors: %d isolated, each failed read (EIO) counted as %.0f ms on a virtual "
      "clock\n",
      kBadSectors, kFailedReadSeconds * 1000);
  std::printf("%-34s %6lld failed reads  wall %6.2f s  total %7.2f s  (<= %.0f s) %s%s\n",
              "rescue copy (orvane image)", static_cast<long long>(copy_failed), run.seconds,
              copy_time, budget, ok ? "ok" : "MISSED",
              every_good_byte ? "" : "  (good bytes missing)");
  std::printf("%-34s %6lld failed reads  wall %6.2f s  total %7.2f s  good bytes %s\n",
              "baseline: scan order, sector retry", static_cast<long long>(old_failed), old_wall,
              old_time, old_good == bytes - kBadSectors * kSectorSize ? "all" : "missing");
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::max(64, std::atoi(argv[1])) : 2048;
  const int64_t bytes = mib << 20;
  char tmpl[] = "/tmp/orvane-bench-rescue-XXXXXX";
  if (!::mkdtemp(tmpl)) return 2;
  const fs::path dir = tmpl;
  const std::string source = (dir / "source.img").string();
  const std::string by_dd = (dir / "dd.img").string();
  const std::string by_copy = (dir / "copy.img").string();
  if (!WriteNoise(source, bytes)) {
    fs::remove_all(dir);
    return 2;
  }
  std::printf("healthy source: %lld MiB, page-cached, image file on the same file system\n",
              static_cast<long long>(mib));
  bool ok = HealthyRace(source, by_dd, by_copy, false, 0.95, "rescue copy (no hashes)");
  HealthyRace(source, by_dd, by_copy, true, 0.0, "orvane image (SHA-256 + MD5)");
  ok = BadSectorRace(source, by_copy, bytes) && ok;
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
