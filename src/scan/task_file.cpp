#include "scan/task_file.h"

#include <sys/stat.h>

#include <algorithm>

#include "device/notify.h"
#include "device/path_kind.h"
#include "scan/scan_parameters.h"

namespace orvane {

namespace {
bool WriteAt(std::FILE* f, int64_t offset, const void* data, size_t n) {
  if (fseeko(f, offset, SEEK_SET) != 0) return false;
  return std::fwrite(data, 1, n, f) == n;
}
}  // namespace

bool TaskWriter::Open(ScanParameters& p) {
  Close();
  params_ = &p;
  const PathKind kind = KindOfPath(p.task_path);
  if (p.continue_flag) {
    if (kind == PathKind::Medium) file_ = std::fopen(p.task_path.c_str(), "r+b");
    if (!file_) {
      PostError(kMsgOpenTaskFailed);
      return false;
    }
    struct stat st{};
    if (fstat(fileno(file_), &st) == 0) p.head.file_length = st.st_size;
    // A continued task shorter than its head gets a whole head first.
    if (p.head.file_length < kTaskHeadSize) p.head.file_length = kTaskHeadSize;
  } else {
    if (kind != PathKind::Other) file_ = std::fopen(p.task_path.c_str(), "w+b");
    if (!file_) {
      PostError(kMsgCreateTaskFailed);
      return false;
    }
    p.head.file_length = kTaskHeadSize;
  }
  return WriteHead();
}

bool TaskWriter::WriteHead() {
  if (!file_) return false;
  uint8_t bytes[kTaskHeadSize];
  params_->head.Encode(bytes);
  return WriteAt(file_, 0, bytes, sizeof bytes) && std::fflush(file_) == 0;
}

bool TaskWriter::Append(std::span<const uint8_t> records) {
  if (!file_) return false;
  if (records.empty()) return WriteHead();
  const int64_t at = params_->head.file_length;
  if (!WriteAt(file_, at, records.data(), records.size())) return false;
  params_->head.file_length = at + static_cast<int64_t>(records.size());
  return WriteHead();
}

void TaskWriter::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

bool TaskReader::Open(const std::string& path) {
  Close();
  if (IsMediumPath(path)) file_ = std::fopen(path.c_str(), "rb");
  if (!file_) {
    PostError(kMsgOpenTaskFailed);
    return false;
  }
  struct stat st{};
  size_ = fstat(fileno(file_), &st) == 0 ? st.st_size : 0;
  return true;
}

TaskHead TaskReader::ReadHead() {
  uint8_t bytes[kTaskHeadSize] = {};
  const size_t got = ReadAt(0, bytes, sizeof bytes);
  return TaskHead::Decode(std::span<const uint8_t>(bytes, got));
}

size_t TaskReader::ReadAt(int64_t offset, void* buffer, size_t length) {
  if (!file_ || offset < 0 || offset >= size_) return 0;
  length = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(length), size_ - offset));
  if (fseeko(file_, offset, SEEK_SET) != 0) return 0;
  return std::fread(buffer, 1, length, file_);
}

int64_t TaskReader::RecordsEnd(const TaskHead& head) const {
  return std::clamp<int64_t>(head.file_length, 0, size_);
}

void TaskReader::Close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
  size_ = 0;
}

}  // namespace orvane
