#include "recordings/export_evidence.h"

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "recordings/clock_offset.h"
#include "recordings/hashing.h"
#include "scan/scan_parameters.h"

#ifndef ORVANE_VERSION
#define ORVANE_VERSION "0"
#endif

namespace orvane {

std::string ProgramVersion() { return ORVANE_VERSION; }

std::string ChecksumBeside(const std::string& image_path, std::string_view extension) {
  std::ifstream in(image_path + std::string(extension));
  std::string hex;
  if (!(in >> hex)) return {};
  // A damaged or foreign file is no hash of ours.
  for (char c : hex)
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return {};
  return hex;
}

ExportEvidence CollectExportEvidence(const ScanParameters& p, const std::string& base_folder,
                                     const std::vector<EvidenceFile>& exported) {
  ExportEvidence e;
  e.version = ProgramVersion();
  e.exported_at = std::time(nullptr);
  e.base_folder = base_folder;
  while (e.base_folder.size() > 1 && e.base_folder.back() == '/') e.base_folder.pop_back();
  if (p.source) {
    e.source = *p.source;
    e.source.backend.reset();
    e.source.partitions.clear();
    if (e.source.kind == kDeviceKindImage) {
      e.source_sha256 = ChecksumBeside(e.source.OpenPath(), ".sha256");
      e.source_md5 = ChecksumBeside(e.source.OpenPath(), ".md5");
    }
  }
  e.head = p.head;
  e.task_path = p.task_path;
  if (!p.task_path.empty()) e.task_sha256 = DigestOfFile(p.task_path, DigestKind::Sha256);
  if (p.clock_offset != 0) e.clock_offset = p.clock_offset;
  e.files = exported;
  return e;
}

EvidenceSummary Summarise(const ExportEvidence& e) {
  EvidenceSummary s;
  const uint8_t kind = e.head.time_kind;
  for (const EvidenceFile& f : e.files) {
    if (!f.entry) continue;
    s.per_channel[f.entry->channel] += 1;
    s.total_size += f.entry->size;
    s.total_written += f.file.written;
    const auto start = TimeWordSeconds(kind, f.entry->start_time);
    const auto end = TimeWordSeconds(kind, f.entry->end_time);
    if (start && end && *end >= *start) s.total_duration += *end - *start;
    if (start && (!s.first || *start < *s.first)) s.first = start;
    if (end && (!s.last || *end > *s.last)) s.last = end;
  }
  return s;
}

std::string RelativeToBase(const ExportEvidence& e, const std::string& path) {
  const std::filesystem::path rel =
      std::filesystem::path(path).lexically_relative(std::filesystem::path(e.base_folder));
  if (rel.empty() || *rel.begin() == "..") return path;
  return rel.generic_string();
}

std::string LocalTimeText(std::time_t t) {
  std::tm tm{};
  char buf[64] = {};
  if (localtime_r(&t, &tm)) std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S %z", &tm);
  return buf;
}

std::string UtcTimeText(std::time_t t) {
  std::tm tm{};
  char buf[64] = {};
  if (gmtime_r(&t, &tm)) std::strftime(buf, sizeof buf, "%Y-%m-%dT%H:%M:%SZ", &tm);
  return buf;
}

namespace {

bool WriteChecksums(const ExportEvidence& e) {
  const std::string path = e.base_folder + "/" + std::string(kChecksumsName);
  std::FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  bool ok = true;
  auto put = [&](const std::string& hex, const std::string& name) {
    if (hex.empty()) return;
    const std::string line = ChecksumLine(hex, name);
    ok = ok && std::fwrite(line.data(), 1, line.size(), out) == line.size();
  };
  for (const EvidenceFile& f : e.files)
    if (f.file.created) put(f.file.sha256, RelativeToBase(e, f.file.path));
  // The reports are sealed with the files they describe.
  for (std::string_view name : {kReportHtmlName, kReportCsvName, kReportJsonName}) {
    const std::string report(name);
    put(DigestOfFile(e.base_folder + "/" + report, DigestKind::Sha256), report);
  }
  return std::fclose(out) == 0 && ok;
}

}  // namespace

bool WriteExportEvidence(const ExportEvidence& e, const std::vector<AuditLine>& log) {
  const EvidenceSummary s = Summarise(e);
  const std::string base = e.base_folder + "/";
  bool ok = WriteReportHtml(e, s, base + std::string(kReportHtmlName));
  ok = WriteReportCsv(e, base + std::string(kReportCsvName)) && ok;
  ok = WriteReportJson(e, s, base + std::string(kReportJsonName)) && ok;
  ok = WriteChecksums(e) && ok;
  ok = AppendAuditLog(e.base_folder, log) && ok;
  return ok;
}

bool RecordExportEvidence(const ScanParameters& p, const std::string& base_folder,
                          const std::vector<EvidenceFile>& exported,
                          const std::vector<AuditLine>& log) {
  return WriteExportEvidence(CollectExportEvidence(p, base_folder, exported), log);
}

}  // namespace orvane
