#include "parse_summary.h"

#include <cstdio>

#include "cli_common.h"
#include "device/format_text.h"
#include "scan/parse_job.h"
#include "scan/task_head.h"

namespace orvane::cli {

void RunParseJobOnTerminal(ScanParameters& p, WorkerFlags& flags, TerminalSink& terminal) {
  ParseJobHooks hooks;
  std::string last_status;
  hooks.status_line = [&](std::string_view text) {
    last_status = text;
    terminal.Text(NotifyCode::Status, text);
  };
  hooks.log_info = [&](std::string_view text) {
    if (text != last_status) terminal.Text(NotifyCode::Info, text);
    last_status.clear();
  };
  RunParseJob(p, flags, hooks);
}

bool DeepParseStoppedEarly(const ScanParameters& p) {
  return p.mode == ScanModeDeep && p.head.scan_position < p.head.region_end;
}

nlohmann::ordered_json ParseSummaryJson(const ScanParameters& p, const std::string& identified_by) {
  int64_t bytes = 0;
  for (const auto& e : p.recordings) bytes += e.size;
  nlohmann::ordered_json j = {
      {"task", p.task_path},
      {"brand", p.brand},
      {"brand_name", BrandSlug(p.brand)},
      {"identified_by",
       identified_by.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(identified_by)},
      {"mode", p.mode == ScanModeDeep ? "deep" : "fast"},
      {"version", p.version},
      {"recordings_on_page_0", p.recordings.size()},
      {"bytes_on_page_0", bytes},
      {"pages", TaskPageCount(p)}};
  if (p.mode == ScanModeDeep) {
    j["scan_position"] = p.head.scan_position;
    j["region_end"] = p.head.region_end;
    j["stopped_early"] = DeepParseStoppedEarly(p);
  }
  return j;
}

void PrintParseSummary(const ScanParameters& p, bool json, const std::string& identified_by,
                       bool offer_continue) {
  if (json) {
    std::printf("%s\n", ParseSummaryJson(p, identified_by).dump().c_str());
    return;
  }
  int64_t bytes = 0;
  for (const auto& e : p.recordings) bytes += e.size;
  std::printf("task: %s\n", p.task_path.c_str());
  std::printf("recordings on page 0: %zu (%s), pages: %d\n", p.recordings.size(),
              FormatSize(bytes).c_str(), TaskPageCount(p));
  if (p.mode == ScanModeDeep) {
    std::printf("scanned up to sector %lld of %lld\n",
                static_cast<long long>(p.head.scan_position / kSectorSize),
                static_cast<long long>(p.head.region_end / kSectorSize));
    if (offer_continue && DeepParseStoppedEarly(p))
      std::printf("stopped early: resume with --continue --task %s\n", p.task_path.c_str());
  }
}

}  // namespace orvane::cli
