#pragma once
// Writing and reading task files: the head at 0, records behind it.
//
// Every engine writes through TaskWriter so that the head's file length and
// the bytes on disk never disagree, and reads through TaskReader, which knows
// the real file size and never lets a head's claim send a read past it.

#include <cstdint>
#include <cstdio>
#include <span>
#include <string>

#include "scan/task_head.h"

namespace orvane {

struct ScanParameters;

class TaskWriter {
 public:
  TaskWriter() = default;
  ~TaskWriter() { Close(); }
  TaskWriter(const TaskWriter&) = delete;
  TaskWriter& operator=(const TaskWriter&) = delete;

  // Creates the file anew, or with the continue flag opens the existing one
  // and sets the head's file length to its length. Posts "创建任务文件失败"
  // or "打开任务文件失败" and returns false on failure.
  bool Open(ScanParameters& p);
  // Appends records behind the current file length and rewrites the head
  // with the grown length.
  bool Append(std::span<const uint8_t> records);
  // Rewrites the 49-byte head from p.head.
  bool WriteHead();
  void Close();
  bool is_open() const { return file_ != nullptr; }

 private:
  ScanParameters* params_ = nullptr;
  std::FILE* file_ = nullptr;
};

class TaskReader {
 public:
  TaskReader() = default;
  ~TaskReader() { Close(); }
  TaskReader(const TaskReader&) = delete;
  TaskReader& operator=(const TaskReader&) = delete;

  // Opens read-only; posts "打开任务文件失败" on failure.
  bool Open(const std::string& path);
  // Reads the head into `head` (short files read as zero-filled).
  TaskHead ReadHead();
  // Reads up to `length` bytes at `offset`, clipped to the real file; returns
  // the number of bytes read (0 at or past the end).
  size_t ReadAt(int64_t offset, void* buffer, size_t length);
  // Real size of the file in bytes.
  int64_t file_size() const { return size_; }
  // End of the records: the head's file length, but never past the file.
  int64_t RecordsEnd(const TaskHead& head) const;
  void Close();

 private:
  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
};

}  // namespace orvane
