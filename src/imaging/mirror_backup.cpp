#include "imaging/mirror_backup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>

#include "device/notify.h"
#include "device/source_device.h"
#include "imaging/backup_hashing.h"
#include "scan/worker_flags.h"

namespace orvane {

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

// ---------------------------------------------------------------------------
// Identity of the media behind two paths.

uint64_t WholeDiskOf(uint64_t dev, const std::string& sysfs) {
  namespace fs = std::filesystem;
  const std::string node = sysfs + "/dev/block/" + std::to_string(major(dev)) + ":" +
                           std::to_string(minor(dev));
  std::error_code ec;
  if (!fs::exists(fs::path(node) / "partition", ec)) return dev;
  const fs::path real = fs::canonical(node, ec);
  if (ec) return dev;
  std::ifstream in(real.parent_path() / "dev");
  unsigned maj = 0, min = 0;
  char colon = 0;
  if (!(in >> maj >> colon >> min) || colon != ':') return dev;
  return makedev(maj, min);
}

bool TargetTouchesSource(const std::string& source_path, const std::string& target_path,
                         const std::string& sysfs) {
  if (source_path.empty() || target_path.empty()) return false;
  struct stat s{}, t{};
  if (::stat(source_path.c_str(), &s) != 0) return false;
  const bool source_block = S_ISBLK(s.st_mode);
  if (::stat(target_path.c_str(), &t) == 0) {
    if (s.st_dev == t.st_dev && s.st_ino == t.st_ino) return true;
    const bool target_block = S_ISBLK(t.st_mode);
    if (source_block && target_block)
      return WholeDiskOf(s.st_rdev, sysfs) == WholeDiskOf(t.st_rdev, sysfs);
    // A drive under the file system that holds the other side's file.
    if (!source_block && target_block)
      return WholeDiskOf(s.st_dev, sysfs) == WholeDiskOf(t.st_rdev, sysfs);
    if (source_block && !target_block)
      return WholeDiskOf(t.st_dev, sysfs) == WholeDiskOf(s.st_rdev, sysfs);
    return false;
  }
  if (!source_block) return false;
  // A new file: it touches the source when its folder is on the source drive.
  std::filesystem::path parent = std::filesystem::path(target_path).parent_path();
  if (parent.empty()) parent = ".";
  struct stat d{};
  if (::stat(parent.c_str(), &d) != 0) return false;
  return WholeDiskOf(d.st_dev, sysfs) == WholeDiskOf(s.st_rdev, sysfs);
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

// The hashes go to the log, and beside an image file, so that the copy can be
// checked later with sha256sum -c / md5sum -c.
void ReportHashes(const Reporter& report, BackupJob& job, BackupHashes hashes, bool complete) {
  job.hashes = std::move(hashes);
  const BackupHashes& h = job.hashes;
  if (job.target.kind == kEndpointDrive) {
    report.Log(kLogInfo, "源范围 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围 MD5: " + h.source_md5);
    return;
  }
  if (h.image_sha256 == h.source_sha256) {
    report.Log(kLogInfo, "源范围与镜像 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围与镜像 MD5: " + h.source_md5);
  } else {
    report.Log(kLogInfo, "源范围 SHA-256: " + h.source_sha256);
    report.Log(kLogInfo, "源范围 MD5: " + h.source_md5);
    report.Log(kLogInfo, "镜像 SHA-256 (含目标偏移前的零字节): " + h.image_sha256);
    report.Log(kLogInfo, "镜像 MD5 (含目标偏移前的零字节): " + h.image_md5);
  }
  if (!complete) report.Log(kLogWarning, "镜像不完整: 哈希值只覆盖已写入的部分");
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

  SourceDevice source;
  if (job.source.kind == kEndpointDrive) {
    source.Open(job.source.device);
  } else if (job.source.kind == kEndpointFile && !job.source.path.empty()) {
    DeviceInfo file;
    file.kind = kDeviceKindImage;
    file.name = job.source.path;
    source.Open(file);
  }
  if (!source.is_open()) {
    report.Log(kLogWarning, kMsgBackupOpenSourceFailed);
    return false;
  }

  const int64_t source_offset = job.source.offset;
  const int64_t size = job.source.size;
  const int64_t target_offset = job.target.offset;
  const std::string target_path = job.target.SystemPath();

  // Checked again here, before the target is opened for writing (a file
  // target is truncated on opening), for callers that skipped "开始".
  if (size < 0 || source_offset < 0 || target_offset < 0 ||
      TargetTouchesSource(job.source.SystemPath(), target_path)) {
    report.Log(kLogWarning, kMsgBackupBadParameters);
    return false;
  }

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
    if (!target_path.empty())
      fd = ::open(target_path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      report.Log(kLogWarning, kMsgBackupCreateTargetFailed);
      return false;
    }
  }

  // Sizes are whole sectors; when the range's end falls in the source's last,
  // partial sector, the bytes past the source's end are not there to copy.
  // A range set to run further past the end is copied as it always was.
  const int64_t source_length = source.Size();
  const int64_t range_end = source_offset + size;
  const bool ends_in_partial_sector = source_length > 0 && range_end > source_length &&
                                      range_end - source_length < kBackupSectorSize &&
                                      source_length % kBackupSectorSize != 0;

  const int64_t blocks = size / kBackupBlock;
  const int64_t rest = size % kBackupBlock;
  report.Range(blocks);
  std::unique_ptr<uint8_t[]> buffer(new uint8_t[kBackupBlock]);
  bool failed = false;
  BackupHasher hasher(job.target.kind != kEndpointDrive, target_offset);

  auto copy_block = [&](int64_t at, int64_t length) {
    const int64_t from = source_offset + at;
    if (ends_in_partial_sector && from < source_length && from + length > source_length)
      length = source_length - from;
    std::memset(buffer.get(), 0, static_cast<size_t>(length));
    source.Read(from, buffer.get(), static_cast<int32_t>(length));
    if (!source.ok()) {
      report.Log(kLogWarning, OffsetText("读取失败 偏移:", from));
      job.stop.store(1);
      failed = true;
      return;
    }
    const int64_t to = target_offset + at;
    if (!WriteAll(fd, buffer.get(), static_cast<size_t>(length), to)) {
      report.Log(kLogWarning, OffsetText("写入失败 偏移:", to));
      job.stop.store(1);
      failed = true;
      return;
    }
    hasher.Copied(buffer.get(), static_cast<size_t>(length));
  };

  int64_t i = 0;
  for (; i < blocks && job.stop.load() == 0; ++i) {
    report.Position(i);
    copy_block(i * kBackupBlock, kBackupBlock);
  }
  if (rest > 0 && job.stop.load() == 0) copy_block(blocks * kBackupBlock, rest);
  const bool complete = !failed && job.stop.load() == 0;
  if (complete) report.Position(blocks);

  buffer.reset();
  source.Close();
  // A drive is often unplugged right after the end line: make sure the
  // blocks are on it by then.
  if (job.target.kind == kEndpointDrive) ::fsync(fd);
  const bool closed = ::close(fd) == 0;
  if (!closed && complete) report.Log(kLogWarning, OffsetText("写入失败 偏移:", target_offset));
  ReportHashes(report, job, hasher.Finish(), complete && closed);
  report.Log(kLogInfo, kMsgBackupFinished);
  return complete && closed;
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
