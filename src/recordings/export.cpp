#include "recordings/export.h"

#include <algorithm>
#include <filesystem>
#include <vector>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/scan_bytes.h"
#include "device/source_device.h"
#include "recordings/export_formats.h"
#include "recordings/export_totals.h"
#include "recordings/hashing.h"
#include "recordings/recording_rows.h"
#include "scan/extent_fits.h"
#include "scan/salvage_read.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane {

namespace {
constexpr uint32_t kDahuaHeaderMagic = 0x49494844;  // "DHII"
constexpr int64_t kNoChannelFolderFrom = 255;

std::string TrimBase(std::string base) {
  while (base.size() > 1 && base.back() == '/') base.pop_back();
  return base;
}
}  // namespace

bool EnsureDirectory(const std::string& path) {
  if (path.empty()) return false;
  std::error_code ec;
  std::filesystem::create_directories(path, ec);
  return std::filesystem::is_directory(path, ec);
}

std::string BuildExportPath(const ScanParameters& p, const RecordingEntry& entry,
                            const std::string& base_folder, int64_t index) {
  const uint8_t kind = p.head.time_kind;
  const std::string start = FormatTimeText(kind, entry.start_time);
  const std::string end = FormatTimeText(kind, entry.end_time);
  const std::string date = FormatDateText(kind, entry.start_time);
  std::string folder = TrimBase(base_folder);
  if (entry.channel < kNoChannelFolderFrom) {
    folder += "/channel " + std::to_string(entry.channel);
    EnsureDirectory(folder);
  }
  // Without a time kind the date is empty and so is its folder level.
  if (!date.empty()) folder += "/" + date;
  EnsureDirectory(folder);
  return folder + "/" + std::to_string(index) + "-" + start + "-" + end + ".dav";
}

bool CopyFragment(const FragmentExtent& fragment, int64_t& written, ReadLoss& loss,
                  const ScanParameters& p, SourceDevice& device, HashingFile& out) {
  // A fragment that does not lie within device offsets (from a damaged task)
  // has nothing to read.
  if (fragment.offset < 0 || !ExtentFits(static_cast<uint64_t>(fragment.offset), fragment.length)) {
    PostError(kMsgReadFailed);
    return false;
  }
  int64_t end = SaturatingAdd(fragment.offset, static_cast<int64_t>(fragment.length));
  // What lies beyond the device end is not there to copy: it is counted,
  // not read chunk by chunk into one error line each.
  const int64_t size = device.Size();
  if (size > 0 && end > size) {
    loss.past_end += end - std::max(fragment.offset, size);
    end = size;
  }
  ScanBytes buffer(kExportChunk);
  for (int64_t pos = fragment.offset; pos < end;) {
    const auto chunk = static_cast<int32_t>(std::min<int64_t>(end - pos, kExportChunk));
    device.Read(pos, buffer.data(), chunk);
    int32_t got = chunk;
    if (device.ok()) {
      // Short only when the medium ends before the size it gave.
      got = device.read_length();
      if (got < chunk) {
        loss.past_end += end - (pos + got);
        end = pos + got;
      }
    } else {
      // A bad sector costs the file only the bytes that cannot be read; they
      // stay zero, so that everything behind them keeps its place.
      PostError(kMsgReadFailed);
      loss.unreadable += RecoverFailedRead(device, pos, buffer.data(), chunk);
    }
    size_t skip = 0;
    if (p.brand == BrandDahua && p.mode == ScanModeFast && written == 0 && got >= 8 &&
        LoadLE32(buffer.data()) == kDahuaHeaderMagic) {
      const uint32_t h = LoadLE32(buffer.data() + 4);
      if (h < static_cast<uint32_t>(got)) skip = h;
    }
    const size_t n = static_cast<size_t>(got) - skip;
    if (!out.Write(buffer.data() + skip, n)) {
      PostError(kMsgWriteTargetFailed);
      return false;
    }
    written += static_cast<int64_t>(n);
    pos += got;
    PostPosition(written / kExportChunk);
    if (p.stop_requested()) return pos >= end;
  }
  return true;
}

std::string UnreadableText(const ExportedFile& file) {
  if (file.loss.unreadable <= 0) return {};
  return std::string(kMsgExportUnreadable) + std::to_string(file.loss.unreadable) +
         " 文件:" + file.path;
}

std::string PastEndText(const ExportedFile& file) {
  if (file.loss.past_end <= 0) return {};
  return std::string(kMsgExportPastEnd) + std::to_string(file.loss.past_end) + " 文件:" + file.path;
}

ExportedFile ExportRecording(const std::string& base_folder, const RecordingEntry& entry,
                             ScanParameters& p, SourceDevice& device, int64_t index) {
  ExportedFile result;
  result.path = BuildExportPath(p, entry, base_folder, index);
  HashingFile out;
  if (!out.Create(result.path)) {
    PostError(kMsgCreateTargetFailed);
    return result;
  }
  result.created = true;
  PostRange(entry.size / kExportChunk);
  bool complete = true;
  const uint32_t count = entry.fragments.size();
  for (uint32_t i = 0; i < count; ++i) {
    if (!CopyFragment(entry.fragments[i], result.written, result.loss, p, device, out)) {
      complete = false;
      break;
    }
    if (p.stop_requested()) {
      complete = i + 1 == count;
      break;
    }
  }
  const bool closed = out.Close();
  result.sha256 = out.Sha256();
  if (!closed && complete) {
    PostError(kMsgWriteTargetFailed);
    complete = false;
  }
  result.complete = complete;
  if (const std::string t = UnreadableText(result); !t.empty()) PostError(t);
  if (const std::string t = PastEndText(result); !t.empty()) PostError(t);
  return result;
}

void RunExport(ScanParameters& p, RecordingRows& rows, const ExportRequest& request,
               const std::function<void(const ExportedFile&)>& on_file) {
  PostInfo(kMsgExporting);
  SourceDevice device;
  if (p.source) device.Open(*p.source, kGenericRead);
  if (!p.source || !device.is_open()) {
    PostError(kMsgOpenSourceFailed);
    PostInfo(kMsgExportDone);
    return;
  }
  if (request.mode == ExportSingle) {
    if (request.row >= 0 && static_cast<size_t>(request.row) < rows.size()) {
      const auto row = static_cast<size_t>(request.row);
      ExportedFile f = ExportRecordingAs(request.format, request.base_folder, rows.Entry(row), p,
                                         device, static_cast<int64_t>(rows.EntryIndex(row)));
      f.row = row;
      if (on_file) on_file(f);
    }
  } else if (request.mode == ExportTicked) {
    ExportTotals totals;
    const size_t count = rows.size();
    for (size_t r = 0; r < count; ++r) {
      if (!rows.IsTicked(r)) continue;
      totals.total_count += 1;
      totals.total_size += rows.Entry(r).size;
    }
    Sink().Totals(totals);
    // A file whose digest is still being taken is handed on after the next
    // recording is written, the two overlapping.
    ExportedFile held;
    bool holding = false;
    auto hand_on = [&] {
      if (!holding) return;
      held.TakeDigest();
      if (on_file) on_file(held);
      holding = false;
    };
    for (size_t r = 0; r < count; ++r) {
      if (p.stop_requested()) break;
      if (!rows.IsTicked(r)) continue;
      const RecordingEntry& entry = rows.Entry(r);
      ExportedFile f = ExportRecordingAs(request.format, request.base_folder, entry, p, device,
                                         static_cast<int64_t>(rows.EntryIndex(r)), true);
      f.row = r;
      if (f.created && f.complete) {
        rows.SetTicked(r, false);
        totals.done_size += entry.size;
        totals.done_count += 1;
        Sink().Totals(totals);
      }
      hand_on();
      held = std::move(f);
      holding = true;
      if (!held.sha256_later.valid()) hand_on();
    }
    hand_on();
  }
  PostInfo(kMsgExportDone);
}

}  // namespace orvane
