#pragma once
// Writing recordings out of the source device into ordinary files: one file
// per recording, the plain concatenation of its fragments, under
//   BASE/channel N/YYYY-MM-DD/I-S-E.dav   (channels below 255)
//   BASE/YYYY-MM-DD/I-S-E.dav             (channels 255 and above)
// with I the row's number and S, E the start and end time texts.

#include <cstdint>
#include <functional>
#include <future>
#include <string>
#include <string_view>

#include "scan/recording_entry.h"

namespace orvane {

struct ScanParameters;
class SourceDevice;
class RecordingRows;
class HashingFile;

inline constexpr std::string_view kMsgExporting = "正在导出文件...";
inline constexpr std::string_view kMsgExportDone = "导出文件任务结束";
inline constexpr std::string_view kMsgCreateTargetFailed = "创建目标文件失败";
inline constexpr std::string_view kMsgWriteTargetFailed = "写入目标文件失败";
inline constexpr std::string_view kMsgExportUnreadable = "无法读取(已补零) 字节数:";
inline constexpr std::string_view kMsgExportPastEnd = "超出设备末尾 缺少字节数:";
inline constexpr int32_t kExportChunk = 2'097'152;

enum ExportMode : int32_t {
  ExportSingle = 1,  // the one row given
  ExportTicked = 2,  // every ticked row, unticking each one done
};

// What each recording's file holds: the recorder's own stream, or its video
// remuxed into an MP4.
enum class ExportFormat { Raw, Mp4 };

struct ExportRequest {
  std::string base_folder;
  int32_t mode = ExportTicked;
  int64_t row = -1;  // ExportSingle: the row (a position in RecordingRows)
  ExportFormat format = ExportFormat::Raw;
};

// Bytes of a recording that did not come from the source.
struct ReadLoss {
  int64_t unreadable = 0;  // inside the device but unreadable: zeros in the file
  int64_t past_end = 0;    // beyond the device end: not in the file at all
  bool none() const { return unreadable == 0 && past_end == 0; }
};

// What became of one recording.
struct ExportedFile {
  size_t row = 0;  // position in the rows
  std::string path;
  int64_t written = 0;    // bytes in the file
  bool created = false;   // the file could be made
  bool complete = false;  // every fragment was copied to its end, as far as
                          // the device allowed (see loss)
  ReadLoss loss;
  // The file holds the whole recording, every byte read from the device.
  bool whole() const { return created && complete && loss.none(); }
  std::string sha256;  // hex digest of the bytes written, when created
  // Set instead of sha256 while the digest is still being taken (an MP4 is
  // read back once the muxer is done); ExportRecordingAs waits for it unless
  // asked not to, RunExport while it writes the next recording.
  std::shared_future<std::string> sha256_later;
  void TakeDigest() {
    if (!sha256_later.valid()) return;
    sha256 = sha256_later.get();
    sha256_later = {};
  }
};

// Creates the folder and all missing parents. True when it exists afterwards.
bool EnsureDirectory(const std::string& path);

// The file path of a recording (making its folders on the way). Folders that
// cannot be made are not reported here: creating the file then fails. No
// part of the path is cut short, whatever its length.
std::string BuildExportPath(const ScanParameters& p, const RecordingEntry& entry,
                            const std::string& base_folder, int64_t index);

// Appends one fragment to the open file `out`, reading it in 2 MiB chunks and
// posting the position (written / 2 MiB) after each. A failed read posts
// "读取设备失败,可能存在坏道"; the chunk is then read again piece by piece
// and only its unreadable sectors are written as zeros. Bytes beyond the
// device end are not written. Both are added to `loss`. Dahua fast-parse
// recordings lose the "DHII" header block at their very start. Returns false
// when the file could not take the bytes or a stop cut the fragment short
// (the chunk in hand is still written).
bool CopyFragment(const FragmentExtent& fragment, int64_t& written, ReadLoss& loss,
                  const ScanParameters& p, SourceDevice& device, HashingFile& out);

// The line that tells of a recording's lost bytes, one per kind of loss;
// empty when there is none of that kind.
std::string UnreadableText(const ExportedFile& file);
std::string PastEndText(const ExportedFile& file);

// Writes one recording's file, truncating one of the same name. A file that
// cannot be created posts "创建目标文件失败". A stop leaves the partly
// written file in place (complete = false). Lost bytes are posted as one
// error line per recording and kind of loss.
ExportedFile ExportRecording(const std::string& base_folder, const RecordingEntry& entry,
                             ScanParameters& p, SourceDevice& device, int64_t index);

// The export job. Single mode exports the given row and leaves its tick
// alone. Ticked mode sends the totals (Sink().Totals) before it starts and
// after every recording done, and unticks each recording whose file was
// written to its end; one that could not be created, failed to be written, or
// was cut by a stop stays ticked and is not counted, so the ticked rows are
// always exactly those still to export. The stop flag of the parameters is
// polled between chunks, fragments and rows. `on_file` hears of every file
// tried, in order.
void RunExport(ScanParameters& p, RecordingRows& rows, const ExportRequest& request,
               const std::function<void(const ExportedFile&)>& on_file = {});

}  // namespace orvane
