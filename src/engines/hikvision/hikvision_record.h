#pragma once
// The 21-byte task record of the Hikvision engine, the same for the fast and
// the deep parse, and the batch writer both use.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace orvane {
class TaskWriter;
}

namespace orvane::hikvision {

inline constexpr size_t kRecordSize = 21;
inline constexpr int64_t kRecordsPerPageBytes = 20'000'000LL * 21;

struct TaskRecord {
  int64_t offset = 0;   // byte offset of the recording on the source
  int32_t length = 0;   // bytes
  uint8_t channel = 0;  // fast parse: the index entry's; deep parse: 0
  uint32_t start_time = 0;  // fast: Unix seconds; deep: packed time
  uint32_t end_time = 0;    // fast: Unix seconds; deep: packed time of the last pack
  bool operator==(const TaskRecord&) const = default;
};

void EncodeRecord(const TaskRecord& r, uint8_t out[kRecordSize]);
TaskRecord DecodeRecord(const uint8_t in[kRecordSize]);

// Writes the found records behind the task file's end through the writer
// (which keeps the head's file length in step), in 2 MiB batches. Returns
// false when a write failed.
bool WriteRecords(TaskWriter& writer, std::span<const TaskRecord> records);

}  // namespace orvane::hikvision
