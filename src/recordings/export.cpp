#include "recordings/export.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "device/byte_order.h"
#include "device/byte_range.h"
#include "device/notify.h"
#include "device/source_device.h"
#include "recordings/export_totals.h"
#include "recordings/recording_rows.h"
#include "scan/extent_fits.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane {

namespace {
constexpr uint32_t kDahuaHeaderMagic = 0x49494844;  // "DHII"
constexpr int64_t kNoChannelFolderFrom = 255;

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, data, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// After a failed chunk: reads it again in pieces, first of 64 KiB, then of a
// sector, and writes what could be read, leaving out what could not.
bool CopyReadable(SourceDevice& device, int64_t pos, int32_t chunk, std::vector<uint8_t>& buffer,
                  int fd, int64_t& written) {
  constexpr int32_t kPiece = 64 * 1024;
  for (int32_t at = 0; at < chunk; at += kPiece) {
    const int32_t piece = std::min(kPiece, chunk - at);
    device.Read(pos + at, buffer.data(), piece);
    if (device.ok()) {
      if (!WriteAll(fd, buffer.data(), static_cast<size_t>(piece))) return false;
      written += piece;
      continue;
    }
    for (int32_t s = 0; s < piece; s += kSectorSize) {
      const int32_t n = std::min<int32_t>(kSectorSize, piece - s);
      device.Read(pos + at + s, buffer.data(), n);
      if (!device.ok()) continue;
      if (!WriteAll(fd, buffer.data(), static_cast<size_t>(n))) return false;
      written += n;
    }
  }
  return true;
}

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

bool CopyFragment(const FragmentExtent& fragment, int64_t& written, const ScanParameters& p,
                  SourceDevice& device, int fd) {
  // A fragment that does not lie within device offsets (from a damaged task)
  // has nothing to read.
  if (fragment.offset < 0 || !ExtentFits(static_cast<uint64_t>(fragment.offset), fragment.length)) {
    PostError(kMsgReadFailed);
    return false;
  }
  const int64_t end = SaturatingAdd(fragment.offset, static_cast<int64_t>(fragment.length));
  std::vector<uint8_t> buffer(kExportChunk);
  for (int64_t pos = fragment.offset; pos < end;) {
    std::fill(buffer.begin(), buffer.end(), 0);
    const auto chunk = static_cast<int32_t>(std::min<int64_t>(end - pos, kExportChunk));
    device.Read(pos, buffer.data(), chunk);
    if (!device.ok()) {
      // A bad sector costs the file only the bytes that cannot be read, not
      // the rest of the recording.
      PostError(kMsgReadFailed);
      if (!CopyReadable(device, pos, chunk, buffer, fd, written)) {
        PostError(kMsgWriteTargetFailed);
        return false;
      }
      pos += chunk;
      PostPosition(written / kExportChunk);
      if (p.stop_requested()) return pos >= end;
      continue;
    }
    size_t skip = 0;
    if (p.brand == BrandDahua && p.mode == ScanModeFast && written == 0 &&
        LoadLE32(buffer.data()) == kDahuaHeaderMagic) {
      const uint32_t h = LoadLE32(buffer.data() + 4);
      if (h < static_cast<uint32_t>(chunk)) skip = h;
    }
    const size_t n = static_cast<size_t>(chunk) - skip;
    if (!WriteAll(fd, buffer.data() + skip, n)) {
      PostError(kMsgWriteTargetFailed);
      return false;
    }
    written += static_cast<int64_t>(n);
    pos += chunk;
    PostPosition(written / kExportChunk);
    if (p.stop_requested()) return pos >= end;
  }
  return true;
}

ExportedFile ExportRecording(const std::string& base_folder, const RecordingEntry& entry,
                             ScanParameters& p, SourceDevice& device, int64_t index) {
  ExportedFile result;
  result.path = BuildExportPath(p, entry, base_folder, index);
  const int fd = ::open(result.path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) {
    PostError(kMsgCreateTargetFailed);
    return result;
  }
  result.created = true;
  PostRange(entry.size / kExportChunk);
  bool complete = true;
  const uint32_t count = entry.fragments.size();
  for (uint32_t i = 0; i < count; ++i) {
    if (!CopyFragment(entry.fragments[i], result.written, p, device, fd)) {
      complete = false;
      break;
    }
    if (p.stop_requested()) {
      complete = i + 1 == count;
      break;
    }
  }
  if (::close(fd) != 0 && complete) {
    PostError(kMsgWriteTargetFailed);
    complete = false;
  }
  result.complete = complete;
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
      ExportedFile f =
          ExportRecording(request.base_folder, rows.Entry(row), p, device,
                          static_cast<int64_t>(rows.EntryIndex(row)));
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
    for (size_t r = 0; r < count; ++r) {
      if (p.stop_requested()) break;
      if (!rows.IsTicked(r)) continue;
      const RecordingEntry& entry = rows.Entry(r);
      ExportedFile f = ExportRecording(request.base_folder, entry, p, device,
                                       static_cast<int64_t>(rows.EntryIndex(r)));
      f.row = r;
      if (f.created && f.complete) {
        rows.SetTicked(r, false);
        totals.done_size += entry.size;
        totals.done_count += 1;
        Sink().Totals(totals);
      }
      if (on_file) on_file(f);
    }
  }
  PostInfo(kMsgExportDone);
}

}  // namespace orvane
