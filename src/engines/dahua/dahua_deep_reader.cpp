// Loading deep-parse tasks: chunk records (version 1) and run records
// (version 2, page by page).

#include <algorithm>
#include <vector>

#include "device/notify.h"
#include "device/scan_bytes.h"
#include "engines/dahua/dahua_engine.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "scan/extent_fits.h"
#include "scan/page_quota.h"
#include "scan/task_file.h"

namespace orvane {

namespace {
constexpr size_t kChunkWindow = 0x200000;
// Room behind the window for the longest record a file can claim
// (32 fixed bytes and two counts of up to 255).
constexpr size_t kChunkSlack = 1024;
constexpr int64_t kRunPageBytes = kRecordsPerPage * static_cast<int64_t>(kDahuaRunRecordSize);
}  // namespace

void DahuaFamilyEngine::ReadChunkTask(TaskReader& in) {
  const int64_t end = in.file_size();
  std::vector<ChunkSummary> chunks;
  ScanBytes buf(kChunkWindow + kChunkSlack);
  PageQuota quota(params_.stop);
  for (int64_t p = kTaskHeadSize; p < end && !quota.full();) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(end - p, buf.size()));
    const size_t got = in.ReadAt(p, buf.data(), want);
    if (got == 0) break;
    const size_t limit = std::min(got, kChunkWindow);
    size_t off = 0;
    ChunkSummary s;
    while (off < limit) {
      const size_t size =
          DecodeChunkRecord(std::span<const uint8_t>(buf.data() + off, got - off), s);
      if (size == 0) break;  // a record cut off by the end of the file
      off += size;
      // A chunk of no bytes, or of bytes no device has, yields no fragment.
      if (s.length == 0 || !ExtentFits(static_cast<uint64_t>(s.offset), s.length)) continue;
      chunks.push_back(s);
      ++progress_.found_count;
      progress_.found_bytes += s.length;
      quota.Keep();
      if (quota.full()) break;
    }
    PostFound(progress_);
    if (off == 0) break;
    p += static_cast<int64_t>(off);
  }
  std::stable_sort(chunks.begin(), chunks.end(), [](const ChunkSummary& a, const ChunkSummary& b) {
    return a.first_time < b.first_time;
  });
  AssembleChunks(chunks, variant_.magic, params_.recordings);
}

void DahuaFamilyEngine::ReadRunTask(TaskReader& in, int32_t page) {
  const int64_t end = in.RecordsEnd(params_.head);
  if (page < 0) return;
  const int64_t first = kTaskHeadSize + static_cast<int64_t>(page) * kRunPageBytes;
  std::vector<FrameRun> runs;
  runs.reserve(PageRecordCapacity(first, end, kDahuaRunRecordSize));
  ReadPageRecords(
      in, first, end, kDahuaRunRecordSize, params_.stop,
      [&](const uint8_t* bytes) {
        const FrameRun r = DecodeRunRecord(bytes);
        if (r.length == 0) return false;
        // A run of bytes no device has comes from a damaged task.
        if (!ExtentFits(static_cast<uint64_t>(r.start), r.length)) return true;
        runs.push_back(r);
        progress_.found_bytes += r.length;
        ++progress_.found_count;
        return true;
      },
      [&] { PostFound(progress_); });
  std::stable_sort(runs.begin(), runs.end(), [](const FrameRun& a, const FrameRun& b) {
    return a.first_time < b.first_time;
  });
  AssembleRuns(runs, params_.recordings);
}

}  // namespace orvane
