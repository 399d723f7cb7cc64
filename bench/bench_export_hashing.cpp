// The cost of hashing in the export and in the mirror backup: one recording
// covering a page-cached source file, exported (every byte through SHA-256),
// and the whole file backed up into an image (SHA-256 and MD5), each against
// the same 2 MiB read-and-write loop without a hash, in the same run. Both
// must keep at least 0.9 of the plain loop's throughput.
//
//   bench_export_hashing [MiB]   (default 2048)

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "device/notify.h"
#include "device/source_device.h"
#include "imaging/mirror_backup.h"
#include "quiet_backup.h"
#include "recordings/export.h"
#include "scan/scan_parameters.h"

namespace fs = std::filesystem;
using namespace orvane;
using namespace orvane::bench;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

bool WriteNoise(const std::string& path, int64_t bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::mt19937_64 rng(7);
  std::vector<uint64_t> block(1 << 18);
  for (int64_t done = 0; done < bytes; done += 2 << 20) {
    for (auto& w : block) w = rng();
    std::fwrite(block.data(), 1, 2 << 20, f);
  }
  return std::fclose(f) == 0;
}

double PlainCopy(const DeviceInfo& device, const std::string& to) {
  const auto t0 = Clock::now();
  SourceDevice dev;
  dev.Open(device);
  const int fd = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  std::vector<uint8_t> buf(kExportChunk);
  for (int64_t at = 0; at < device.size; at += kExportChunk) {
    const auto n = static_cast<int32_t>(std::min<int64_t>(kExportChunk, device.size - at));
    std::fill(buf.begin(), buf.end(), 0);
    dev.Read(at, buf.data(), n);
    if (::write(fd, buf.data(), static_cast<size_t>(n)) != n) break;
  }
  ::close(fd);
  return Since(t0);
}

double HashedExport(ScanParameters& p, const RecordingEntry& entry, const std::string& folder) {
  const auto t0 = Clock::now();
  SourceDevice dev;
  dev.Open(*p.source);
  const ExportedFile f = ExportRecording(folder, entry, p, dev, 0);
  const double s = Since(t0);
  return f.complete && !f.sha256.empty() ? s : -1.0;
}

double HashedBackup(const std::string& from, int64_t bytes, const std::string& to) {
  fs::remove(to);
  BackupJob job;
  SetFileToFile(job, from, bytes, to);
  BackupHooks quiet = QuietBackupHooks();
  const auto t0 = Clock::now();
  const bool ok = RunMirrorBackup(job, quiet);
  const double s = Since(t0);
  return ok && !job.hashes.image_md5.empty() ? s : -1.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::max(8, std::atoi(argv[1])) : 2048;
  const int64_t bytes = mib << 20;
  char tmpl[] = "/tmp/orvane-bench-export-XXXXXX";
  if (!::mkdtemp(tmpl)) return 2;
  const fs::path dir = tmpl;
  const std::string source = (dir / "source.img").string();
  if (!WriteNoise(source, bytes)) return 2;
  NullSink sink;
  ScopedNotifySink scoped(&sink);

  DeviceInfo device;
  device.kind = kDeviceKindImage;
  device.name = source;
  device.size = bytes;
  ScanParameters p;
  p.source = &device;
  p.head.time_kind = TimeUnixUtc;
  RecordingEntry entry;
  entry.channel = 1;
  for (int64_t at = 0; at < bytes; at += 1 << 30)
    entry.fragments.push_back({at, static_cast<uint32_t>(std::min<int64_t>(1 << 30, bytes - at))});
  entry.size = bytes;

  // Each keeps its best round; the plain loop runs beside each of the others
  // so that a busy moment of the machine does not favour one side.
  double plain = 1e9, exported = 1e9, backed_up = 1e9;
  for (int round = 0; round < 3; ++round) {
    plain = std::min(plain, PlainCopy(device, (dir / "plain.bin").string()));
    const double e = HashedExport(p, entry, (dir / "out").string());
    plain = std::min(plain, PlainCopy(device, (dir / "plain.bin").string()));
    const double b = HashedBackup(source, bytes, (dir / "image.img").string());
    if (e < 0 || b < 0) {
      fs::remove_all(dir);
      return 2;
    }
    exported = std::min(exported, e);
    backed_up = std::min(backed_up, b);
  }
  fs::remove_all(dir);
  const double mb = static_cast<double>(bytes) / (1 << 20);
  const double export_ratio = plain / exported;
  const double backup_ratio = plain / backed_up;
  std::printf(
      "plain copy     %8.1f MiB/s\nhashed export  %8.1f MiB/s  ratio %5.2f (>= 0.90)\n"
      "hashed backup  %8.1f MiB/s  ratio %5.2f (>= 0.90)\n",
      mb / plain, mb / exported, export_ratio, mb / backed_up, backup_ratio);
  return export_ratio >= 0.9 && backup_ratio >= 0.9 ? 0 : 1;
}
