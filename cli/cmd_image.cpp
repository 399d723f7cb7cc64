// image: the mirror backup on the command line, with the dialog's messages.

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>

#include "cli_common.h"
#include "device/format_text.h"
#include "device/source_device.h"
#include "imaging/mirror_backup.h"
#include "scan/worker_flags.h"

namespace orvane::cli {

namespace {

struct ImageOptions {
  std::string source;
  std::string target;
  int64_t offset = 0;
  int64_t size = -1;  // default: from the offset to the end of the source
  int64_t target_offset = 0;
  bool json = false;
  bool force = false;  // replace an existing image file
  std::string map;     // default: beside the target
  int32_t retry = 0;
};

// A progress line on stderr when it is a terminal: blocks done, bytes per
// second.
class ProgressLine {
 public:
  ProgressLine() : tty_(isatty(STDERR_FILENO) != 0) {}
  void Range(int64_t steps) {
    range_ = steps;
    started_ = std::chrono::steady_clock::now();
  }
  void Position(int64_t step) {
    if (!tty_) return;
    const auto now = std::chrono::steady_clock::now();
    if (shown_ && step < range_ && now - last_ < std::chrono::milliseconds(200)) return;
    last_ = now;
    const int percent = range_ > 0 ? static_cast<int>(step * 100 / range_) : 100;
    char bar[31];
    for (int i = 0; i < 30; ++i) bar[i] = i < percent * 30 / 100 ? '#' : '.';
    bar[30] = 0;
    const double elapsed = std::chrono::duration<double>(now - started_).count();
    std::string speed;
    if (elapsed > 0.0 && step > 0)
      speed = FormatSize(static_cast<int64_t>(step * kBackupBlock / elapsed)) + "/s";
    std::fprintf(stderr, "\r[%s] %3d%%  %lld/%lld  %s\033[K", bar, percent,
                 static_cast<long long>(step), static_cast<long long>(range_), speed.c_str());
    std::fflush(stderr);
    shown_ = true;
  }
  void Finish() {
    if (shown_) std::fputc('\n', stderr);
    shown_ = false;
  }

 private:
  bool tty_;
  bool shown_ = false;
  int64_t range_ = 0;
  std::chrono::steady_clock::time_point started_{};
  std::chrono::steady_clock::time_point last_{};
};

// TARGET: a drive (a block device, or drive:N) is written in place; anything
// else is an image file created anew.
bool ResolveTarget(const std::string& text, BackupEndpoint& out) {
  if (text.rfind("drive:", 0) == 0) {
    DeviceInfo drive;
    if (!ResolveDevice(text, drive)) return false;
    out = DriveEndpoint(drive);
    return true;
  }
  struct stat st {};
  if (::stat(text.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    DeviceInfo drive;
    drive.kind = kDeviceKindPhysical;
    drive.name = text;
    drive.path = text;
    drive.number = 0;
    out = DriveEndpoint(drive);
    return true;
  }
  out = BackupEndpoint{};
  out.kind = kEndpointFile;
  out.path = text;
  return true;
}

int RunImage(const ImageOptions& o) {
  DeviceInfo device;
  if (!ResolveDevice(o.source, device)) return kExitFailed;
  if (device.size <= 0) {
    SourceDevice probe;
    probe.Open(device);
    if (!probe.is_open()) {
      PrintMessage(kLogWarning, kMsgBackupOpenSourceFailed);
      return kExitFailed;
    }
    device.size = probe.Size();
  }
  BackupRequest request;
  request.source = DriveEndpoint(device);
  if (!ResolveTarget(o.target, request.target)) return kExitFailed;
  const int64_t sectors = request.source.size;
  const int64_t size = o.size >= 0 ? o.size : (sectors > o.offset ? sectors - o.offset : 0);
  request.source_offset_text = std::to_string(o.offset);
  request.source_size_text = std::to_string(size);
  request.target_offset_text = std::to_string(o.target_offset);
  request.target_size_text = request.source_size_text;

  WorkerFlags flags;
  BackupJob job;
  const StartResult start = ValidateBackupStart(request, job, flags);
  if (!start.started) {
    PrintMessage(kLogWarning, start.warning);
    return kExitFailed;
  }
  job.map_path = o.map.empty() ? DefaultMapPath(job.target) : o.map;
  job.retries = o.retry;

  // A file kept from an earlier copy may be the only good image there is;
  // with its map beside it the copy resumes into it instead.
  if (!o.force && TargetFileExists(request.target) && !CopyResumesFromMap(job)) {
    PrintMessage(kLogWarning, std::string(kMsgBackupTargetExists) + " (--force)");
    return kExitFailed;
  }

  ProgressLine progress;
  BackupHooks hooks;
  hooks.log = [&](std::string_view type, std::string_view text) {
    progress.Finish();
    PrintMessage(type, text);
  };
  hooks.progress_range = [&](int64_t n) { progress.Range(n); };
  hooks.progress_position = [&](int64_t i) { progress.Position(i); };
  InstallStopOnInterrupt(&job.stop);
  const bool complete = RunBackupJob(job, flags, hooks);
  InstallStopOnInterrupt(nullptr);
  progress.Finish();
  // The log travels with the image, beside its hash files.
  bool logged = true;
  if (job.target.kind == kEndpointFile) {
    const std::string folder = std::filesystem::absolute(job.target.path).parent_path().string();
    if (!AppendAuditLog(folder, CliLog().Lines())) {
      PrintMessage(kLogWarning, "日志写入失败: " + folder + "/" + std::string(kAuditLogName));
      logged = false;
    }
  }
  if (o.json) {
    const nlohmann::ordered_json summary = {{"source", o.source},
                                            {"target", o.target},
                                            {"source_offset", job.source.offset},
                                            {"target_offset", job.target.offset},
                                            {"bytes", job.source.size},
                                            {"complete", complete},
                                            {"image_sha256", job.hashes.image_sha256},
                                            {"source_sha256", job.hashes.source_sha256}};
    std::printf("%s\n", summary.dump().c_str());
  } else {
    std::printf("%s -> %s: %lld bytes from byte %lld%s\n", o.source.c_str(), o.target.c_str(),
                static_cast<long long>(job.source.size), static_cast<long long>(job.source.offset),
                complete ? "" : " (not complete)");
  }
  if (!logged) return kExitFailed;
  return complete ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterImageCommands(CLI::App& app, int& status) {
  auto* image = app.add_subcommand(
      "image",
      "Mirror backup: copy a drive or image (or a range of it) into an image file or onto a drive");
  auto opts = std::make_shared<ImageOptions>();
  image->add_option("SOURCE", opts->source, "image file, /dev path or drive:N (read only)")
      ->required();
  image
      ->add_option("TARGET", opts->target,
                   "new image file (an existing one only with --force), or a /dev path / drive:N "
                   "written in place")
      ->required();
  image->add_option("--offset", opts->offset, "first source sector (512 bytes)")
      ->check(CLI::NonNegativeNumber);
  image->add_option("--size", opts->size, "number of sectors to copy (default: to the end)")
      ->check(CLI::NonNegativeNumber);
  image->add_option("--target-offset", opts->target_offset, "first target sector")
      ->check(CLI::NonNegativeNumber);
  image->add_flag("--json", opts->json, "print the summary as one JSON object");
  image->add_flag("--force", opts->force, "replace an existing target image file");
  image->add_option("--map", opts->map,
                    "map of what was read and what failed, resumed when it exists "
                    "(default: TARGET.map)");
  image->add_option("--retry", opts->retry, "extra passes over the bad sectors")
      ->check(CLI::Range(0, 1000));
  image->callback([&status, opts] { status = RunImage(*opts); });
}

}  // namespace orvane::cli
