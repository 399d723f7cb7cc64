#pragma once
// Flags through which dialogs and workers coordinate. Owned by the main
// frame (or the CLI) for the life of the process.

#include <atomic>
#include <cstdint>

namespace orvane {

class PowerOff;

// Which progress bar receives NotifyCode::Range and ::Position.
enum JobKind : int32_t {
  JobNone = 0,
  JobParse = 1,     // the parse dialog's bar
  JobTaskLoad = 3,  // no bar
  JobExport = 4,    // the export dialog's bar
};

struct WorkerFlags {
  std::atomic<int32_t> worker_busy{0};
  std::atomic<bool> shutdown_when_done{false};
  std::atomic<int32_t> job_kind{JobNone};
  PowerOff* power_off = nullptr;  // null: never powers off
};

// Last step of every worker: powers off when the user asked for it.
void PowerOffIfRequested(WorkerFlags& flags);

// Sets worker_busy for one scope.
class BusyScope {
 public:
  explicit BusyScope(WorkerFlags& flags) : flags_(flags) { flags_.worker_busy.store(1); }
  ~BusyScope() { flags_.worker_busy.store(0); }
  BusyScope(const BusyScope&) = delete;
  BusyScope& operator=(const BusyScope&) = delete;

 private:
  WorkerFlags& flags_;
};

}  // namespace orvane
