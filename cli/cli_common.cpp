#include "cli_common.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "device/device_list.h"
#include "device/format_text.h"
#include "device/partitions.h"
#include "device/source_device.h"
#include "scan/speed_text.h"

namespace orvane::cli {

AuditLog& CliLog() {
  static AuditLog log;
  return log;
}

void PrintMessage(std::string_view type, std::string_view text) {
  CliLog().Add(type, text);
  std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(type.size()), type.data(),
               static_cast<int>(text.size()), text.data());
}

TerminalSink::TerminalSink()
    : tty_(isatty(STDERR_FILENO) != 0), started_(std::chrono::steady_clock::now()) {}

void TerminalSink::FinishProgress() {
  if (progress_shown_) std::fputc('\n', stderr);
  progress_shown_ = false;
}

void TerminalSink::Text(NotifyCode code, std::string_view text) {
  FinishProgress();
  if (code == NotifyCode::Error) ++errors_;
  PrintMessage(code == NotifyCode::Error ? "错误" : "信息", text);
}

void TerminalSink::Found(const ScanProgress& progress) {
  last_ = progress;
  Redraw();
}

void TerminalSink::Range(int64_t steps) {
  range_ = steps;
  position_ = 0;
  started_ = std::chrono::steady_clock::now();
}

void TerminalSink::Position(int64_t step) {
  position_ = step;
  Redraw();
}

void TerminalSink::Totals(const ExportTotals&) {}

void TerminalSink::Redraw() {
  if (!tty_) return;
  const auto now = std::chrono::steady_clock::now();
  if (progress_shown_ && now - last_draw_ < std::chrono::milliseconds(200)) return;
  last_draw_ = now;
  const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(now - started_).count();
  const int percent =
      range_ > 0 ? static_cast<int>(std::min<int64_t>(100, position_ * 100 / range_)) : 0;
  char bar[31];
  const int filled = percent * 30 / 100;
  for (int i = 0; i < 30; ++i) bar[i] = i < filled ? '#' : '.';
  bar[30] = 0;
  const std::string speed = SpeedText(last_.processed_bytes, total_bytes_, elapsed);
  std::fprintf(stderr, "\r[%s] %3d%%  %lld  %s\033[K", bar, percent,
               static_cast<long long>(last_.found_count), speed.c_str());
  std::fflush(stderr);
  progress_shown_ = true;
}

namespace {
std::atomic<std::atomic<int32_t>*> g_stop_flag{nullptr};
std::atomic<int> g_interrupts{0};

void OnInterrupt(int) {
  if (g_interrupts.fetch_add(1) >= 1) _exit(130);
  if (auto* flag = g_stop_flag.load()) flag->store(1);
}
}  // namespace

void InstallStopOnInterrupt(std::atomic<int32_t>* stop_flag) {
  g_stop_flag.store(stop_flag);
  struct sigaction sa{};
  sa.sa_handler = OnInterrupt;
  sigemptyset(&sa.sa_mask);
  sigaction(SIGINT, &sa, nullptr);
  sigaction(SIGTERM, &sa, nullptr);
}

namespace {
bool ResolveDeviceReporting(const std::string& text, DeviceInfo& out) {
  out = DeviceInfo{};
  LinuxDeviceQuery query;

  auto describe = [&](const std::vector<std::string>& names, size_t number) {
    int error = 0;
    if (!DescribeDrive(query, names[number], static_cast<int32_t>(number), out, &error)) {
      PrintMessage("错误", kMsgOpenSourceFailed);
      if (error == EACCES || error == EPERM)
        PrintMessage("错误", "permission denied: run as root or as a member of group disk");
      return false;
    }
    DeviceList one{out};
    NameMountedPartitions(one, query);
    out = std::move(one.front());
    return true;
  };

  if (text.rfind("drive:", 0) == 0) {
    const std::string digits = text.substr(6);
    char* end = nullptr;
    const long n = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || *end != 0 || n < 0) {
      PrintMessage("错误", "drive:N needs a drive number N of 0 or more");
      return false;
    }
    const std::vector<std::string> names = DriveCandidates(query);
    if (static_cast<size_t>(n) >= names.size()) {
      PrintMessage("错误", kMsgOpenSourceFailed);
      PrintMessage("错误", "no drive " + digits + " (see orvane devices)");
      return false;
    }
    return describe(names, static_cast<size_t>(n));
  }

  struct stat st{};
  if (::stat(text.c_str(), &st) == 0 && S_ISBLK(st.st_mode)) {
    // A whole disk keeps its drive number; any other block device (a
    // partition, a mapped volume) is read as it is.
    const std::vector<std::string> names = DriveCandidates(query);
    for (size_t i = 0; i < names.size(); ++i) {
      std::error_code ec;
      if (std::filesystem::equivalent(query.DevNode(names[i]), text, ec)) return describe(names, i);
    }
    out.kind = kDeviceKindPhysical;
    out.name = text;
    out.path = text;
    SourceDevice source;
    source.Open(out);
    if (!source.ok()) {
      PrintMessage("错误", kMsgOpenSourceFailed);
      const int error = query.OpenError(text);
      if (error == EACCES || error == EPERM)
        PrintMessage("错误", "permission denied: run as root or as a member of group disk");
      return false;
    }
    out.size = source.Size();
    AnalysePartitions(source, out);
    return true;
  }

  if (::stat(text.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    PrintMessage("错误", kMsgOpenImageFailed);
    return false;
  }
  // An image joins a device list of its own, as the open-image command adds it.
  DeviceList list;
  if (!AddImage(list, text, ImageSecondText(text))) return false;
  out = std::move(list.front());
  return true;
}
}  // namespace

bool ResolveDevice(const std::string& text, DeviceInfo& out, int* errors) {
  // Partition reads during the analysis report through the terminal.
  TerminalSink sink;
  ScopedNotifySink scoped(&sink);
  const bool resolved = ResolveDeviceReporting(text, out);
  if (errors) *errors = sink.errors();
  return resolved;
}

}  // namespace orvane::cli
