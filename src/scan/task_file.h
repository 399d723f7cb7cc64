#pragma once
// Writing and reading task files: the head at 0, records behind it.
//
// Every engine writes through TaskWriter so that the head's file length and
// the bytes on disk never disagree, and reads through TaskReader, which knows
// the real file size and never lets a head's claim send a read past it.

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <span>
#include <string>
#include <vector>

#include "device/scan_bytes.h"
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

// Records of `record_size` bytes a page can hold between `position` and
// `end`: what a reader may reserve for, never more than one page.
inline size_t PageRecordCapacity(int64_t position, int64_t end, size_t record_size) {
  if (position >= end || record_size == 0) return 0;
  return static_cast<size_t>(
      std::min<int64_t>((end - position) / static_cast<int64_t>(record_size), kRecordsPerPage));
}

// Reads the fixed-size records of one task page, from `position` up to `end`,
// 1,000 records a read. `take` sees every whole record that lies before `end`
// and returns false at a terminator, which ends the records of that read only
// (the next read goes on). `after_read` runs after every read; the page ends
// when a read comes back empty or the stop flag is set. The record that makes
// a full page sets the stop flag, so the page ends as if stopped. A record cut
// by the end of the file or by `end` is never seen.
template <typename Take, typename AfterRead>
void ReadPageRecords(TaskReader& reader, int64_t position, int64_t end, size_t record_size,
                     std::atomic<int32_t>& stop, Take take, AfterRead after_read) {
  if (record_size == 0) return;
  constexpr size_t kRecordsPerRead = 1000;
  const size_t chunk = kRecordsPerRead * record_size;
  std::vector<uint8_t> buf(chunk);
  int64_t taken = 0;
  while (position < end) {
    const auto want =
        static_cast<size_t>(std::min<int64_t>(end - position, static_cast<int64_t>(chunk)));
    const size_t got = reader.ReadAt(position, buf.data(), want);
    if (got == 0) break;
    for (size_t k = 0; k + record_size <= got; k += record_size) {
      if (!take(static_cast<const uint8_t*>(buf.data() + k))) break;
      if (++taken == kRecordsPerPage) {
        stop.store(1);
        break;
      }
    }
    after_read();
    if (stop.load(std::memory_order_relaxed) != 0) break;
    position += static_cast<int64_t>(want);
  }
}

// Appends `records` behind the task's records, `record_size` bytes each as
// `encode(record, bytes)` writes them, in writes of at most 2 MiB; with no
// records the head alone is rewritten. False when a write failed (the
// writes after it are still tried).
template <typename Record, typename Allocator, typename Encode>
bool AppendRecords(TaskWriter& writer, const std::vector<Record, Allocator>& records,
                   size_t record_size, Encode encode) {
  if (records.empty()) return writer.WriteHead();
  const size_t batch = std::max<size_t>(1, 0x200000 / record_size);
  ScanBytes bytes(std::min(records.size(), batch) * record_size);
  bool ok = true;
  for (size_t at = 0; at < records.size(); at += batch) {
    const size_t n = std::min(batch, records.size() - at);
    bytes.resize(n * record_size);
    for (size_t k = 0; k < n; ++k) encode(records[at + k], bytes.data() + k * record_size);
    ok = writer.Append(bytes) && ok;
  }
  return ok;
}

}  // namespace orvane
