// MP4 export against the raw export of the same recordings, in one run, on a
// page-cached image: Hikvision recordings (program-stream packs through
// libavformat's demuxer), Dahua ones (the frame walk) and Jovision ones (a
// bare stream through libavformat's raw demuxer), 64 MiB each. Each
// brand's MP4 export must keep at least 0.7 of its raw export's throughput.
// Both run as the export command runs a ticked set.
//
//   bench_mp4_export [folder] [MiB of recordings per brand, default 1024]

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "device/notify.h"
#include "media/media_formats.h"
#include "media_disk.h"
#include "plain_read.h"
#include "recordings/export.h"
#include "recordings/recording_rows.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "synth/test_support.h"

namespace fs = std::filesystem;
using namespace orvane;
using namespace orvane::bench;

namespace {

constexpr int64_t kRecordingBytes = 64 << 20;

// Every recording of the set ticked and exported in `format` into `folder`
// the way the export command runs them (an MP4's checksum taken while the
// next one is written): seconds, or a negative value when an export is not
// whole.
double ExportAll(MediaSet& set, const DeviceInfo& device, ExportFormat format,
                 const std::string& folder) {
  ScanParameters p;
  p.source = &device;
  p.brand = set.brand;
  p.head.time_kind = set.time_kind;
  RecordingRows rows;
  rows.Bind(&set.recordings);
  rows.SetAllTicked(true);
  ExportRequest request;
  request.base_folder = folder;
  request.format = format;
  size_t whole = 0;
  bool right_kind = true;
  const auto t0 = Clock::now();
  RunExport(p, rows, request, [&](const ExportedFile& f) {
    const bool mp4 = f.path.size() > 4 && f.path.substr(f.path.size() - 4) == ".mp4";
    right_kind = right_kind && (format == ExportFormat::Mp4) == mp4 && !f.sha256.empty();
    if (f.whole()) ++whole;
  });
  const double seconds = Seconds(t0, Clock::now());
  if (whole != set.recordings.size() || !right_kind) {
    std::fprintf(stderr, "%s: %zu of %zu recordings exported whole%s\n", set.label, whole,
                 set.recordings.size(), right_kind ? "" : ", some in the wrong format");
    return -1;
  }
  return seconds;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  const int64_t mib = argc > 2 ? std::max<int64_t>(64, std::atoll(argv[2])) : 1024;
  const fs::path dir = folder / ("bench-mp4-export-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  NullSink sink;
  ScopedNotifySink scoped(&sink);
  RegisterMediaFormats();

  std::vector<MediaSet> sets = MediaSets();
  const std::string image = (dir / "disk.img").string();
  {
    const int64_t each = mib << 20;
    synth::SparseImage img(image, static_cast<int64_t>(sets.size()) * each + (1 << 20));
    int64_t at = 1 << 20;
    for (MediaSet& set : sets) at = PlantMediaRecordings(img, at, each, kRecordingBytes, set);
  }
  const DeviceInfo device = synth::ImageDevice(image);
  PlainRead(device);  // into the page cache

  bool ok = true;
  for (MediaSet& set : sets) {
    double raw = 1e9, mp4 = 1e9;
    for (int round = 0; round < 3; ++round) {
      const fs::path out = dir / "out";
      const double r = ExportAll(set, device, ExportFormat::Raw, out.string());
      fs::remove_all(out);
      const double m = ExportAll(set, device, ExportFormat::Mp4, out.string());
      fs::remove_all(out);
      if (r < 0 || m < 0) {
        fs::remove_all(dir);
        return 2;
      }
      raw = std::min(raw, r);
      mp4 = std::min(mp4, m);
    }
    const double mb = static_cast<double>(set.bytes) / (1 << 20);
    const double ratio = raw / mp4;
    std::printf(
        "%-10s %zu recordings, %.0f MiB: raw %.3f s (%.0f MiB/s)  mp4 %.3f s (%.0f MiB/s)"
        "  ratio %.2f (>= 0.70) %s\n",
        set.label, set.recordings.size(), mb, raw, mb / raw, mp4, mb / mp4, ratio,
        ratio >= 0.7 ? "ok" : "SLOW");
    ok = ok && ratio >= 0.7;
  }
  fs::remove_all(dir);
  return ok ? 0 : 1;
}
