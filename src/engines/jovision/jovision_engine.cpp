#include "engines/jovision/jovision_engine.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "device/byte_order.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "scan/extent_fits.h"
#include "scan/page_quota.h"
#include "scan/salvage_read.h"
#include "scan/survey_ahead.h"
#include "scan/task_file.h"

namespace orvane {

namespace {

constexpr int64_t kPageBytes = kRecordsPerPage * static_cast<int64_t>(kJvsFileRecordSize);
constexpr size_t kWriteBatch = 0x200000;
constexpr int32_t kAreaHeadRead = 0x200000;

// Areas [A0, A0 + K areas) cover the region; A0 is the start of the area
// that holds the region start. A region end inside an area still covers that
// area up to the end, so the tail of a disk whose size is not a whole number
// of areas is scanned as well.
struct AreaSpan {
  int64_t first = 0;
  int64_t count = 0;
};
AreaSpan AreasOf(int64_t region_start, int64_t region_end) {
  AreaSpan s;
  s.first = std::max<int64_t>(region_start, 0) / kJvsAreaSize * kJvsAreaSize;
  if (region_end > s.first) s.count = (region_end - s.first + kJvsAreaSize - 1) / kJvsAreaSize;
  return s;
}

}  // namespace

bool IsJvsArea(std::span<const uint8_t> h) {
  uint32_t a = 0, b = 0;
  return ReadLE32(h, 0, a) && a == kJvsAreaMagic && ReadLE32(h, 0x14000, b) &&
         b == kJvsAreaMagic && h.size() > 0x14004 && h[0x14004] == 4;
}

uint32_t JvsEndTime(uint32_t start, uint32_t duration_ms) {
  return start + duration_ms / 1000 + (duration_ms % 1000 != 0 ? 1 : 0);
}

bool ParseJvsIndexBlock(std::span<const uint8_t> buf, size_t at, JvsRecording& out) {
  if (!FieldFits(buf.size(), at, kJvsIndexBlockSize)) return false;
  const uint8_t* b = buf.data() + at;
  if (LoadLE32(b) != kJvsIndexBlockType) return false;
  const uint32_t n = LoadLE16(b + 0xE0);
  if (n < 1 || n > kJvsMaxPieces) return false;
  out.channel = static_cast<uint8_t>(b[0x4E] + 1);
  out.size = LoadLE32(b + 0x54);
  out.start = LoadLE32(b + 0x58);
  out.end = JvsEndTime(out.start, LoadLE32(b + 0x44));
  out.pieces.clear();
  out.pieces.reserve(n);
  for (uint32_t k = 0; k < n; ++k) {
    const uint8_t* e = b + 0xE4 + 20 * k;
    const int64_t area = LoadLE16(e);
    const uint32_t trim = 32u * LoadLE16(e + 2);
    const uint32_t length = LoadLE32(e + 12);
    // A trim longer than the piece leaves nothing of it rather than a
    // length wrapped round to gigabytes.
    out.pieces.push_back({area * kJvsAreaSize + LoadLE32(e + 8), length > trim ? length - trim : 0});
  }
  return true;
}

void EncodeJvsRecording(const JvsRecording& r, std::vector<uint8_t>& out) {
  const size_t at = out.size();
  out.resize(at + kJvsRecordingHeadSize + kJvsPieceSize * r.pieces.size());
  uint8_t* p = out.data() + at;
  StoreLE32(p, r.size);
  p[4] = r.channel;
  StoreLE32(p + 5, r.start);
  StoreLE32(p + 9, r.end);
  StoreLE32(p + 13, static_cast<uint32_t>(r.pieces.size()));
  p += kJvsRecordingHeadSize;
  for (const auto& piece : r.pieces) {
    StoreLE64(p, static_cast<uint64_t>(piece.offset));
    StoreLE32(p + 8, piece.length);
    p += kJvsPieceSize;
  }
}

size_t DecodeJvsRecording(std::span<const uint8_t> bytes, JvsRecording& out) {
  if (bytes.size() < kJvsRecordingHeadSize) return 0;
  const uint8_t* p = bytes.data();
  const uint32_t n = LoadLE32(p + 13);
  // The count is checked against the bytes there before anything is sized
  // by it.
  if (n > (bytes.size() - kJvsRecordingHeadSize) / kJvsPieceSize) return 0;
  out.size = LoadLE32(p);
  out.channel = p[4];
  out.start = LoadLE32(p + 5);
  out.end = LoadLE32(p + 9);
  out.pieces.clear();
  out.pieces.reserve(n);
  for (uint32_t k = 0; k < n; ++k) {
    const uint8_t* e = p + kJvsRecordingHeadSize + kJvsPieceSize * k;
    out.pieces.push_back({static_cast<int64_t>(LoadLE64(e)), LoadLE32(e + 8)});
  }
  return kJvsRecordingHeadSize + kJvsPieceSize * n;
}

bool IsJvsFileStart(std::span<const uint8_t> buf, size_t at) {
  if (!FieldFits(buf.size(), at, 0x31)) return false;
  const uint8_t* s = buf.data() + at;
  if (s[0] != 'J' || s[1] != 'V' || s[2] != 'S') return false;
  const uint32_t h = s[5] | (s[6] << 8) | (s[7] << 16);
  if (h < 64 || h > 256) return false;
  if (!FieldFits(buf.size(), at + h, 0x25)) return false;
  const uint8_t* t = s + h;
  return t[0x10] == 'J' && t[0x11] == 'V' && t[0x12] == 'S' && t[0x20] == 0 && t[0x21] == 0 &&
         t[0x22] == 0 && t[0x23] == 1 && (t[0x24] & 0xF0) == 0x60;
}

void EncodeJvsFileRecord(const JvsFileRecord& r, uint8_t* out) {
  StoreLE64(out, r.offset);
  StoreLE32(out + 8, r.size);
  out[12] = r.channel;
  out[13] = 0;
}

JvsFileRecord DecodeJvsFileRecord(const uint8_t* in) {
  return {LoadLE64(in), LoadLE32(in + 8), in[12]};
}

void JovisionEngine::Reset() {
  progress_ = {};
  recordings_.clear();
  files_.clear();
  files_.shrink_to_fit();
  pending_pieces_ = 0;
}

void JovisionEngine::Scan() {
  Reset();
  SourceDevice device;
  device.Open(*params_.source);
  if (!device.is_open()) {
    PostError(kMsgOpenSourceFailed);
    return;
  }
  if (params_.mode == ScanModeFast) {
    params_.head.time_kind = TimeUnixCalendar;
    PostInfo("正在快速解析中维JVS监控录像...");
    ScanAreas(device);
    PostInfo("快速解析中维JVS监控录像任务完成");
  } else if (params_.mode == ScanModeDeep) {
    params_.head.time_kind = TimeKindNone;
    PostInfo("正在深度解析中维JVS监控录像...");
    ScanSectors(device);
    PostInfo("深度解析中维JVS监控录像任务完成");
  }
}

void JovisionEngine::ScanAreas(SourceDevice& device) {
  TaskWriter writer;
  if (!writer.Open(params_)) return;
  const int64_t end = params_.region_end;
  const AreaSpan areas = AreasOf(params_.region_start, end);
  PostRange(areas.count);
  std::vector<uint8_t> head(kAreaHeadRead);
  for (int64_t k = 0; k < areas.count && !params_.stop_requested(); ++k) {
    const int64_t area = areas.first + k * kJvsAreaSize;
    PostPosition(k);
    if (!ReadSalvaging(device, area, head.data(), kAreaHeadRead)) PostError(kMsgReadFailed);
    if (IsJvsArea(head)) ScanIndex(device, writer, area, end);
    const int64_t reached = std::min(area + kJvsAreaSize, end);
    params_.head.scan_position = reached;
    progress_.processed_bytes = reached - areas.first;
    PostFound(progress_);
  }
  if (!params_.stop_requested()) params_.head.scan_position = end;
  WriteRecordings(writer);
  writer.Close();
}

void JovisionEngine::ScanIndex(SourceDevice& device, TaskWriter& writer, int64_t area,
                               int64_t end) {
  // Each step reads 48 KiB more than it scans, so that a block that starts
  // before the 2 MiB mark is whole.
  std::vector<uint8_t> buffer(kIndexReadSize);
  JvsRecording rec;
  for (int64_t d = 0; d < kJvsAreaSize && area + d < end; d += kStep) {
    if (!ReadSalvaging(device, area + d, buffer.data(), kIndexReadSize)) PostError(kMsgReadFailed);
    for (size_t i = 0; i < static_cast<size_t>(kStep);) {
      if (ParseJvsIndexBlock(buffer, i, rec)) {
        progress_.found_count += static_cast<int64_t>(rec.pieces.size());
        progress_.found_bytes += rec.size;
        pending_pieces_ += static_cast<int64_t>(rec.pieces.size());
        PostFound(progress_);
        recordings_.push_back(std::move(rec));
        rec = JvsRecording{};
        i += kJvsIndexBlockSize;
      } else {
        i += kSectorSize;
      }
    }
    if (pending_pieces_ > kPiecesFlushAt) {
      WriteRecordings(writer);
      pending_pieces_ = 0;
    }
  }
}

void JovisionEngine::WriteRecordings(TaskWriter& writer) {
  std::vector<uint8_t> bytes;
  bytes.reserve(kWriteBatch);
  for (const auto& r : recordings_) {
    const size_t need = kJvsRecordingHeadSize + kJvsPieceSize * r.pieces.size();
    if (!bytes.empty() && bytes.size() + need > kWriteBatch) {
      writer.Append(bytes);
      bytes.clear();
    }
    EncodeJvsRecording(r, bytes);
  }
  if (!bytes.empty()) {
    writer.Append(bytes);
  } else {
    writer.WriteHead();
  }
  recordings_.clear();
}

void JovisionEngine::ScanSectors(SourceDevice& device) {
  TaskWriter writer;
  if (!writer.Open(params_)) return;
  const int64_t end = params_.region_end;
  const AreaSpan areas = AreasOf(params_.region_start, end);
  PostRange(areas.count);
  ScanBytes buffer(kSectorReadSize);
  // A step whose sectors start no file holds nothing for the loop below
  // (the survey looks at the whole step, also behind the region's end).
  SurveyAhead ahead(SurveySource(params_),
                    SurveyAhead::Plan{areas.first, end, kSectorReadSize, false, kStep,
                                      kSectorReadSize, device.Size()},
                    [](const uint8_t* data, size_t length) {
                      const std::span<const uint8_t> step(data, length);
                      for (size_t j = 0; j < static_cast<size_t>(kStep); j += kSectorSize)
                        if (data[j] == 'J' && IsJvsFileStart(step, j)) return true;
                      return false;
                    });
  for (int64_t k = 0; k < areas.count && !params_.stop_requested(); ++k) {
    const int64_t area = areas.first + k * kJvsAreaSize;
    PostPosition(k);
    for (int64_t d = 0; d < kJvsAreaSize && area + d < end; d += kStep) {
      const int64_t at = area + d;
      if (ahead.Empty(at)) {
        progress_.processed_bytes = std::min(at + kStep, end) - areas.first;
        PostFound(progress_);
        continue;
      }
      if (!ReadSalvaging(device, at, buffer.data(), kSectorReadSize)) {
        PostError(kMsgReadFailed);
        ahead.Stop();
      }
      const size_t limit = static_cast<size_t>(std::min<int64_t>(kStep, end - at));
      for (size_t j = 0; j < limit; j += kSectorSize) {
        if (buffer[j] != 'J' || !IsJvsFileStart(buffer, j)) continue;
        const JvsFileRecord r{static_cast<uint64_t>(at) + j, LoadLE32(&buffer[j + 0x24]),
                              static_cast<uint8_t>(buffer[j + 0x30] + 1)};
        files_.push_back(r);
        ++progress_.found_count;
        progress_.found_bytes += r.size;
      }
      progress_.processed_bytes = std::min(at + kStep, end) - areas.first;
      PostFound(progress_);
    }
    if (files_.size() > kFilesFlushAt) WriteFiles(writer);
    params_.head.scan_position = std::min(area + kJvsAreaSize, end);
  }
  if (!params_.stop_requested()) params_.head.scan_position = end;
  WriteFiles(writer);
  writer.Close();
}

void JovisionEngine::WriteFiles(TaskWriter& writer) {
  AppendRecords(writer, files_, kJvsFileRecordSize, EncodeJvsFileRecord);
  files_.clear();
}

void JovisionEngine::ReadTaskPage(int32_t page) {
  TaskReader reader;
  if (!reader.Open(params_.task_path)) return;
  Reset();
  params_.head = reader.ReadHead();
  if (params_.mode == ScanModeFast) {
    ReadRecordings(reader);
  } else if (params_.mode == ScanModeDeep && page >= 0) {
    ReadFiles(reader, page);
  }
}

void JovisionEngine::ReadRecordings(TaskReader& reader) {
  const int64_t end = reader.RecordsEnd(params_.head);
  int64_t position = kTaskHeadSize;
  std::vector<uint8_t> buffer(kWriteBatch);
  JvsRecording rec;
  PageQuota quota(params_.stop);
  while (position < end && !params_.stop_requested()) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(end - position, kWriteBatch));
    const size_t got = reader.ReadAt(position, buffer.data(), want);
    size_t used = 0;
    while (true) {
      const size_t n = DecodeJvsRecording(
          std::span<const uint8_t>(buffer.data() + used, got - used), rec);
      if (n == 0) break;
      used += n;
      // Pieces of no bytes, or of bytes no device has, yield no fragment; a
      // record left without pieces is no recording.
      std::erase_if(rec.pieces, [](const FragmentExtent& f) {
        return f.length == 0 || !ExtentFits(static_cast<uint64_t>(f.offset), f.length);
      });
      if (rec.pieces.empty()) continue;
      RecordingEntry e;
      e.channel = rec.channel;
      e.start_time = rec.start;
      e.end_time = rec.end;
      e.size = rec.size;
      for (const auto& piece : rec.pieces) e.fragments.push_back(piece);
      params_.recordings.push_back(std::move(e));
      ++progress_.found_count;
      progress_.found_bytes += rec.size;
      quota.Keep();
      if (quota.full()) break;
    }
    PostFound(progress_);
    // A record that does not fit into a whole read never will: it claims
    // more pieces than any read holds, or the file ends inside it. Reading
    // the same place again would never end.
    if (used == 0) break;
    position += static_cast<int64_t>(used);
  }
}

void JovisionEngine::ReadFiles(TaskReader& reader, int32_t page) {
  const int64_t end = reader.RecordsEnd(params_.head);
  int64_t position = kTaskHeadSize + static_cast<int64_t>(page) * kPageBytes;
  std::vector<JvsFileRecord> files;
  files.reserve(PageRecordCapacity(position, end, kJvsFileRecordSize));
  ReadPageRecords(
      reader, position, end, kJvsFileRecordSize, params_.stop,
      [&](const uint8_t* bytes) {
        const JvsFileRecord r = DecodeJvsFileRecord(bytes);
        if (r.size == 0) return false;
        // A record no parse wrote (its bytes would not lie on any device)
        // names no file; the records behind it still count.
        if (!ExtentFits(r.offset, r.size)) return true;
        files.push_back(r);
        progress_.found_bytes += r.size;
        ++progress_.found_count;
        return true;
      },
      [&] { PostFound(progress_); });

  // GroupFiles: by channel, in reading order within a channel. A group runs
  // on across a channel change and keeps the channel of its first file; only
  // the size limit closes it.
  std::array<uint32_t, 257> starts{};
  for (const auto& f : files) ++starts[f.channel + 1];
  for (size_t c = 1; c < starts.size(); ++c) starts[c] += starts[c - 1];
  std::vector<uint32_t> order(files.size());
  for (uint32_t k = 0; k < files.size(); ++k) order[starts[files[k].channel]++] = k;

  RecordingEntry group;
  bool open = false;
  for (uint32_t k : order) {
    const JvsFileRecord& f = files[k];
    if (!open) {
      group.channel = f.channel;
      open = true;
    }
    group.size += f.size;
    group.fragments.push_back({static_cast<int64_t>(f.offset), f.size});
    if (group.size > kGroupLimit) {
      params_.recordings.push_back(std::move(group));
      group = RecordingEntry{};
      open = false;
    }
  }
  if (open) params_.recordings.push_back(std::move(group));
}

}  // namespace orvane
