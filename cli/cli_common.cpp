#include "cli_common.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "device/format_text.h"
#include "scan/speed_text.h"

namespace orvane::cli {

void PrintMessage(std::string_view type, std::string_view text) {
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

bool ResolveDevice(const std::string& text, DeviceInfo& out) {
  out = DeviceInfo{};
  if (text.rfind("drive:", 0) == 0) {
    // Drive numbers follow the enumeration of /sys/block.
    PrintMessage("错误", "drive:N is not available yet");
    return false;
  }
  struct stat st{};
  if (::stat(text.c_str(), &st) != 0) {
    PrintMessage("错误", "打开源设备失败");
    return false;
  }
  if (S_ISBLK(st.st_mode)) {
    out.kind = kDeviceKindPhysical;
    out.name = text;
    out.path = text;
    out.number = 0;
  } else {
    out.kind = kDeviceKindImage;
    out.name = text;
    out.number = 0;
    out.size = st.st_size;
  }
  return true;
}

}  // namespace orvane::cli
