// Fast parse: the index table of the disk, one task record per valid entry.

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "device/notify.h"
#include "device/source_device.h"
#include "engines/wfs/wfs_engine.h"
#include "engines/wfs/wfs_format.h"
#include "engines/wfs/wfs_read.h"
#include "engines/wfs/wfs_segments.h"
#include "scan/task_file.h"

namespace orvane {

namespace {
constexpr int64_t kIndexChunk = 0x200000;
constexpr size_t kFlushAt = 0x1FFFFF;
constexpr int64_t kReadChunk = 33'000;  // 1,000 records
}  // namespace

void WfsEngine::FastParse(SourceDevice& device) {
  TaskWriter task;
  if (!task.Open(params_)) return;

  uint8_t block[wfs::kSuperblockSize] = {};
  device.Read(wfs::kSuperblockOffset, block, sizeof block);
  if (!device.ok()) {
    PostError(kMsgReadFailed);
    return;
  }
  const wfs::Superblock sb = wfs::DecodeSuperblock(block);
  if (!wfs::IsWfsSuperblock(sb)) {
    PostError("此设备不是WFS监控系统");
    return;
  }
  PostRange(sb.index_length() / kIndexChunk);

  // Entries past the end of the medium cannot be read; a damaged entry count
  // must not send the loop through hundreds of megabytes of failing reads.
  int64_t index_end = sb.index_end();
  const int64_t device_size = device.Size();
  if (device_size > 0) index_end = std::min(index_end, std::max(device_size, sb.index_start()));

  // Records go to the task file in batches as they are found, so a large
  // index costs no more memory than one batch.
  std::vector<uint8_t> pending;
  pending.reserve(kFlushAt + 1 + wfs::kSegmentRecordSize);
  auto flush = [&] {
    task.Append(pending);
    pending.clear();
  };
  auto append = [&](const wfs::SegmentRecord& r) {
    uint8_t bytes[wfs::kSegmentRecordSize];
    wfs::EncodeSegmentRecord(r, bytes);
    pending.insert(pending.end(), bytes, bytes + sizeof bytes);
    if (pending.size() > kFlushAt) flush();
  };

  std::unique_ptr<uint8_t[]> buf(new uint8_t[kIndexChunk]);
  int64_t at = sb.index_start();
  uint32_t entry = 0;
  int64_t step = 0;
  while (at < index_end && !params_.stop_requested()) {
    std::memset(buf.get(), 0, kIndexChunk);
    const int64_t chunk = std::min(index_end - at, kIndexChunk);
    // An unreadable piece of the index costs only its own entries.
    wfs::ReadSalvaging(device, at, buf.get(), static_cast<int32_t>(chunk));
    const int64_t entries = (chunk + 31) / 32;
    for (int64_t k = 0; k < entries; ++k, ++entry) {
      const wfs::IndexEntry e = wfs::DecodeIndexEntry(
          std::span<const uint8_t>(buf.get() + k * 32, wfs::kIndexEntrySize));
      if (!wfs::IsValidWfsEntry(e, sb.entry_count)) continue;
      append(wfs::SegmentRecordOf(e, entry, sb));
      progress_.found_count += 1;
      progress_.found_bytes += sb.segment_size();
    }
    at += chunk;
    ++step;
    PostFound(progress_);
    PostPosition(step);
  }

  params_.head.scan_position = params_.region_end;
  pending.insert(pending.end(), wfs::kSegmentRecordSize, uint8_t{0});  // terminator
  flush();
}

void WfsEngine::ReadFastBody(TaskReader& task) {
  const int64_t end = task.RecordsEnd(params_.head);
  PostRange(end / kReadChunk);
  if (end < kTaskHeadSize + 1) return;
  std::vector<wfs::SegmentRecord> run;
  std::vector<uint8_t> buf(kReadChunk);
  for (int64_t at = kTaskHeadSize; at < end; at += kReadChunk) {
    const int64_t chunk = std::min(end - at, kReadChunk);
    std::fill(buf.begin(), buf.end(), uint8_t{0});
    task.ReadAt(at, buf.data(), static_cast<size_t>(chunk));
    for (int64_t k = 0; k < chunk; k += static_cast<int64_t>(wfs::kSegmentRecordSize)) {
      const wfs::SegmentRecord r = wfs::DecodeSegmentRecord(buf.data() + k);
      if (r.is_terminator()) {
        wfs::LinkSegments(run, params_.recordings);
        continue;
      }
      run.push_back(r);
      progress_.found_count += 1;
      progress_.found_bytes += r.size;
    }
    PostPosition(at / kReadChunk);
    PostFound(progress_);
  }
}

}  // namespace orvane
