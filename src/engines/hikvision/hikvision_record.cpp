#include "engines/hikvision/hikvision_record.h"

#include <algorithm>

#include "device/byte_order.h"
#include "scan/task_file.h"

namespace orvane::hikvision {

void EncodeRecord(const TaskRecord& r, uint8_t out[kRecordSize]) {
  StoreLE64(out + 0, static_cast<uint64_t>(r.offset));
  StoreLE32(out + 8, static_cast<uint32_t>(r.length));
  out[12] = r.channel;
  StoreLE32(out + 13, r.start_time);
  StoreLE32(out + 17, r.end_time);
}

TaskRecord DecodeRecord(const uint8_t in[kRecordSize]) {
  TaskRecord r;
  r.offset = static_cast<int64_t>(LoadLE64(in + 0));
  r.length = static_cast<int32_t>(LoadLE32(in + 8));
  r.channel = in[12];
  r.start_time = LoadLE32(in + 13);
  r.end_time = LoadLE32(in + 17);
  return r;
}

bool WriteRecords(TaskWriter& writer, std::span<const TaskRecord> records) {
  constexpr size_t kBatchBytes = 0x200000 / kRecordSize * kRecordSize;
  std::vector<uint8_t> batch;
  batch.reserve(std::min(kBatchBytes, records.size() * kRecordSize));
  bool ok = true;
  for (const TaskRecord& r : records) {
    const size_t at = batch.size();
    batch.resize(at + kRecordSize);
    EncodeRecord(r, batch.data() + at);
    if (batch.size() >= kBatchBytes) {
      ok = writer.Append(batch) && ok;
      batch.clear();
    }
  }
  // Also rewrites the head when nothing is left, so its scan position lands.
  return writer.Append(batch) && ok;
}

}  // namespace orvane::hikvision
