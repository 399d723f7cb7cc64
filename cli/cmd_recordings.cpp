// orvane list / orvane export: the recording list, its filter and the export
// on the command line.

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>

#include "cli_common.h"
#include "media_handover.h"
#include "device/format_text.h"
#include "device/source_device.h"
#include "imaging/unread_areas.h"
#include "map_option.h"
#include "recordings/clock_offset.h"
#include "recordings/export.h"
#include "recordings/export_evidence.h"
#include "recordings/recording_rows.h"
#include "recordings/row_filter.h"
#include "recordings/row_text.h"
#include "scan/dispatch.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane::cli {

namespace {

constexpr int kExitStopped = 130;

struct ListOptions {
  std::string task;
  int page = 0;
  std::optional<std::string> channels;
  std::optional<std::string> from, to;
  std::optional<std::string> clock_offset;
  bool json = false;
  // export only
  std::string source;
  std::string out;
  std::optional<std::string> rows;
  std::string map;  // of a rescue copy: recordings lacking bytes are marked
  std::string format = "raw";
};

// "YYYY-MM-DD HH" as the filter's date pickers take it.
bool ParseHourText(const std::string& text, int64_t& key) {
  int y = 0, m = 0, d = 0, h = 0;
  char tail = 0;
  if (std::sscanf(text.c_str(), "%d-%d-%d %d%c", &y, &m, &d, &h, &tail) != 4) return false;
  if (y < 1970 || m < 1 || m > 12 || d < 1 || d > 31 || h < 0 || h > 23) return false;
  key = HourKey(y, m, d, h);
  return true;
}

// Reads the task head and one page into `p` and binds the rows; then applies
// the filters the options name. Returns an exit status, or -1 to go on.
int LoadAndFilter(const ListOptions& o, ScanParameters& p, RecordingRows& rows,
                  TerminalSink& terminal) {
  p.task_path = o.task;
  if (!ReadTaskHead(p, false)) return kExitFailed;
  ApplyTaskHead(p);
  if (o.page < 0) {
    PrintMessage("错误", "page must be 0 or more");
    return kExitUsage;
  }
  if (o.clock_offset) {
    const std::optional<int64_t> offset = ParseClockOffset(*o.clock_offset);
    if (!offset) {
      PrintMessage("错误", "--clock-offset takes ±HH:MM:SS, e.g. +00:03:12");
      return kExitUsage;
    }
    p.clock_offset = *offset;
  }
  std::optional<FilterSettings> by_date, by_channel;
  if (o.from || o.to) {
    FilterSettings s;
    s.mode = FilterByDate;
    s.clock_offset = p.clock_offset;
    if (!o.from || !o.to || !ParseHourText(*o.from, s.start_key) ||
        !ParseHourText(*o.to, s.end_key)) {
      PrintMessage("错误", "--from and --to take \"YYYY-MM-DD HH\", both of them");
      return kExitUsage;
    }
    if (!s.valid()) {
      PrintMessage("警告", kMsgFilterBadParameters);
      return kExitUsage;
    }
    by_date = s;
  }
  if (o.channels) {
    FilterSettings s;
    s.mode = FilterByChannel;
    s.channels = ParseChannelList(*o.channels);
    if (!s.valid()) {
      PrintMessage("警告", kMsgFilterBadParameters);
      return kExitUsage;
    }
    by_channel = s;
  }

  terminal.Text(NotifyCode::Info, "正在加载任务...");
  LoadTaskPage(p, o.page);
  terminal.FinishProgress();
  terminal.Text(NotifyCode::Info, "加载任务结束");
  rows.Bind(&p.recordings);
  // The page load leaves the stop flag set when it hit the page's cap.
  p.stop.store(0);
  if (by_date) FilterRows(rows, p.head.time_kind, *by_date, &p.stop);
  if (by_channel) FilterRows(rows, p.head.time_kind, *by_channel, &p.stop);
  return -1;
}

int ListCommand(const ListOptions& o) {
  TerminalSink terminal;
  ScopedNotifySink scoped(&terminal);
  std::shared_ptr<const RescueMap> map;
  if (!o.map.empty() && !LoadMapOption(o.map, map)) return kExitFailed;
  ScanParameters p;
  RecordingRows rows;
  if (int rc = LoadAndFilter(o, p, rows, terminal); rc >= 0) return rc;
  const int32_t pages = TaskPageCount(p);
  const uint8_t kind = p.head.time_kind;

  if (o.json) {
    nlohmann::json head = {{"brand", p.head.brand},       {"brand_name", BrandSlug(p.head.brand)},
                           {"mode", p.head.mode},         {"version", p.head.version},
                           {"time_kind", p.head.time_kind}, {"pages", pages},
                           {"page", o.page}};
    if (o.clock_offset) head["clock_offset"] = ClockOffsetText(p.clock_offset);
    // Streamed row by row: a page may hold 20,000,000 recordings.
    std::string text = head.dump();
    text.pop_back();
    std::fputs(text.c_str(), stdout);
    std::fputs(",\"recordings\":[", stdout);
    for (size_t r = 0; r < rows.size(); ++r) {
      const RecordingEntry& e = rows.Entry(r);
      nlohmann::json frags = nlohmann::json::array();
      for (const auto& f : e.fragments) frags.push_back({{"offset", f.offset}, {"length", f.length}});
      nlohmann::json j = {{"index", rows.EntryIndex(r)},
                          {"channel", e.channel},
                          {"size", e.size},
                          {"start", FormatTimeText(kind, e.start_time)},
                          {"end", FormatTimeText(kind, e.end_time)},
                          {"fragments", std::move(frags)},
                          {"found_by", FoundByText(e.found_by)}};
      if (o.clock_offset) {
        j["start_corrected"] = CorrectedTimeText(kind, e.start_time, p.clock_offset);
        j["end_corrected"] = CorrectedTimeText(kind, e.end_time, p.clock_offset);
      }
      if (map) j["missing_bytes"] = MissingBytes(*map, e);
      if (r) std::fputc(',', stdout);
      std::fputs(j.dump().c_str(), stdout);
    }
    std::fputs("]}\n", stdout);
    return kExitOk;
  }

  // Corrected times follow the recorder's, which stay as the recorder listed them.
  const std::string corrected_captions =
      std::string("\t") + kCorrectedStartCaption + "\t" + kCorrectedEndCaption;
  std::printf("%s\t%s\t%s\t%s\t%s\t%s\t%s%s%s\n", kRowColumnCaptions[0], kRowColumnCaptions[1],
              kRowColumnCaptions[2], kRowColumnCaptions[3], kRowColumnCaptions[4], "片段", "来源",
              map ? "\t缺失字节" : "", o.clock_offset ? corrected_captions.c_str() : "");
  for (size_t r = 0; r < rows.size(); ++r) {
    const RecordingEntry& e = rows.Entry(r);
    const RowTexts t = MakeRowTexts(e, static_cast<int64_t>(rows.EntryIndex(r)), kind);
    const std::string missing = map ? "\t" + std::to_string(MissingBytes(*map, e)) : "";
    std::string corrected;
    if (o.clock_offset)
      corrected = "\t" + CorrectedTimeText(kind, e.start_time, p.clock_offset) + "\t" +
                  CorrectedTimeText(kind, e.end_time, p.clock_offset);
    std::printf("%s\t%s\t%s\t%s\t%s\t%u\t%s%s%s\n", t.index.c_str(), t.channel.c_str(),
                t.size.c_str(), t.start.c_str(), t.end.c_str(), e.fragments.size(),
                std::string(FoundByText(e.found_by)).c_str(), missing.c_str(), corrected.c_str());
  }
  if (o.clock_offset)
    std::fprintf(stderr, "recorder clock offset %s: corrected = recorder time - offset\n",
                 ClockOffsetText(p.clock_offset).c_str());
  std::fprintf(stderr, "page %d of %d pages: %zu recordings shown\n", o.page, pages, rows.size());
  return kExitOk;
}

bool ParseRowList(const std::string& text, std::set<size_t>& out) {
  size_t at = 0;
  while (at <= text.size()) {
    const size_t comma = std::min(text.find(',', at), text.size());
    const std::string item = text.substr(at, comma - at);
    if (item.empty() || item.find_first_not_of("0123456789") != std::string::npos) return false;
    out.insert(static_cast<size_t>(std::stoull(item)));
    at = comma + 1;
  }
  return !out.empty();
}

int ExportCommand(const ListOptions& o) {
  if (o.format == "mp4" && !HasMediaLibraries()) return HandOverToMediaProgram();
  TerminalSink terminal;
  ScopedNotifySink scoped(&terminal);
  DeviceInfo device;
  if (!ResolveDevice(o.source, device)) return kExitFailed;
  std::shared_ptr<const RescueMap> map;
  if (!ApplyMapOption(o.map, device, map)) return kExitFailed;
  ScanParameters p;
  RecordingRows rows;
  if (int rc = LoadAndFilter(o, p, rows, terminal); rc >= 0) return rc;
  p.source = &device;

  if (o.rows) {
    std::set<size_t> wanted;
    if (!ParseRowList(*o.rows, wanted)) {
      PrintMessage("错误", "--rows takes row numbers as the list shows them, e.g. 0,4,7");
      return kExitUsage;
    }
    for (size_t r = 0; r < rows.size(); ++r)
      if (wanted.erase(rows.EntryIndex(r))) rows.SetTicked(r, true);
    if (!wanted.empty()) {
      PrintMessage("错误", "row " + std::to_string(*wanted.begin()) + " is not in the list");
      return kExitUsage;
    }
  } else {
    rows.SetAllTicked(true);
  }
  if (rows.TickedCount() == 0) {
    PrintMessage("警告", "文件列表中没有任何文件信息");
    return kExitOk;
  }
  if (!EnsureDirectory(o.out)) {
    PrintMessage("错误", kMsgCreateTargetFailed);
    return kExitFailed;
  }

  const size_t wanted = rows.TickedCount();
  size_t done = 0;
  int64_t bytes = 0;
  p.stop.store(0);
  InstallStopOnInterrupt(&p.stop);
  ExportRequest request;
  request.base_folder = o.out;
  request.mode = ExportTicked;
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  std::vector<EvidenceFile> evidence;
  request.format = o.format == "mp4" ? ExportFormat::Mp4 : ExportFormat::Raw;
  RunExport(p, rows, request, [&](const ExportedFile& f) {
    if (!f.created) return;
    evidence.push_back({static_cast<int64_t>(rows.EntryIndex(f.row)), &rows.Entry(f.row), f});
    terminal.FinishProgress();
    if (o.json) {
      files.push_back({{"row", rows.EntryIndex(f.row)},
                       {"path", f.path},
                       {"bytes", f.written},
                       {"complete", f.whole()},
                       {"unreadable_bytes", f.loss.unreadable},
                       {"missing_bytes_past_end", f.loss.past_end},
                       {"sha256", f.sha256}});
      if (f.whole()) {
        ++done;
        bytes += f.written;
      }
      return;
    }
    std::string line = f.path + "\t" + std::to_string(f.written);
    if (!f.complete) line += "\t(incomplete)";
    if (f.loss.unreadable > 0)
      line += "\t(" + std::to_string(f.loss.unreadable) + " bytes unreadable, written as zeros)";
    if (f.loss.past_end > 0)
      line += "\t(" + std::to_string(f.loss.past_end) + " bytes beyond the device end)";
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    // Only a file that holds every byte of its recording counts as exported.
    if (f.whole()) {
      ++done;
      bytes += f.written;
    }
  });
  InstallStopOnInterrupt(nullptr);
  terminal.FinishProgress();
  char summary[512];
  std::snprintf(summary, sizeof summary, "exported %zu of %zu recordings (%s) into %s", done,
                wanted, FormatSize(bytes).c_str(), o.out.c_str());
  std::fprintf(stderr, "%s\n", summary);
  CliLog().Add("信息", summary);
  // The report and the log are written also after a stop: they say what is
  // in the folder, complete or not.
  const bool recorded = RecordExportEvidence(p, o.out, evidence, CliLog().Lines());
  if (!recorded) PrintMessage("错误", "报告写入失败: " + o.out);
  if (o.json) {
    const nlohmann::ordered_json summary_json = {
        {"out", o.out},     {"recordings", wanted}, {"exported", done},
        {"bytes", bytes},   {"files", files},       {"stopped", p.stop_requested()},
        {"report", recorded}};
    std::printf("%s\n", summary_json.dump().c_str());
  }
  if (p.stop_requested()) return kExitStopped;
  if (!recorded) return kExitFailed;
  return done == wanted ? kExitOk : kExitFailed;
}

void AddFilterOptions(CLI::App* cmd, ListOptions& o) {
  cmd->add_option("TASK", o.task, "task file (.tak)")->required();
  cmd->add_option("--page", o.page, "page of the task (20,000,000 records each), from 0");
  cmd->add_option("--channels", o.channels, "keep these channels, e.g. 1-3 (channels 1 and 3)");
  cmd->add_option("--from", o.from,
                  "keep recordings from this hour: \"YYYY-MM-DD HH\" (corrected time when "
                  "--clock-offset is given)");
  cmd->add_option("--to", o.to, "... up to this hour: \"YYYY-MM-DD HH\"");
  cmd->add_option("--map", o.map,
                  "map of a rescue copy: its unread areas count as missing and are not read");
  cmd->add_option("--clock-offset", o.clock_offset,
                  "how far the recorder's clock was ahead of true time, ±HH:MM:SS; corrected "
                  "times (recorder time - offset) are shown beside the recorder's");
}

}  // namespace

void RegisterRecordingCommands(CLI::App& app, int& status) {
  auto lo = std::make_shared<ListOptions>();
  auto* list = app.add_subcommand("list", "List the recordings of a task page");
  AddFilterOptions(list, *lo);
  list->add_flag("--json", lo->json, "print one JSON object");
  list->callback([&status, lo] { status = ListCommand(*lo); });

  auto eo = std::make_shared<ListOptions>();
  auto* exp = app.add_subcommand("export", "Export recordings of a task page as video files");
  AddFilterOptions(exp, *eo);
  exp->add_option("--source", eo->source, "the device the task was parsed from")->required();
  exp->add_option("--out", eo->out, "base folder of the exported files")->required();
  exp->add_option("--rows", eo->rows, "rows to export, as the list numbers them (default: all)");
  exp->add_flag("--json", eo->json, "print one JSON object with every file written");
  exp->add_option("--format", eo->format, "raw: the recorder's own stream; mp4: remuxed video")
      ->check(CLI::IsMember({"raw", "mp4"}));
  exp->callback([&status, eo] { status = ExportCommand(*eo); });
}

}  // namespace orvane::cli
