#pragma once
// What the command-line subcommands share: the terminal sink, the device
// argument, exit codes.

#include <CLI/CLI.hpp>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "device/device_info.h"
#include "device/notify.h"
#include "recordings/audit_log.h"
#include "scan/scan_parameters.h"

namespace orvane::cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// Prints the system's texts to stderr prefixed by their log type, and a
// progress line when stderr is a terminal.
class TerminalSink final : public NotifySink {
 public:
  TerminalSink();
  void Text(NotifyCode code, std::string_view text) override;
  void Found(const ScanProgress& progress) override;
  void Range(int64_t steps) override;
  void Position(int64_t step) override;
  void Totals(const ExportTotals& totals) override;

  // Bytes the running job covers, for the remaining-time text.
  void set_total_bytes(int64_t bytes) { total_bytes_ = bytes; }
  // Ends a progress line so that the next text starts on a fresh line.
  void FinishProgress();
  int errors() const { return errors_; }

 private:
  void Redraw();

  bool tty_;
  bool progress_shown_ = false;
  int errors_ = 0;
  int64_t range_ = 0;
  int64_t position_ = 0;
  int64_t total_bytes_ = 0;
  ScanProgress last_{};
  std::chrono::steady_clock::time_point started_;
  std::chrono::steady_clock::time_point last_draw_{};
};

// Prints one of the system's messages to stderr with its log type, and keeps
// it in the command's own log (CliLog).
void PrintMessage(std::string_view type, std::string_view text);
// Every message this run printed, for the orvane-log.txt an export or an
// image leaves behind.
AuditLog& CliLog();

// Turns DEVICE (an image path, a /dev path, or drive:N) into a device the
// engines can open. On failure prints why and returns false. `errors`, when
// given, receives the number of error texts the partition analysis printed
// (sectors it could not read).
bool ResolveDevice(const std::string& text, DeviceInfo& out, int* errors = nullptr);

// Ctrl-C sets the stop flag it is pointed at, once; a second Ctrl-C ends the
// program at once.
void InstallStopOnInterrupt(std::atomic<int32_t>* stop_flag);

// Each subcommand file registers its commands here; the callback it sets
// stores the exit status in `status`.
void RegisterDeviceCommands(CLI::App& app, int& status);
void RegisterParseCommands(CLI::App& app, int& status);
void RegisterRecordingCommands(CLI::App& app, int& status);
void RegisterIdentifyCommands(CLI::App& app, int& status);
void RegisterImageCommands(CLI::App& app, int& status);
void RegisterRecoverCommands(CLI::App& app, int& status);
void RegisterThumbnailCommands(CLI::App& app, int& status);

}  // namespace orvane::cli
