// Reading a page of a Hikvision task back into recording entries.

#include <algorithm>
#include <vector>

#include "device/notify.h"
#include "engines/hikvision/hikvision_engine.h"
#include "engines/hikvision/hikvision_record.h"
#include "scan/extent_fits.h"
#include "scan/task_file.h"

namespace orvane {

using hikvision::kRecordSize;

namespace {
constexpr size_t kChunkRecords = 1000;
constexpr size_t kChunkBytes = kChunkRecords * kRecordSize;
}  // namespace

void HikvisionEngine::ReadTaskPage(int32_t page) {
  TaskReader reader;
  if (!reader.Open(params_.task_path)) return;
  if ((params_.mode != ScanModeFast && params_.mode != ScanModeDeep) ||
      (params_.version != 1 && params_.version != 2) || page < 0)
    return;
  progress_ = {};
  params_.head = reader.ReadHead();

  // The head's file length is a claim; the reader never goes past the real
  // file, so a damaged head cannot make this read or allocate beyond it.
  const int64_t end = reader.RecordsEnd(params_.head);
  int64_t position = kTaskHeadSize + static_cast<int64_t>(page) * hikvision::kRecordsPerPageBytes;
  if (position < end) {
    const int64_t in_page = std::min<int64_t>((end - position) / kRecordSize, kRecordsPerPage);
    params_.recordings.reserve(params_.recordings.size() + static_cast<size_t>(in_page));
  }
  std::vector<uint8_t> chunk(kChunkBytes);
  int64_t loaded = 0;
  while (position < end) {
    const auto want = static_cast<size_t>(std::min<int64_t>(kChunkBytes, end - position));
    std::fill(chunk.begin(), chunk.end(), 0);
    const size_t got = reader.ReadAt(position, chunk.data(), want);
    // Only whole records count: a file cut inside one ends the page there.
    for (size_t at = 0; at + kRecordSize <= got; at += kRecordSize) {
      const hikvision::TaskRecord r = hikvision::DecodeRecord(chunk.data() + at);
      if (r.length == 0) break;
      // Lengths and offsets no parse writes (a damaged file) name no recording.
      if (r.length < 0 || r.offset < 0 ||
          !ExtentFits(static_cast<uint64_t>(r.offset), static_cast<uint64_t>(r.length)))
        continue;
      RecordingEntry e;
      e.channel = r.channel;
      e.start_time = r.start_time;
      e.end_time = r.end_time;
      e.size = r.length;
      e.fragments.push_back({r.offset, static_cast<uint32_t>(r.length)});
      params_.recordings.push_back(std::move(e));
      progress_.found_bytes += r.length;
      progress_.found_count += 1;
      if (++loaded == kRecordsPerPage) {
        params_.stop.store(1);
        break;
      }
    }
    position += static_cast<int64_t>(want);
    PostFound(progress_);
    if (params_.stop_requested() || got < want) break;
  }
}

}  // namespace orvane
