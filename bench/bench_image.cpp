// The mirror backup against `dd bs=2M` between the same two files, in the
// same run: the copy must reach at least 0.9 of dd's throughput.
//
//   bench_image [MiB]   (default 256)

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "imaging/mirror_backup.h"
#include "quiet_backup.h"
#include "scan/worker_flags.h"

namespace fs = std::filesystem;
using namespace orvane;
using namespace orvane::bench;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

bool WriteNoise(const std::string& path, int64_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::mt19937_64 rng(42);
  std::vector<uint64_t> block(1 << 18);  // 2 MiB
  for (int64_t done = 0; done < bytes; done += 2 << 20) {
    for (auto& w : block) w = rng();
    std::fwrite(block.data(), 1, 2 << 20, f);
  }
  return std::fclose(f) == 0;
}

double TimeDd(const std::string& from, const std::string& to) {
  fs::remove(to);
  const std::string cmd = "dd if=" + from + " of=" + to + " bs=2M status=none";
  const auto start = std::chrono::steady_clock::now();
  const int rc = std::system(cmd.c_str());
  const double s = Seconds(start);
  return (WIFEXITED(rc) && WEXITSTATUS(rc) == 0) ? s : -1.0;
}

double TimeBackup(const std::string& from, const std::string& to, int64_t bytes) {
  fs::remove(to);
  BackupJob job;
  SetFileToFile(job, from, bytes, to);
  BackupHooks quiet = QuietBackupHooks();
  const auto start = std::chrono::steady_clock::now();
  const bool ok = RunMirrorBackup(job, quiet);
  const double s = Seconds(start);
  return ok ? s : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::max(8, std::atoi(argv[1])) : 256;
  const int64_t bytes = mib << 20;
  char tmpl[] = "/tmp/orvane-bench-image-XXXXXX";
  if (!::mkdtemp(tmpl)) return 2;
  const fs::path dir = tmpl;
  const std::string source = (dir / "source.img").string();
  const std::string by_dd = (dir / "dd.img").string();
  const std::string by_copy = (dir / "copy.img").string();
  if (!WriteNoise(source, bytes)) {
    fs::remove_all(dir);
    return 2;
  }
  // Alternate the two so that neither gains from the page cache's state;
  // each keeps its best round.
  double dd = 1e9, copy = 1e9;
  for (int round = 0; round < 4; ++round) {
    const double a = round % 2 ? TimeBackup(source, by_copy, bytes) : TimeDd(source, by_dd);
    const double b = round % 2 ? TimeDd(source, by_dd) : TimeBackup(source, by_copy, bytes);
    const double t_copy = round % 2 ? a : b;
    const double t_dd = round % 2 ? b : a;
    if (t_copy < 0 || t_dd < 0) {
      std::fprintf(stderr, "copy failed\n");
      fs::remove_all(dir);
      return 2;
    }
    dd = std::min(dd, t_dd);
    copy = std::min(copy, t_copy);
  }
  const bool same = fs::file_size(by_copy) == fs::file_size(source);
  fs::remove_all(dir);

  const double mb = static_cast<double>(bytes) / (1 << 20);
  const double ratio = dd / copy;
  std::printf(
      "dd bs=2M      %8.1f MiB/s\nmirror backup %8.1f MiB/s\nratio         %8.2f (>= 0.90)\n",
      mb / dd, mb / copy, ratio);
  return (same && ratio >= 0.9) ? 0 : 1;
}
