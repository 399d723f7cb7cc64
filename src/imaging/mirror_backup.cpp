#include "imaging/mirror_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "device/format_text.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "imaging/backup_hashing.h"
#include "imaging/rescue_copy.h"
#include "recordings/hashing.h"
#include "scan/worker_flags.h"

namespace orvane {

bool CopyResumesFromMap(const BackupJob& job) {
  struct stat st{};
  if (job.map_path.empty() || ::stat(job.map_path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return false;
  RescueMap map;
  std::string error;
  if (!LoadRescueMap(job.map_path, map, error)) return false;
  // The copy of an image that ends inside a sector is cut at the file's end.
  const int64_t size = map.end() - map.begin();
  return map.begin() == job.source.offset && size <= job.source.size &&
         size > job.source.size - kBackupSectorSize;
}

namespace {

constexpr std::string_view kMsgRescueResuming = "从映射文件继续备份:";
constexpr std::string_view kMsgRescueMapNotSaved = "映射文件写入失败:";
constexpr std::string_view kRescueMapComment = "Mapfile. Created by orvane image";

}  // namespace

std::string DefaultMapPath(const BackupEndpoint& target) {
  if (target.kind != kEndpointFile || target.path.empty()) return {};
  return target.path + ".map";
}

std::string BackupEndpoint::SystemPath() const {
  if (kind == kEndpointDrive) return device.OpenPath();
  if (kind == kEndpointFile) return path;
  return {};
}

int64_t SectorsCovering(int64_t bytes) {
  if (bytes <= 0) return 0;
  return bytes / kBackupSectorSize + (bytes % kBackupSectorSize != 0 ? 1 : 0);
}

BackupEndpoint DriveEndpoint(const DeviceInfo& drive) {
  BackupEndpoint e;
  e.kind = kEndpointDrive;
  e.device = drive;
  e.offset = 0;
  // The fields count 512-byte sectors; dividing by a 4 KiB drive's own
  // sector size would copy an eighth of it.
  e.size = SectorsCovering(drive.size);
  return e;
}

std::string EndpointText(const BackupEndpoint& e) {
  if (e.kind == kEndpointDrive) {
    char number[32];
    std::snprintf(number, sizeof number, "#%d", e.device.number);
    return e.device.name + "---" + e.device.serial + "---" + number;
  }
  if (e.kind == kEndpointFile) return e.path;
  return {};
}

bool TargetFileExists(const BackupEndpoint& target) {
  if (target.kind != kEndpointFile || target.path.empty()) return false;
  struct stat st{};
  // A dangling link still names a file the copy would create through it.
  return ::lstat(target.path.c_str(), &st) == 0;
}

namespace {

// Byte length of a target that already exists: a block device's capacity or
// a file's length; -1 when it cannot be learned.
int64_t ExistingSize(const std::string& path) {
  if (path.empty()) return -1;
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const int64_t size = DescriptorLength(fd);
  ::close(fd);
  return size;
}

bool SectorsToBytes(int64_t sectors, int64_t& bytes) {
  if (sectors < 0 || sectors > INT64_MAX / kBackupSectorSize) return false;
  bytes = sectors * kBackupSectorSize;
  return true;
}

bool DriveChosen(const BackupEndpoint& e) {
  return e.device.kind != kDeviceKindNone && !e.device.OpenPath().empty();
}

// True when writing `size` bytes at `offset` of a target drive would run past
// its end. A drive whose size cannot be learned is left to the copy, which
// then fails to open it.
bool RunsPastDriveEnd(const BackupEndpoint& target, int64_t offset, int64_t size) {
  if (target.kind != kEndpointDrive) return false;
  int64_t capacity = ExistingSize(target.SystemPath());
  if (capacity < 0) capacity = target.device.size > 0 ? target.device.size : -1;
  if (capacity < 0) return false;
  return offset > capacity || size > capacity - offset;
}

bool WriteAll(int fd, const uint8_t* data, size_t length, int64_t offset) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = ::pwrite(fd, data + done, length - done, offset + static_cast<int64_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

class Reporter {
 public:
  explicit Reporter(const BackupHooks& hooks) : hooks_(hooks) {}
  void Log(std::string_view type, std::string_view text) const {
    if (hooks_.log) {
      hooks_.log(type, text);
    } else if (type == kLogInfo) {
      PostInfo(text);
    } else {
      PostError(text);
    }
  }
  void Range(int64_t steps) const {
    if (hooks_.progress_range) hooks_.progress_range(steps);
    else PostRange(steps);
  }
  void Position(int64_t step) const {
    if (hooks_.progress_position) hooks_.progress_position(step);
    else PostPosition(step);
  }

 private:
  const BackupHooks& hooks_;
};

std::string OffsetText(const char* prefix, int64_t offset) {
  char text[96];
  std::snprintf(text, sizeof text, "%s%lld", prefix, static_cast<long long>(offset));
  return text;
}

// A map written over the source, or over the image it describes, would
// destroy what it is about.
bool MapClashes(const BackupJob& job) {
  if (job.map_path.empty()) return false;
  if (TargetTouchesSource(job.source.SystemPath(), job.map_path)) return true;
  std::error_code ec;
  const std::string target = job.target.SystemPath();
  return job.map_path == target || std::filesystem::equivalent(job.map_path, target, ec);
}

// A map left by a stopped copy of the same range, when one can be used.
bool ResumableMap(const BackupJob& job, int64_t size, RescueMap& map, const Reporter& report) {
  if (job.map_path.empty() || !std::filesystem::exists(job.map_path)) return false;
  // Without the image it describes, a map says nothing about what is there.
  if (job.target.kind == kEndpointFile && !std::filesystem::exists(job.target.path)) return false;
  RescueMap loaded;
  std::string error;
  if (!LoadRescueMap(job.map_path, loaded, error) || loaded.begin() != job.source.offset ||
      loaded.end() - loaded.begin() != size)
    return false;
  map = std::move(loaded);
  report.Log(kLogInfo, std::string(kMsgRescueResuming) + job.map_path);
  return true;
}

struct RescueCopyResult {
  bool complete = false;
  // Every byte went by once, in order, from the range's start: the hashes
  // taken on the way are those of the whole range.
  bool hashed_in_order = false;
};

std::string BadAreaText(const MapArea& area) {
  char text[128];
  std::snprintf(text, sizeof text, "读取失败 偏移:%lld 大小:%lld", static_cast<long long>(area.pos),
                static_cast<long long>(area.size));
  return text;
}

std::string SummaryText(const RescueMap& map, int64_t seconds) {
  char text[256];
  std::snprintf(text, sizeof text, "已读出:%lld 字节 坏区:%lld 个 坏字节:%lld 用时:%s",
                static_cast<long long>(map.Bytes(kAreaFinished)),
                static_cast<long long>(map.Count(kAreaBadSector)),
                static_cast<long long>(map.Bytes(kAreaBadSector)), FormatDuration(seconds).c_str());
  return text;
}

RescueCopyResult CopyWithRescue(BackupJob& job, ReadBackend& source, int fd, RescueMap& map,
                                BackupHasher& hasher, const BackupHooks& hooks,
                                const Reporter& report) {
  const auto started = std::chrono::steady_clock::now();
  const int64_t source_offset = map.begin();
  const int64_t target_offset = job.target.offset;
  // Counted on the range as asked for, as the progress always was.
  const int64_t blocks = job.source.size / kBackupBlock;
  report.Range(blocks);

  RescueSettings settings;
  settings.block = kBackupBlock;
  settings.retries = std::max<int32_t>(0, job.retries);
  // A healthy source is copied in one pass from start to end, and hashed as
  // it goes. A resumed copy, or one whose later passes fill gaps, is not.
  int64_t hashed_up_to = job.hashes_wanted && map.Bytes(kAreaFinished) == 0 ? source_offset : -1;
  RescueIo io;
  io.source = &source;
  io.stop = &job.stop;
  io.write = [&](int64_t pos, const uint8_t* data, size_t length) {
    const int64_t to = target_offset + (pos - source_offset);
    if (!WriteAll(fd, data, length, to)) {
      report.Log(kLogWarning, OffsetText("写入失败 偏移:", to));
      return false;
    }
    if (pos == hashed_up_to) {
      hasher.Copied(data, length);
      hashed_up_to += static_cast<int64_t>(length);
    } else {
      hashed_up_to = -1;
    }
    if (hooks.written) hooks.written(to, data, length);
    return true;
  };
  io.block_started = [&](int64_t pos) { report.Position((pos - source_offset) / kBackupBlock); };
  if (hooks.map_changed) io.map_changed = hooks.map_changed;
  bool map_warned = false;
  io.save_map = [&](const RescueMap& m) {
    if (job.map_path.empty()) return;
    // The map must not claim blocks the target may still lose in a crash: a
    // resumed copy would skip them. Once every byte is read there is nothing
    // left to resume; the image is then in the system's hands as any file
    // just written is, and its hash files beside it tell a lost block. A
    // sync there would only make a page-cached copy wait for the disk.
    if (m.Bytes(kAreaFinished) != m.end() - m.begin()) ::fdatasync(fd);
    if (!SaveRescueMap(job.map_path, m, kRescueMapComment) && !map_warned) {
      report.Log(kLogWarning, std::string(kMsgRescueMapNotSaved) + job.map_path);
      map_warned = true;
    }
  };

  const RescueOutcome outcome = RunRescueCopy(map, settings, io);
  if (outcome.write_failed) job.stop.store(1);
  for (const MapArea& area : map.Areas())
    if (area.status == kAreaBadSector) report.Log(kLogWarning, BadAreaText(area));
  const int64_t seconds =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started)
          .count();
  report.Log(kLogInfo, SummaryText(map, seconds));

  RescueCopyResult result;
  result.complete = !outcome.stopped && !outcome.write_failed &&
                    map.Bytes(kAreaFinished) == map.end() - map.begin();
  // Gone through to the end, bad areas or not.
  if (!outcome.stopped && !outcome.write_failed) report.Position(blocks);
  result.hashed_in_order = result.complete && hashed_up_to == map.end();
  return result;
}

// A copy that was not made in one pass (resumed, or with gaps filled later,
// or left incomplete) has no hash of the source range; the image file, as it
// now stands, is hashed from the target after the copy.
BackupHashes HashesAfterCopy(const BackupJob& job, BackupHasher& hasher, bool in_order) {
  BackupHashes h = hasher.Finish();
  if (in_order) return h;
  h = BackupHashes{};
  if (job.target.kind == kEndpointFile) {
    const std::vector<std::string> image =
        DigestsOfFile(job.target.SystemPath(), {DigestKind::Sha256, DigestKind::Md5});
    h.image_sha256 = image[0];
    h.image_md5 = image[1];
  }
  return h;
}

// The hashes go to the log, and beside an image file, so that the copy can be
// checked later with sha256sum -c / md5sum -c.
void ReportHashes(const Reporter& report, BackupJob& job, BackupHashes hashes, bool complete) {
  job.hashes = std::move(hashes);
  const BackupHashes& h = job.hashes;
  if (!job.hashes_wanted) return;
  if (!complete) report.Log(kLogWarning, "镜像不完整: 哈希值只覆盖已写入的部分");
  if (job.target.kind == kEndpointDrive) {
    if (h.source_sha256.empty()) return;
    report.Log(kLogInfo, "源范围 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围 MD5: " + h.source_md5);
    return;
  }
  if (h.source_sha256.empty()) {
    report.Log(kLogInfo, "镜像 SHA-256: " + h.image_sha256);
    report.Log(kLogInfo, "镜像 MD5: " + h.image_md5);
  } else if (h.image_sha256 == h.source_sha256) {
    report.Log(kLogInfo, "源范围与镜像 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围与镜像 MD5: " + h.source_md5);
  } else {
    report.Log(kLogInfo, "源范围 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围 MD5: " + h.source_md5);
    report.Log(kLogInfo, "镜像 SHA-256 (含目标偏移前的零字节): " + h.image_sha256);
    report.Log(kLogInfo, "镜像 MD5 (含目标偏移前的零字节): " + h.image_md5);
  }
  const std::string path = job.target.SystemPath();
  if (!WriteImageChecksums(path, h))
    report.Log(kLogWarning, "写入哈希文件失败: " + path + ".sha256 / .md5");
  else
    report.Log(kLogInfo, "哈希文件: " + path + ".sha256, " + path + ".md5");
}

}  // namespace

StartResult ValidateBackupStart(const BackupRequest& r, BackupJob& job, WorkerFlags& flags) {
  StartResult result;
  if (flags.worker_busy.load()) {
    result.warning = kMsgWorkerBusy;
    return result;
  }
  job.stop.store(0);
  auto refuse = [&] {
    result.warning = kMsgBackupBadParameters;
    return result;
  };

  const int64_t source_offset = EditValue(r.source_offset_text);
  const int64_t source_size = EditValue(r.source_size_text);
  const int64_t target_offset = EditValue(r.target_offset_text);

  if (source_size == 0) return refuse();
  for (const BackupEndpoint* e : {&r.source, &r.target}) {
    if (e->kind == kEndpointDrive && !DriveChosen(*e)) return refuse();
    if (e->kind == kEndpointFile && e->path.empty()) return refuse();
  }

  int64_t so = 0, ss = 0, to = 0;
  // Negative or overflowing sector numbers address nothing on any disk.
  if (!SectorsToBytes(source_offset, so) || !SectorsToBytes(source_size, ss) ||
      !SectorsToBytes(target_offset, to))
    return refuse();
  if (so > INT64_MAX - ss || to > INT64_MAX - ss) return refuse();

  // Writing onto the medium being copied would overwrite the evidence.
  if (TargetTouchesSource(r.source.SystemPath(), r.target.SystemPath())) return refuse();
  if (RunsPastDriveEnd(r.target, to, ss)) return refuse();

  job.source = r.source;
  job.target = r.target;
  job.source.offset = so;
  job.source.size = ss;
  job.target.offset = to;
  job.target.size = ss;
  result.started = true;
  return result;
}

bool RunMirrorBackup(BackupJob& job, const BackupHooks& hooks) {
  const Reporter report(hooks);
  report.Log(kLogInfo, kMsgBackupRunning);

  DeviceInfo source_device;
  if (job.source.kind == kEndpointDrive) {
    source_device = job.source.device;
  } else if (job.source.kind == kEndpointFile && !job.source.path.empty()) {
    source_device.kind = kDeviceKindImage;
    source_device.name = job.source.path;
  }
  const std::unique_ptr<ReadBackend> source = OpenDeviceBackend(source_device);
  if (!source) {
    report.Log(kLogWarning, kMsgBackupOpenSourceFailed);
    return false;
  }

  const int64_t source_offset = job.source.offset;
  int64_t size = job.source.size;
  const int64_t target_offset = job.target.offset;
  const std::string target_path = job.target.SystemPath();

  // Checked again here, before the target is opened for writing (a file
  // target is truncated on opening), for callers that skipped "开始".
  if (size < 0 || source_offset < 0 || target_offset < 0 ||
      TargetTouchesSource(job.source.SystemPath(), target_path) || MapClashes(job)) {
    report.Log(kLogWarning, kMsgBackupBadParameters);
    return false;
  }

  // Sizes are whole sectors; when the range's end falls in the source's last,
  // partial sector, the bytes past the source's end are not there to copy.
  const int64_t source_length = source->Size();
  const int64_t range_end = source_offset + size;
  if (source_length > 0 && range_end > source_length &&
      range_end - source_length < kBackupSectorSize && source_length % kBackupSectorSize != 0)
    size = std::max<int64_t>(0, source_length - source_offset);

  RescueMap map(source_offset, size);
  const bool resuming = ResumableMap(job, size, map, report);

  int fd = -1;
  if (job.target.kind == kEndpointDrive) {
    if (!target_path.empty()) fd = ::open(target_path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      report.Log(kLogWarning, kMsgBackupOpenTargetFailed);
      return false;
    }
    const int64_t capacity = DescriptorLength(fd);
    if (capacity >= 0 && (target_offset > capacity || size > capacity - target_offset)) {
      ::close(fd);
      report.Log(kLogWarning, kMsgBackupBadParameters);
      return false;
    }
  } else {
    // A resumed copy keeps what the stopped one wrote.
    const int truncate = resuming ? 0 : O_TRUNC;
    if (!target_path.empty())
      fd = ::open(target_path.c_str(), O_RDWR | O_CREAT | truncate | O_CLOEXEC, 0644);
    if (fd < 0) {
      report.Log(kLogWarning, kMsgBackupCreateTargetFailed);
      return false;
    }
    // The image has its full length from the start: what is never read
    // stays zero, and later passes fill the gaps in place.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && st.st_size < target_offset + size)
      (void)::ftruncate(fd, target_offset + size);
  }

  BackupHasher hasher(job.target.kind != kEndpointDrive, target_offset);
  const RescueCopyResult result = CopyWithRescue(job, *source, fd, map, hasher, hooks, report);

  // A drive is often unplugged right after the end line: make sure the
  // blocks are on it by then.
  if (job.target.kind == kEndpointDrive) ::fsync(fd);
  const bool closed = ::close(fd) == 0;
  if (!closed && result.complete)
    report.Log(kLogWarning, OffsetText("写入失败 偏移:", target_offset));
  BackupHashes hashes;
  if (job.hashes_wanted) hashes = HashesAfterCopy(job, hasher, result.hashed_in_order);
  ReportHashes(report, job, std::move(hashes), result.complete && closed);
  report.Log(kLogInfo, kMsgBackupFinished);
  return result.complete && closed;
}

bool RunBackupJob(BackupJob& job, WorkerFlags& flags, const BackupHooks& hooks) {
  flags.worker_busy.store(1);
  const bool complete = RunMirrorBackup(job, hooks);
  flags.worker_busy.store(0);
  if (hooks.close_dialog) hooks.close_dialog();
  PowerOffIfRequested(flags);
  return complete;
}

}  // namespace orvane
