// orvane parse: the parse dialog on the command line.

#include <cstdio>
#include <memory>
#include <optional>

#include "brand_choice.h"
#include "cli_common.h"
#include "device/format_text.h"
#include "device/source_device.h"
#include "parse_summary.h"
#include "scan/dispatch.h"
#include "map_option.h"
#include "scan/parse_job.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "scan/worker_flags.h"

namespace orvane::cli {

namespace {

// A run cut short by Ctrl-C: what was done is kept, and can be resumed.
constexpr int kExitStopped = 130;
// Below a sector the deep scan's grid steps crawl over the disk.
constexpr int64_t kMinBuffer = 512;

// Forwards to the terminal and remembers whether the run failed as a whole
// (nothing could be opened or created) or was refused by the engine (not its
// brand, a buffer it cannot scan with), as opposed to bad sectors on the way.
class ParseSink final : public NotifySink {
 public:
  explicit ParseSink(TerminalSink& inner) : inner_(inner) {}
  void Text(NotifyCode code, std::string_view text) override {
    if (code == NotifyCode::Error &&
        (text == kMsgOpenSourceFailed || text == kMsgCreateTaskFailed || text == kMsgOpenTaskFailed))
      fatal_ = true;
    if (code == NotifyCode::Error && IsParseRefusal(text)) refused_ = true;
    inner_.Text(code, text);
  }
  void Found(const ScanProgress& progress) override { inner_.Found(progress); }
  void Range(int64_t steps) override { inner_.Range(steps); }
  void Position(int64_t step) override { inner_.Position(step); }
  void Totals(const ExportTotals& totals) override { inner_.Totals(totals); }
  bool fatal() const { return fatal_; }
  bool refused() const { return refused_; }

 private:
  TerminalSink& inner_;
  bool fatal_ = false;
  bool refused_ = false;
};

struct ParseOptions {
  std::string device;
  std::string brand;
  std::string mode;
  int version = 1;
  std::optional<std::string> start, end, buffer;
  std::optional<int64_t> smart;
  bool continue_run = false;
  std::string task;
  bool json = false;
  std::string map;
};

int UsageError(const std::string& text) {
  PrintMessage("错误", text);
  return kExitUsage;
}

int RunParseCommand(const ParseOptions& o) {
  if (o.buffer) {
    const int64_t buffer = EditValue(*o.buffer);
    if (buffer < kMinBuffer || buffer > INT32_MAX) {
      // The dialog's refusal, and what the dialog would not say: the range.
      PrintMessage("警告", kMsgBadParameters);
      return UsageError("--buffer takes " + std::to_string(kMinBuffer) + " to " +
                        std::to_string(INT32_MAX) + " bytes");
    }
  }
  if (o.continue_run && o.mode == "fast")
    return UsageError("--continue resumes a deep parse; a fast parse starts anew");

  DeviceInfo device;
  if (!ResolveDevice(o.device, device)) return kExitFailed;
  if (device.size <= 0) {
    SourceDevice probe;
    probe.Open(device);
    device.size = probe.Size();
  }
  if (o.smart) {
    // A grid anchor lies on the device; beyond it, or negative, it only
    // sends the scan's reads where there is nothing.
    const int64_t last = device.size > 0 ? device.size / kSectorSize - 1 : INT64_MAX / kSectorSize;
    if (*o.smart < 0 || *o.smart > last)
      return UsageError("--smart takes a sector from 0 to " + std::to_string(last));
  }
  std::shared_ptr<const RescueMap> map;
  if (!ApplyMapOption(o.map, device, map)) return kExitFailed;

  ScanParameters p;
  p.source = &device;
  ParseRequest r;
  r.start_text = "0";
  r.end_text = std::to_string(device.size / kSectorSize);
  r.buffer_text = std::to_string(kDefaultBuffer);
  int32_t brand = o.brand.empty() ? 0 : BrandFromText(o.brand);
  std::string mode = o.mode;
  int version = o.version;

  if (o.continue_run) {
    // As when the task file is chosen in the dialog: the head gives the
    // brand, mode and version, and the region still to scan.
    p.task_path = o.task;
    if (ReadTaskHead(p, true)) {
      if (p.head.mode == ScanModeFast)
        return UsageError("--continue resumes a deep parse; " + o.task +
                          " holds a fast parse, which starts anew without --continue");
      if (o.brand.empty()) brand = p.head.brand;
      if (mode.empty()) mode = p.head.mode == ScanModeFast ? "fast" : p.head.mode == ScanModeDeep ? "deep" : "";
      if (version == 0) version = p.head.version;
      r.start_text = std::to_string(p.head.scan_position / kSectorSize);
      r.end_text = std::to_string(p.head.region_end / kSectorSize);
      r.buffer_text = std::to_string(p.head.buffer);
    }
  }
  if (version == 0) version = 1;
  std::string identified_by;
  if (brand == 0 && o.brand.empty()) {
    const BrandChoice choice = ChooseBrand(device, o.device);
    if (choice.brand == 0) return kExitFailed;
    brand = choice.brand;
    identified_by = choice.how;
  }
  if (o.start) r.start_text = *o.start;
  if (o.end) r.end_text = *o.end;
  if (o.buffer) r.buffer_text = *o.buffer;
  r.fast_checked = mode == "fast";
  r.deep_checked = mode == "deep";
  r.version1_checked = version != 2;
  r.brand = brand;
  r.continue_run = o.continue_run;
  r.path_text = o.task;

  WorkerFlags flags;
  const StartResult start = ValidateParseStart(r, p, flags);
  if (start.warning == kMsgTaskOnSource) {
    PrintMessage("错误", start.warning);
    return kExitFailed;
  }
  if (!start.started) {
    PrintMessage("警告", start.warning);
    return kExitUsage;
  }
  if (o.smart) p.user_smart_value = *o.smart * kSectorSize;

  TerminalSink terminal;
  terminal.set_total_bytes(p.mode == ScanModeDeep ? p.region_end - p.region_start : 0);
  ParseSink sink(terminal);
  ScopedNotifySink scoped(&sink);
  InstallStopOnInterrupt(&p.stop);

  RunParseJobOnTerminal(p, flags, terminal);
  InstallStopOnInterrupt(nullptr);
  terminal.FinishProgress();

  if (sink.fatal()) return kExitFailed;
  // A refused scan ends short of its region too, but going on would meet
  // the same refusal.
  const bool refused = sink.refused();
  PrintParseSummary(p, o.json, identified_by, !refused);
  if (refused) return kExitFailed;
  return DeepParseStoppedEarly(p) ? kExitStopped : kExitOk;
}

}  // namespace

void RegisterParseCommands(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand("parse", "Parse a device for one recorder brand into a task file");
  auto o = std::make_shared<ParseOptions>();
  o->version = 0;
  cmd->add_option("DEVICE", o->device, "disk image or /dev node")->required();
  cmd->add_option("--brand", o->brand,
                  "hikvision, dahua, wfs, boli, huayi, meidianbell, jovision, zhiling or 1..8 "
                  "(default: recognised from the device)");
  cmd->add_option("--mode", o->mode, "fast (the recorder's index) or deep (every block)");
  cmd->add_option("--version", o->version, "variant of the deep parse: 1 or 2 (default 1)")
      ->check(CLI::IsMember({1, 2}));
  cmd->add_option("--start", o->start, "first sector of a deep parse (default 0)");
  cmd->add_option("--end", o->end, "end sector, exclusive (default: the device size / 512)");
  cmd->add_option("--buffer", o->buffer, "step of the deep scan grid in bytes (default 2097152)");
  cmd->add_option("--smart", o->smart, "smart value in sectors for this parse");
  cmd->add_flag("--continue", o->continue_run,
                "append to an existing deep-parse task, resuming where it stopped");
  cmd->add_option("--task", o->task, "task file to write (.tak)")->required();
  cmd->add_flag("--json", o->json, "print the summary as one JSON object");
  cmd->add_option("--map", o->map, "map of a rescue copy of DEVICE: its unread areas are not read");
  cmd->callback([&status, o] { status = RunParseCommand(*o); });
}

}  // namespace orvane::cli
