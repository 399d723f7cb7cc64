#include "recordings/audit_log.h"

#include <cstdio>

#include "scan/status_texts.h"

namespace orvane {

void AuditLog::Add(std::string_view type, std::string_view text, std::time_t when) {
  AuditLine line{std::string(type), LogTimeText(when), std::string(text)};
  std::lock_guard<std::mutex> lock(mutex_);
  lines_.push_back(std::move(line));
}

std::vector<AuditLine> AuditLog::Lines() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return lines_;
}

bool AppendAuditLog(const std::string& folder, const std::vector<AuditLine>& lines) {
  const std::string path = folder + "/" + std::string(kAuditLogName);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return false;
  bool ok = true;
  for (const AuditLine& l : lines) {
    const std::string row = LogExportLine(l.type, l.time, l.text);
    ok = ok && std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  return std::fclose(f) == 0 && ok;
}

}  // namespace orvane
