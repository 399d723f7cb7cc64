// orvane recover: from a disk to its exported recordings in one command. The
// brand is recognised unless given, the recorder's index is read (fast
// parse), every block is scanned (deep parse) when the index gives nothing
// or when asked, and every recording found is exported. The task files stay
// in the output folder for later list and export runs; a run stopped by
// Ctrl-C is resumed by running the same command again.

#include <sys/stat.h>

#include <chrono>
#include <deque>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "brand_choice.h"
#include "cli_common.h"
#include "media_handover.h"
#include "device/format_text.h"
#include "device/source_device.h"
#include "parse_summary.h"
#include "recordings/export.h"
#include "recordings/export_evidence.h"
#include "recordings/hashing.h"
#include "recordings/recording_rows.h"
#include "scan/dispatch.h"
#include "scan/parse_job.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"
#include "scan/worker_flags.h"

namespace orvane::cli {

namespace {

constexpr int kExitStopped = 130;
constexpr const char* kFastTaskName = "fast.tak";
constexpr const char* kDeepTaskName = "deep.tak";

struct RecoverOptions {
  std::string device;
  std::string out;
  std::string brand;
  std::string format = "raw";
  bool deep = false;
  bool json = false;
};

// Forwards to the terminal and remembers whether a parse failed as a whole
// (nothing could be opened or created), as opposed to bad sectors on the way.
class FatalWatch final : public NotifySink {
 public:
  explicit FatalWatch(TerminalSink& inner) : inner_(inner) {}
  void Text(NotifyCode code, std::string_view text) override {
    if (code == NotifyCode::Error && (text == kMsgOpenSourceFailed ||
                                      text == kMsgCreateTaskFailed || text == kMsgOpenTaskFailed))
      fatal_ = true;
    inner_.Text(code, text);
  }
  void Found(const ScanProgress& progress) override { inner_.Found(progress); }
  void Range(int64_t steps) override { inner_.Range(steps); }
  void Position(int64_t step) override { inner_.Position(step); }
  void Totals(const ExportTotals& totals) override { inner_.Totals(totals); }
  bool fatal() const { return fatal_; }
  void reset() { fatal_ = false; }

 private:
  TerminalSink& inner_;
  bool fatal_ = false;
};

// Everything one run did, for the closing summary.
struct RecoverOutcome {
  int32_t brand = 0;
  std::string identified_by;
  nlohmann::ordered_json parses = nlohmann::ordered_json::array();
  nlohmann::ordered_json files = nlohmann::ordered_json::array();
  size_t exported = 0;
  size_t wanted = 0;
  int64_t bytes = 0;
  bool stopped = false;
};

// How one parse is to run.
struct ParseStep {
  int32_t mode = ScanModeFast;
  std::string task;
  bool resume = false;  // a deep parse going on from its task's scan position
};

class Recovery {
 public:
  Recovery(const RecoverOptions& o, DeviceInfo& device) : o_(o), device_(device), sink_(terminal_) {
    p_.source = &device_;
  }

  int Run();

 private:
  // False when the parse failed as a whole.
  bool Parse(const ParseStep& step);
  // Whether the deep task left in the folder by an earlier run goes on.
  bool ResumableDeepTask(const std::string& task);
  bool ExportAll();
  // The case record of a complete recovery (the reports, the checksums of
  // every exported file, the log) is written from here, the one point where
  // the task files and exported files are final. False when it could not be.
  bool WriteCaseRecord();
  // One exported (or kept) file for the case record. The entry is copied:
  // the rows it came from are replaced page by page.
  void NoteExported(int64_t index, const RecordingEntry& entry, const ExportedFile& file);
  void PrintSummary() const;
  bool Interrupted() const { return interrupted_.load() != 0; }

  const RecoverOptions& o_;
  DeviceInfo& device_;
  ScanParameters p_;
  TerminalSink terminal_;
  FatalWatch sink_;
  RecoverOutcome outcome_;
  std::deque<RecordingEntry> evidence_entries_;  // stable addresses for evidence_
  std::vector<EvidenceFile> evidence_;
  // Ctrl-C lands here rather than on the parameters' stop flag, which a
  // parse clears when it starts and a page load sets at its cap; a watcher
  // passes it on to the flag the running job polls.
  std::atomic<int32_t> interrupted_{0};
  std::jthread watcher_{[this](std::stop_token done) {
    while (!done.stop_requested()) {
      if (interrupted_.load() != 0) p_.stop.store(1);
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }};
};

bool Recovery::Parse(const ParseStep& step) {
  ParseRequest r;
  r.start_text = step.resume ? std::to_string(p_.head.scan_position / kSectorSize) : "0";
  r.end_text = step.resume ? std::to_string(p_.head.region_end / kSectorSize)
                           : std::to_string(device_.size / kSectorSize);
  r.buffer_text = std::to_string(step.resume ? p_.head.buffer : kDefaultBuffer);
  r.fast_checked = step.mode == ScanModeFast;
  r.deep_checked = step.mode == ScanModeDeep;
  r.version1_checked = !step.resume || p_.head.version != 2;
  r.brand = outcome_.brand;
  r.continue_run = step.resume;
  r.path_text = step.task;

  WorkerFlags flags;
  const StartResult start = ValidateParseStart(r, p_, flags);
  if (!start.started) {
    PrintMessage("警告", start.warning);
    return false;
  }
  terminal_.set_total_bytes(p_.mode == ScanModeDeep ? p_.region_end - p_.region_start : 0);
  sink_.reset();
  RunParseJobOnTerminal(p_, flags, terminal_);
  terminal_.FinishProgress();
  if (sink_.fatal()) return false;
  outcome_.parses.push_back(ParseSummaryJson(p_, outcome_.identified_by));
  if (!o_.json) PrintParseSummary(p_, false, outcome_.identified_by);
  return true;
}

bool Recovery::ResumableDeepTask(const std::string& task) {
  p_.task_path = task;
  if (!ReadTaskHead(p_, true)) return false;
  const TaskHead& h = p_.head;
  if (h.mode != ScanModeDeep || h.brand < BrandHikvision || h.brand > BrandZhiling) return false;
  // A brand named now that differs from the task's starts afresh.
  if (!o_.brand.empty() && BrandFromText(o_.brand) != h.brand) return false;
  return h.region_end > 0 && h.scan_position >= 0 && h.scan_position <= h.region_end;
}

bool Recovery::ExportAll() {
  p_.stop.store(interrupted_.load());
  const int32_t pages = TaskPageCount(p_);
  RecordingRows rows;
  bool all_written = true;
  for (int32_t page = 0; page < pages && !Interrupted(); ++page) {
    if (page > 0) {
      LoadTaskPage(p_, page);
      p_.stop.store(interrupted_.load());
    }
    rows.Bind(&p_.recordings);
    // A file left complete by an earlier, stopped run is kept as it is.
    for (size_t r = 0; r < rows.size(); ++r) {
      const RecordingEntry& e = rows.Entry(r);
      int64_t expected = 0;
      for (const auto& f : e.fragments) expected += f.length;
      const std::string path =
          BuildExportPath(p_, e, o_.out, static_cast<int64_t>(rows.EntryIndex(r)));
      struct stat st{};
      // An MP4 file's length says nothing of whether it is whole: those are
      // written again.
      const bool kept = o_.format == "raw" && expected > 0 && ::stat(path.c_str(), &st) == 0 &&
                        st.st_size == expected;
      rows.SetTicked(r, !kept);
      ++outcome_.wanted;
      if (kept) {
        ExportedFile file;
        file.path = path;
        file.written = expected;
        file.created = file.complete = true;
        file.sha256 = DigestOfFile(path, DigestKind::Sha256);
        NoteExported(static_cast<int64_t>(rows.EntryIndex(r)), e, file);
        ++outcome_.exported;
        outcome_.bytes += expected;
        outcome_.files.push_back({{"path", path}, {"bytes", expected}, {"complete", true}});
        if (!o_.json)
          std::printf("%s\t%lld\t(kept)\n", path.c_str(), static_cast<long long>(expected));
      }
    }
    if (rows.TickedCount() == 0) continue;
    ExportRequest request;
    request.base_folder = o_.out;
    request.mode = ExportTicked;
    request.format = o_.format == "mp4" ? ExportFormat::Mp4 : ExportFormat::Raw;
    RunExport(p_, rows, request, [&](const ExportedFile& f) {
      terminal_.FinishProgress();
      if (!f.created) {
        all_written = false;
        return;
      }
      NoteExported(static_cast<int64_t>(rows.EntryIndex(f.row)), rows.Entry(f.row), f);
      // Only a file that holds every byte of its recording counts as exported.
      if (f.whole()) {
        ++outcome_.exported;
        outcome_.bytes += f.written;
      } else {
        all_written = false;
      }
      outcome_.files.push_back({{"path", f.path},
                                {"bytes", f.written},
                                {"complete", f.whole()},
                                {"unreadable_bytes", f.loss.unreadable},
                                {"missing_bytes_past_end", f.loss.past_end},
                                {"sha256", f.sha256}});
      if (!o_.json) {
        std::printf("%s\t%lld%s\n", f.path.c_str(), static_cast<long long>(f.written),
                    f.whole() ? "" : "\t(incomplete)");
        std::fflush(stdout);
      }
    });
    terminal_.FinishProgress();
  }
  return all_written;
}

void Recovery::NoteExported(int64_t index, const RecordingEntry& entry, const ExportedFile& file) {
  evidence_entries_.push_back(entry);
  evidence_.push_back({index, &evidence_entries_.back(), file});
}

bool Recovery::WriteCaseRecord() {
  if (RecordExportEvidence(p_, o_.out, evidence_, CliLog().Lines())) return true;
  PrintMessage("错误", "报告写入失败: " + o_.out);
  return false;
}

void Recovery::PrintSummary() const {
  if (o_.json) {
    nlohmann::ordered_json j = {
        {"device", o_.device},
        {"out", o_.out},
        {"brand", outcome_.brand},
        {"brand_name", BrandSlug(outcome_.brand)},
        {"identified_by", outcome_.identified_by.empty()
                              ? nlohmann::ordered_json()
                              : nlohmann::ordered_json(outcome_.identified_by)},
        {"format", o_.format},
        {"parses", outcome_.parses},
        {"recordings", outcome_.wanted},
        {"exported", outcome_.exported},
        {"bytes", outcome_.bytes},
        {"files", outcome_.files},
        {"stopped", outcome_.stopped}};
    std::printf("%s\n", j.dump().c_str());
    return;
  }
  std::printf("exported %zu of %zu recordings (%s) into %s\n", outcome_.exported, outcome_.wanted,
              FormatSize(outcome_.bytes).c_str(), o_.out.c_str());
  if (outcome_.stopped)
    std::printf("stopped: run the same command again to go on where it stopped\n");
}

int Recovery::Run() {
  if (!EnsureDirectory(o_.out)) {
    PrintMessage("错误", std::string(kMsgCreateTargetFailed) + ": " + o_.out);
    return kExitFailed;
  }
  const std::string fast_task = (std::filesystem::path(o_.out) / kFastTaskName).string();
  const std::string deep_task = (std::filesystem::path(o_.out) / kDeepTaskName).string();
  ScopedNotifySink scoped(&sink_);
  InstallStopOnInterrupt(&interrupted_);
  struct Uninstall {
    ~Uninstall() { InstallStopOnInterrupt(nullptr); }
  } uninstall;
  auto stopped = [&] {
    outcome_.stopped = true;
    PrintSummary();
    return kExitStopped;
  };

  if (ResumableDeepTask(deep_task)) {
    outcome_.brand = p_.head.brand;
    if (p_.head.scan_position < p_.head.region_end) {
      PrintMessage("信息", "going on with the deep parse in " + deep_task);
      if (!Parse({ScanModeDeep, deep_task, true})) return kExitFailed;
    } else {
      ApplyTaskHead(p_);
      LoadTaskPage(p_, 0);
      p_.stop.store(interrupted_.load());
      outcome_.parses.push_back(ParseSummaryJson(p_));
      if (!o_.json) PrintParseSummary(p_, false);
    }
  } else {
    if (!o_.brand.empty()) {
      outcome_.brand = BrandFromText(o_.brand);
      if (outcome_.brand == 0) {
        PrintMessage("警告", kMsgBadParameters);
        return kExitUsage;
      }
    } else {
      const BrandChoice choice = ChooseBrand(device_, o_.device);
      if (choice.brand == 0) return kExitFailed;
      outcome_.brand = choice.brand;
      outcome_.identified_by = choice.how;
    }
    if (!Parse({ScanModeFast, fast_task, false})) return kExitFailed;
    if (Interrupted()) return stopped();
    if (o_.deep || (p_.recordings.empty() && TaskPageCount(p_) <= 1)) {
      if (!o_.deep)
        PrintMessage("信息", "the recorder's index shows nothing: scanning every block");
      if (!Parse({ScanModeDeep, deep_task, false})) return kExitFailed;
    }
  }
  if (Interrupted() || DeepParseStoppedEarly(p_)) return stopped();

  const bool all_written = ExportAll();
  if (Interrupted()) return stopped();
  const bool recorded = WriteCaseRecord();
  PrintSummary();
  return all_written && recorded ? kExitOk : kExitFailed;
}

int RunRecover(const RecoverOptions& o) {
  if (o.format == "mp4" && !HasMediaLibraries()) return HandOverToMediaProgram();
  DeviceInfo device;
  if (!ResolveDevice(o.device, device)) return kExitFailed;
  if (device.size <= 0) {
    SourceDevice probe;
    probe.Open(device);
    device.size = probe.Size();
  }
  Recovery recovery(o, device);
  return recovery.Run();
}

}  // namespace

void RegisterRecoverCommands(CLI::App& app, int& status) {
  auto* cmd = app.add_subcommand(
      "recover", "Identify, parse and export everything a device holds, in one folder");
  auto o = std::make_shared<RecoverOptions>();
  cmd->add_option("DEVICE", o->device, "disk image (raw, split or E01), /dev path or drive:N")
      ->required();
  cmd->add_option("--out", o->out, "folder for the task files and the exported recordings")
      ->required();
  cmd->add_option("--brand", o->brand,
                  "hikvision, dahua, wfs, boli, huayi, meidianbell, jovision, zhiling or 1..8 "
                  "(default: recognised from the device)");
  cmd->add_flag("--deep", o->deep,
                "scan every block even when the recorder's index finds recordings");
  cmd->add_option("--format", o->format,
                  "format of the exported files: raw (as recorded) or mp4 (remuxed video)")
      ->check(CLI::IsMember({"raw", "mp4"}));
  cmd->add_flag("--json", o->json, "print one JSON object at the end");
  cmd->callback([&status, o] { status = RunRecover(*o); });
}

}  // namespace orvane::cli
