#pragma once
// The mirror backup: copies a range of sectors of a drive or file onto a
// drive or a new image file, in 2 MiB blocks. The source is read through a
// SourceDevice (read-only); the target is the only thing this program ever
// opens for writing, and only the one the user chose.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "device/device_info.h"
#include "device/medium_overlap.h"
#include "imaging/rescue_map.h"
#include "scan/parse_job.h"

namespace orvane {

struct WorkerFlags;

inline constexpr int32_t kEndpointNone = 0;
inline constexpr int32_t kEndpointDrive = 2;
inline constexpr int32_t kEndpointFile = 3;

inline constexpr int64_t kBackupBlock = 0x200000;  // 2 MiB
inline constexpr int64_t kBackupSectorSize = 512;  // unit of the offset and size fields

inline constexpr std::string_view kMsgBackupBadParameters = "参数设置错误，请重新设置";
inline constexpr std::string_view kMsgBackupRunning = "正在进行镜像备份...";
inline constexpr std::string_view kMsgBackupOpenSourceFailed = "打开源设备失败";
inline constexpr std::string_view kMsgBackupOpenTargetFailed = "打开目标设备失败";
inline constexpr std::string_view kMsgBackupCreateTargetFailed = "创建目标设备失败";
inline constexpr std::string_view kMsgBackupFinished = "镜像备份任务结束";
inline constexpr std::string_view kMsgBackupFileBusy = "当前文件被占用状态";
inline constexpr std::string_view kMsgBackupTargetExists = "目标文件已存在";
inline constexpr std::string_view kAskBackupReplaceTarget = "目标文件已存在，是否覆盖？";

inline constexpr std::string_view kLogInfo = "信息";
inline constexpr std::string_view kLogWarning = "警告";

// One side of the copy. Offset and size are sectors of 512 bytes in the
// dialog's fields and bytes once the copy has been started.
struct BackupEndpoint {
  int32_t kind = kEndpointNone;
  DeviceInfo device;  // kind 2
  std::string path;   // kind 3
  int64_t offset = 0;
  int64_t size = 0;

  // Where the bytes of this side are on the system: the drive's node or the file.
  std::string SystemPath() const;
};

// The number of 512-byte sectors that hold `bytes`, the last one perhaps
// only in part: an image whose length is not a whole number of sectors still
// has its tail copied (the copy stops at the real end of such a source).
int64_t SectorsCovering(int64_t bytes);

// A drive as the source of a copy: the whole drive, sized in 512-byte
// sectors whatever the drive's own sector size, because the copy counts in
// those.
BackupEndpoint DriveEndpoint(const DeviceInfo& drive);
// The endpoint text: "%s---%s---#%d" for a drive, the full path for a file.
std::string EndpointText(const BackupEndpoint& e);

// Hex digests of a copy, taken from the blocks as they pass. `source_*`
// cover the bytes read from the source range; `image_*` the target file as
// written (its leading zeros before a target offset included), and are left
// empty for a drive target.
struct BackupHashes {
  std::string source_sha256;
  std::string source_md5;
  std::string image_sha256;
  std::string image_md5;
};

// The copy in progress: both sides in bytes and the stop flag the dialog (or
// Ctrl-C) sets; the hashes once it has ended. With a map path, the state of
// the copy is kept there and a copy stopped earlier over the same range goes
// on from it.
struct BackupJob {
  BackupEndpoint source;
  BackupEndpoint target;
  std::string map_path;
  int32_t retries = 0;  // extra passes over the bad sectors
  // SHA-256 and MD5 of the copy; a copy without them is bound by the disks
  // alone, not by the digest speed (which is below a page-cached copy's).
  bool hashes_wanted = true;
  std::atomic<int32_t> stop{0};
  BackupHashes hashes;
};

// The map a copy onto `target` keeps by default: beside an image file. A
// drive has no place beside it; its copy keeps a map only when given one.
std::string DefaultMapPath(const BackupEndpoint& target);

// Writes IMAGE.sha256 and IMAGE.md5 beside an image file, each one line as
// `sha256sum -c` / `md5sum -c` check it in the image's folder. False when
// either cannot be written.
bool WriteImageChecksums(const std::string& image_path, const BackupHashes& hashes);

// The dialog's fields when "开始" is pressed.
struct BackupRequest {
  BackupEndpoint source;
  BackupEndpoint target;
  std::string source_offset_text;
  std::string source_size_text;
  std::string target_offset_text;
  std::string target_size_text;  // shown, not used by the copy
};

// The steps of "开始": busy check, stop flag cleared, fields read as sectors
// and turned into bytes in `job`, the refusals. A target that is the source
// itself, or lies on the source's drive, and a range past the end of a
// target drive are refused like any bad parameter.
StartResult ValidateBackupStart(const BackupRequest& request, BackupJob& job,
                                WorkerFlags& flags);

// True when the target is an image file that is there already: the copy
// would recreate it, so the user confirms first.
bool TargetFileExists(const BackupEndpoint& target);

// True when the job's map describes a stopped or finished copy of the same
// source range: the copy then resumes into the image it describes rather
// than recreating it, so there is nothing to confirm.
bool CopyResumesFromMap(const BackupJob& job);

// What the copy tells the window around it; unset members fall back to the
// notification sink (warnings as errors there).
struct BackupHooks {
  std::function<void(std::string_view type, std::string_view text)> log;
  std::function<void(int64_t steps)> progress_range;
  std::function<void(int64_t step)> progress_position;
  std::function<void()> close_dialog;
  // Every run of bytes as it goes into the target, at its target offset. A
  // copy over bad areas writes out of order: later passes fill gaps.
  std::function<void(int64_t offset, const uint8_t* data, size_t length)> written;
  // The map of the copy, a few times a second while it changes.
  std::function<void(const RescueMap& map)> map_changed;
};

// The copy itself, from "正在进行镜像备份..." to "镜像备份任务结束". Bad
// areas do not end it: they stay zero in the image, each is logged once
// with its size, and a summary follows. The source range and the image are
// hashed on the way; the hashes are logged and, for an image file, written
// beside it before the end line. Returns true when every byte was
// copied. A range that ends inside the last,
// partial sector of the source ends at the source's last byte: the copy of
// an image file is byte for byte the file, never padded to a sector.
bool RunMirrorBackup(BackupJob& job, const BackupHooks& hooks);

// The backup worker in its fixed order: busy, copy, not busy, dialog
// closed, power-off when asked for.
bool RunBackupJob(BackupJob& job, WorkerFlags& flags, const BackupHooks& hooks);

}  // namespace orvane
