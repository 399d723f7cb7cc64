#pragma once
// Flags through which dialogs and workers coordinate. Owned by the main
// frame (or the CLI) for the life of the process.

#include <atomic>
#include <cstdint>

namespace orvane {

class PowerOff;

enum JobKind : int32_t {
  JobNone = 0,
  JobParse = 1,    // progress goes to the parse dialog
  JobExport = 2,   // progress goes to the export dialog
  JobMainBar = 3,  // progress goes to the main frame's bar
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
