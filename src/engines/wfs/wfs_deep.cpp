// Deep parse: every block of the region, summarised, and the readers of its
// two task bodies.

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "engines/wfs/wfs_blocks.h"
#include "engines/wfs/wfs_chain.h"
#include "engines/wfs/wfs_engine.h"
#include "engines/wfs/wfs_format.h"
#include "engines/wfs/wfs_read.h"
#include "scan/extent_fits.h"
#include "scan/page_quota.h"
#include "scan/salvage_read.h"
#include "scan/task_file.h"
#include "scan/window_reader.h"

namespace orvane {

namespace {
constexpr size_t kWriteBatch = 0x200000;
constexpr int64_t kBlockChunk = 0x200200;
constexpr int64_t kBlockChunkStarts = 0x200000;

// First block of the grid X + k * B at or before the region start.
int64_t FirstBlock(int64_t grid, int64_t start, int64_t step) {
  int64_t p = start > grid ? grid + (start - grid) / step * step : grid;
  if (p < 0) p += (-p + step - 1) / step * step;
  return p;
}
}  // namespace

void WfsEngine::DeepParse(SourceDevice& device) {
  TaskWriter task;
  if (!task.Open(params_)) return;
  const int64_t step = params_.buffer;
  int64_t at = params_.continue_flag ? params_.region_start
                                     : FirstBlock(params_.smart_value, params_.region_start,
                                                  std::max<int64_t>(step, 1));
  PostRange(step > 0 ? params_.region_end / step : 0);

  if (step <= 0 || step > INT32_MAX - 512) {
    PostError("错误编码：008");
    return;
  }
  const uint32_t length = static_cast<uint32_t>(step);
  const size_t whole = static_cast<size_t>(step) + 512;

  std::vector<wfs::BlockRecord> found;
  {
    // Every block is read whole, also the last one of the region; the 512
    // bytes behind it stay zero.
    WindowPlan plan;
    plan.start = at;
    plan.end = params_.region_end;
    plan.read_bytes = static_cast<int32_t>(step);
    plan.clip_to_end = false;
    plan.step = static_cast<int32_t>(step);
    plan.capacity = static_cast<int32_t>(whole);
    plan.device_size = device.Size();
    plan.skip = params_.bad_area_skip;
    // A block without a start code is no video, whatever else it holds.
    plan.known_clear = params_.detection_clear.get();
    plan.survey_source = SurveySource(params_);
    plan.survey = [whole](const uint8_t* data, size_t) {
      return wfs::FindStartCode(std::span<const uint8_t>(data, whole), 0) < whole;
    };
    // A block's notes are its record, none when it holds no video.
    plan.notes = [whole, length](const uint8_t* data, size_t, int64_t position,
                                 std::vector<uint8_t>& notes) {
      wfs::BlockRecord r;
      if (wfs::SummariseBlock(static_cast<uint64_t>(position),
                              std::span<const uint8_t>(data, whole), length, r))
        wfs::EncodeBlockRecord(r, notes);
    };
    WindowReader reader(device, plan, SalvageFailedRead);
    if (!reader.usable()) {
      PostError("错误编码：008");
      return;
    }
    WindowReader::Window w;
    while (!params_.stop_requested() && reader.Next(w)) {
      if (!w.ok) PostError(kMsgReadFailed);
      at = w.position;
      wfs::BlockRecord r;
      bool video = false;
      if (w.notes) {
        size_t used = 0;
        video = !w.notes->empty() &&
                wfs::DecodeBlockRecord(*w.notes, r, used) == wfs::DecodeResult::Ok;
      } else {
        video = !w.clear && wfs::SummariseBlock(static_cast<uint64_t>(at),
                                                std::span<const uint8_t>(w.data, whole), length, r);
      }
      if (video) {
        found.push_back(r);
        progress_.found_count += 1;
        progress_.found_bytes += step;
      }
      PostPosition(at / step);
      progress_.processed_bytes += step;
      PostFound(progress_);
      at = SaturatingAdd(at, step);
      // How far the scan has worked: a resumed scan starts with the next block
      // and never records this one twice.
      params_.head.scan_position = std::min(at, params_.region_end);
    }
  }
  if (!params_.stop_requested()) params_.head.scan_position = params_.region_end;

  std::vector<uint8_t> out;
  out.reserve(kWriteBatch);
  auto flush = [&] {
    task.Append(out);
    out.clear();
  };
  if (params_.version == 2) {
    for (const auto& t : wfs::TimedExtentsOf(found)) {
      if (out.size() + wfs::kV2RecordSize > kWriteBatch) flush();
      const size_t n = out.size();
      out.resize(n + wfs::kV2RecordSize);
      wfs::EncodeTimedExtent(t, out.data() + n);
    }
  } else {
    for (const auto& r : found) {
      if (out.size() + r.EncodedSize() > kWriteBatch) flush();
      wfs::EncodeBlockRecord(r, out);
    }
  }
  flush();
}

void WfsEngine::ReadDeepBlocks(TaskReader& task) {
  const int64_t end = task.RecordsEnd(params_.head);
  std::vector<wfs::BlockRecord> blocks;
  ScanBytes buf(kBlockChunk);
  PageQuota quota(params_.stop);
  int64_t at = kTaskHeadSize;
  while (at < end && !quota.full()) {
    const int64_t chunk = std::min(end - at, kBlockChunk);
    const size_t got = task.ReadAt(at, buf.data(), static_cast<size_t>(chunk));
    const std::span<const uint8_t> bytes(buf.data(), got);
    const size_t starts = static_cast<size_t>(std::min<int64_t>(chunk, kBlockChunkStarts));
    size_t k = 0;
    while (k < starts && k < got) {
      wfs::BlockRecord r;
      size_t used = 0;
      const auto result = wfs::DecodeBlockRecord(bytes.subspan(k), r, used);
      if (result == wfs::DecodeResult::Short) break;
      k += used;
      if (result != wfs::DecodeResult::Ok) continue;
      // A block of no bytes, or of bytes no device has, yields no fragment.
      if (r.length == 0 || !ExtentFits(r.offset, r.length)) continue;
      blocks.push_back(r);
      progress_.found_count += 1;
      progress_.found_bytes += r.length;
      quota.Keep();
      if (quota.full()) break;
    }
    PostFound(progress_);
    // A record that does not fit even a fresh chunk ends the body.
    if (k == 0) break;
    at += static_cast<int64_t>(k);
  }
  std::stable_sort(blocks.begin(), blocks.end(),
                   [](const wfs::BlockRecord& a, const wfs::BlockRecord& b) {
                     return a.first_time < b.first_time;
                   });
  wfs::AssembleBlocks(blocks, params_.recordings);
}

void WfsEngine::ReadDeepExtents(TaskReader& task, int32_t page) {
  const int64_t end = task.RecordsEnd(params_.head);
  int64_t at = SaturatingAdd(
      kTaskHeadSize,
      SaturatingMul(std::max(page, 0), kRecordsPerPage * int64_t{wfs::kV2RecordSize}));
  std::vector<wfs::TimedExtent> records;
  records.reserve(PageRecordCapacity(at, end, wfs::kV2RecordSize));
  ReadPageRecords(
      task, at, end, wfs::kV2RecordSize, params_.stop,
      [&](const uint8_t* bytes) {
        const wfs::TimedExtent r = wfs::DecodeTimedExtent(bytes);
        if (r.length == 0) return false;
        // A block of bytes no device has comes from a damaged task.
        if (!ExtentFits(r.offset, r.length)) return true;
        records.push_back(r);
        progress_.found_bytes += r.length;
        progress_.found_count += 1;
        return true;
      },
      [&] { PostFound(progress_); });
  wfs::GroupByTime(records, params_.recordings);
}

}  // namespace orvane
