#pragma once
// What an export leaves beside its video files so that a reviewer can check
// it: report.html (self-contained, prints on A4), report.csv (one row per
// recording), report.json, SHA256SUMS (`sha256sum -c SHA256SUMS` in the
// folder) and the program's log lines appended to orvane-log.txt.

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "device/device_info.h"
#include "recordings/audit_log.h"
#include "recordings/export.h"
#include "scan/task_head.h"

namespace orvane {

inline constexpr std::string_view kReportHtmlName = "report.html";
inline constexpr std::string_view kReportCsvName = "report.csv";
inline constexpr std::string_view kReportJsonName = "report.json";
inline constexpr std::string_view kChecksumsName = "SHA256SUMS";

// One exported recording: the entry as loaded (owned by the loaded list,
// which outlives the report) and what became of its file.
struct EvidenceFile {
  int64_t index = 0;  // the row number the list shows and the file name has
  const RecordingEntry* entry = nullptr;
  ExportedFile file;
};

struct ExportEvidence {
  std::string program = "orvane";
  std::string version;
  std::time_t exported_at = 0;
  std::string base_folder;
  DeviceInfo source;
  std::string source_sha256;  // the source image's hashes, when known
  std::string source_md5;
  TaskHead head;
  std::string task_path;
  std::string task_sha256;
  std::optional<int64_t> clock_offset;  // seconds the recorder ran ahead
  std::vector<EvidenceFile> files;
};

// Summary figures of the report.
struct EvidenceSummary {
  std::map<int64_t, int64_t> per_channel;  // recordings per channel
  int64_t total_duration = 0;              // seconds, over recordings with both times
  int64_t total_size = 0;                  // bytes as the engines computed them
  int64_t total_written = 0;               // bytes in the files
  std::optional<int64_t> first;            // seconds since 1970, recorder time
  std::optional<int64_t> last;
};

// The program's version as the window title shows it.
std::string ProgramVersion();

// The evidence of one export that just ran: program, time, task hash, image
// hashes beside an image source, the given files. `exported` lists the files
// in the order they were tried.
ExportEvidence CollectExportEvidence(const ScanParameters& p, const std::string& base_folder,
                                     const std::vector<EvidenceFile>& exported);

EvidenceSummary Summarise(const ExportEvidence& e);

// The hash a "<hex>  <name>" checksum file beside `image_path` holds for
// it (IMAGE.sha256 / IMAGE.md5); empty when there is none.
std::string ChecksumBeside(const std::string& image_path, std::string_view extension);

// Writes the three reports, SHA256SUMS (the exported files and the reports)
// and appends `log` to orvane-log.txt, all in the base folder. Returns false
// when any of them could not be written.
bool WriteExportEvidence(const ExportEvidence& e, const std::vector<AuditLine>& log);

// Both steps at once, for the export that just ran on `p`: what the CLI,
// the export dialog and any other export call when they are done.
bool RecordExportEvidence(const ScanParameters& p, const std::string& base_folder,
                          const std::vector<EvidenceFile>& exported,
                          const std::vector<AuditLine>& log);

// The single files; each returns false when it cannot be written.
bool WriteReportHtml(const ExportEvidence& e, const EvidenceSummary& s, const std::string& path);
bool WriteReportCsv(const ExportEvidence& e, const std::string& path);
bool WriteReportJson(const ExportEvidence& e, const EvidenceSummary& s, const std::string& path);

// Texts the reports share.
std::string RelativeToBase(const ExportEvidence& e, const std::string& path);
std::string LocalTimeText(std::time_t t);  // "YYYY-MM-DD HH:MM:SS +hhmm"
std::string UtcTimeText(std::time_t t);    // "YYYY-MM-DDTHH:MM:SSZ"

}  // namespace orvane
