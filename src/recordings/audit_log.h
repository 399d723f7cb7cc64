#pragma once
// Every log line of the program since it started, kept apart from the log
// pane (which the user may clear), so that each export and backup can leave
// the whole story beside its files as orvane-log.txt.

#include <ctime>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orvane {

inline constexpr std::string_view kAuditLogName = "orvane-log.txt";

struct AuditLine {
  std::string type;
  std::string time;  // local time, "%Y-%m-%d %H-%M-%S"
  std::string text;
};

// Lines may come from the GUI thread and from workers at once.
class AuditLog {
 public:
  void Add(std::string_view type, std::string_view text, std::time_t when = std::time(nullptr));
  std::vector<AuditLine> Lines() const;

 private:
  mutable std::mutex mutex_;
  std::vector<AuditLine> lines_;
};

// Appends the lines to `folder`/orvane-log.txt, one tab-separated row each
// as the log pane exports them. False when the file cannot be written.
bool AppendAuditLog(const std::string& folder, const std::vector<AuditLine>& lines);

}  // namespace orvane
