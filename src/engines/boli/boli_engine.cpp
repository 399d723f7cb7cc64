#include "engines/boli/boli_engine.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "scan/bad_area_skip.h"
#include "scan/extent_fits.h"
#include "scan/salvage_read.h"
#include "scan/start_code_find.h"
#include "scan/survey_ahead.h"
#include "scan/task_file.h"
#include "scan/walk_reader.h"

namespace orvane {

namespace {

constexpr uint32_t kStartCode = 0x01000000;  // bytes 00 00 00 01
constexpr int64_t kPageBytes = kRecordsPerPage * static_cast<int64_t>(kBoliRecordSize);

// A frame of the task page waiting to be grouped; `seq` keeps the order of
// reading among frames of equal channel and time.
struct PageFrame {
  uint64_t offset;
  uint32_t size;
  uint32_t time;
  uint32_t packed;  // the time as it sorts, worked out once for the sort
  uint32_t seq;
  uint8_t channel;
};

}  // namespace

bool IsValidReversedTime(uint32_t v) {
  const uint32_t year = v & 63;
  const uint32_t month = (v >> 6) & 15;
  const uint32_t day = (v >> 10) & 31;
  const uint32_t hour = (v >> 15) & 31;
  const uint32_t minute = (v >> 20) & 63;
  const uint32_t second = v >> 26;
  return year >= 13 && year <= static_cast<uint32_t>(kLatestPlausibleYear - 2000) && month >= 1 &&
         month <= 12 && day >= 1 && hour <= 23 && minute <= 59 && second <= 59;
}

uint32_t ReversedToPacked(uint32_t v) {
  return ((v & 63) << 26) | (((v >> 6) & 15) << 22) | (((v >> 10) & 31) << 17) |
         (((v >> 15) & 31) << 12) | (((v >> 20) & 63) << 6) | (v >> 26);
}

bool IsBoliHeader(std::span<const uint8_t> s) {
  uint64_t first = 0, second = 0, third = 0;
  uint32_t mark = 0, last = 0;
  uint16_t fill = 0;
  if (!ReadLE64(s, 0x20, first) || !ReadLE64(s, 0x28, second) || !ReadLE64(s, 0x30, third) ||
      !ReadLE32(s, 0x40, mark) || !ReadLE16(s, 0x60, fill) || !ReadLE32(s, 0x67, last))
    return false;
  if (first < 0x2000) return false;
  if (second <= first || second % 512 != 0) return false;
  if (third <= second || third % 512 != 0) return false;
  return mark == 0x80000000u && fill == 0xFFFF && last % 512 == 0 && last >= 0x400;
}

bool IsBoliFrameHeader(const uint8_t* p) {
  if (LoadLE32(p + 16) != kStartCode) return false;
  const uint32_t length = LoadLE32(p + 4);
  return length >= kBoliMinPayload && length <= kBoliMaxPayload &&
         IsValidReversedTime(LoadLE32(p + 12));
}

void EncodeBoliRecord(const BoliFrameRecord& r, uint8_t* out) {
  out[0] = r.channel;
  StoreLE32(out + 1, r.size);
  StoreLE32(out + 5, r.time);
  StoreLE64(out + 9, r.offset);
}

BoliFrameRecord DecodeBoliRecord(const uint8_t* in) {
  return {in[0], LoadLE32(in + 1), LoadLE32(in + 5), LoadLE64(in + 9)};
}

void BoliEngine::Reset() {
  progress_ = {};
  pending_.clear();
  pending_.shrink_to_fit();
}

void BoliEngine::Scan() {
  Reset();
  SourceDevice device;
  device.Open(*params_.source);
  if (!device.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  const bool fast = params_.mode == ScanModeFast;
  if (params_.mode != ScanModeFast && params_.mode != ScanModeDeep) return;
  params_.head.time_kind = TimePackedReversed;
  PostInfo(fast ? "正在快速解析波粒监控录像..." : "正在深度解析波粒监控录像...");
  if (params_.version == 1 || params_.version == 2) CarveFrames(device);
  PostInfo(fast ? "快速解析波粒监控录像任务完成" : "深度解析波粒监控录像任务完成");
}

void BoliEngine::CarveFrames(SourceDevice& device) {
  TaskWriter writer;
  if (!writer.Open(params_)) return;

  const int64_t end = params_.region_end;
  int64_t position;
  if (params_.continue_flag) {
    position = params_.region_start;
  } else {
    // The grid of buffer steps is anchored at the smart value.
    const int64_t anchor = params_.smart_value;
    const int64_t start = params_.region_start;
    const int64_t step = params_.buffer > 0 ? params_.buffer : 1;
    position = start > anchor ? anchor + (start - anchor) / step * step : anchor;
  }
  position = std::max<int64_t>(position, 0);
  const int64_t first = position;

  PostRange(end / kStep);
  // Room for a flush's worth of frames at once: growing into it would copy
  // them into fresh memory again and again.
  try {
    pending_.reserve(kFlushAt + 1);
  } catch (const std::bad_alloc&) {
  }
  // Reads start on a sector boundary so that the device reads in one piece;
  // the bytes at the wanted position are handed out, zero behind the region
  // end, which is not the scan's to look at.
  WalkReader reader(device, [skip = params_.bad_area_skip](SourceDevice& dev, int64_t at, size_t n,
                                                           ScanBytes& buffer, bool& ok) {
    const UnitSpan read = UnitsHolding(at, static_cast<int64_t>(n), kSectorSize);
    const int64_t wanted = read.lead + static_cast<int64_t>(n);
    const size_t size = static_cast<size_t>(kReadSize) + kSectorSize;
    if (buffer.size() < size) buffer.resize(size);
    ok = skip ? skip->Read(dev, 0, read.begin, buffer.data(), static_cast<size_t>(read.length),
                           buffer.size())
              : ReadSalvaging(dev, read.begin, buffer.data(), static_cast<int32_t>(read.length));
    std::memset(buffer.data() + wanted, 0, buffer.size() - static_cast<size_t>(wanted));
    return buffer.data() + read.lead;
  });
  // A step without a start code holds no frame header for ScanBuffer.
  SurveyAhead ahead(SurveySource(params_),
                    SurveyAhead::Plan{position, end, kReadSize, true, kStep,
                                      kReadSize + static_cast<int32_t>(kSectorSize), 0},
                    [](const uint8_t* data, size_t) {
                      const size_t limit = static_cast<size_t>(kStep) + 19;
                      return FindOneBehindZeros(data, 19, limit, 3) < limit;
                    });
  while (position < end && !params_.stop_requested()) {
    const int64_t n = std::min<int64_t>(end - position, kReadSize);
    if (n < 1) break;
    if (ahead.Empty(position)) {
      if (params_.bad_area_skip) params_.bad_area_skip->NoteSectorsRead(device.Size(), position, n);
      position += kStep;
    } else {
      bool ok = true;
      const uint8_t* data = reader.Read(position, static_cast<size_t>(n), ok);
      if (!ok) {
        PostError(kMsgReadFailed);
        ahead.Stop();
      }
      position = ScanBuffer(device, std::span<const uint8_t>(data, kReadSize), position);
    }
    progress_.processed_bytes = position - first;
    PostFound(progress_);
    PostPosition(position / kStep);
    params_.head.scan_position = position;
    if (pending_.size() > kFlushAt) Flush(writer);
  }
  if (!params_.stop_requested()) params_.head.scan_position = end;
  Flush(writer);
  writer.Close();
}

int64_t BoliEngine::ScanBuffer(SourceDevice& device, std::span<const uint8_t> buffer,
                               int64_t position) {
  const uint8_t* base = buffer.data();
  // Every header position below kStep must have its 20 bytes in the buffer.
  if (buffer.size() < static_cast<size_t>(kStep) + kBoliFrameHeaderSize) return position + kStep;
  int64_t i = 0;
  while (i < kStep) {
    // Candidates are found by their start code: 00 00 00 01 ending at i + 19.
    const size_t limit = static_cast<size_t>(kStep) + 19;
    const size_t hit = FindOneBehindZeros(base, static_cast<size_t>(i) + 19, limit, 3);
    if (hit >= limit) {
      i = kStep;
      break;
    }
    const int64_t at = static_cast<int64_t>(hit) - 19;
    if (!IsBoliFrameHeader(base + at)) {
      i = at + 1;
      continue;
    }
    const uint32_t size = LoadLE32(base + at + 4) + 16;
    const int64_t next = at + size;
    uint8_t successor[kBoliFrameHeaderSize] = {};
    if (next < kStep) {
      std::memcpy(successor, base + next, sizeof successor);
    } else {
      device.Read(position + next, successor, sizeof successor);
      if (!device.ok()) std::memset(successor, 0, sizeof successor);
    }
    if (IsBoliFrameHeader(successor)) {
      pending_.push_back(
          {base[at + 2], size, LoadLE32(base + at + 12), static_cast<uint64_t>(position + at)});
      ++progress_.found_count;
      progress_.found_bytes += size;
      i = next;
    } else {
      i = at + 20;
    }
  }
  return position + i;
}

bool BoliEngine::Flush(TaskWriter& writer) {
  const bool ok = AppendRecords(writer, pending_, kBoliRecordSize, EncodeBoliRecord);
  pending_.clear();
  return ok;
}

void BoliEngine::ReadTaskPage(int32_t page) {
  TaskReader reader;
  if (!reader.Open(params_.task_path)) return;
  Reset();
  if ((params_.mode != ScanModeFast && params_.mode != ScanModeDeep) ||
      (params_.version != 1 && params_.version != 2) || page < 0)
    return;
  params_.head = reader.ReadHead();
  const int64_t end = reader.RecordsEnd(params_.head);
  int64_t position = kTaskHeadSize + static_cast<int64_t>(page) * kPageBytes;

  std::vector<PageFrame, ScanAllocator<PageFrame>> frames;
  frames.reserve(PageRecordCapacity(position, end, kBoliRecordSize));
  ReadPageRecords(
      reader, position, end, kBoliRecordSize, params_.stop,
      [&](const uint8_t* bytes) {
        const BoliFrameRecord r = DecodeBoliRecord(bytes);
        if (r.size == 0) return false;
        // A record no parse wrote (its bytes would not lie on any device)
        // names no frame; the records behind it still count.
        if (!ExtentFits(r.offset, r.size)) return true;
        const auto seq = static_cast<uint32_t>(frames.size());
        frames.push_back({r.offset, r.size, r.time, ReversedToPacked(r.time), seq, r.channel});
        progress_.found_bytes += r.size;
        ++progress_.found_count;
        return true;
      },
      [&] { PostFound(progress_); });

  // Channel first, then time, both unsigned; equal keys keep their order.
  std::sort(frames.begin(), frames.end(), [](const PageFrame& a, const PageFrame& b) {
    if (a.channel != b.channel) return a.channel < b.channel;
    if (a.packed != b.packed) return a.packed < b.packed;
    return a.seq < b.seq;
  });

  // GroupFrames: one channel per recording, closed past the size limit.
  RecordingEntry group;
  bool open = false;
  for (const PageFrame& f : frames) {
    if (open && (f.channel != group.channel || group.size > kGroupLimit)) {
      params_.recordings.push_back(std::move(group));
      group = RecordingEntry{};
      open = false;
    }
    if (!open) {
      group.channel = f.channel;
      group.start_time = f.time;
      group.size = 0;
      open = true;
    }
    group.size += f.size;
    group.end_time = f.time;
    group.fragments.push_back({static_cast<int64_t>(f.offset), f.size});
  }
  if (open) params_.recordings.push_back(std::move(group));
}

}  // namespace orvane
