#pragma once
// Stand-ins for what the tools reach outside through, so that no test
// powers the machine off or depends on the machine's network.

#include <atomic>

#include "scan/worker_flags.h"
#include "tools/network_reachability.h"
#include "tools/power_off.h"

namespace orvane::synth {

// Counts the power-off requests; with `flags` set, also those made while a
// worker still held the busy flag (a worker must let go of it first).
class RecordingPowerOff final : public PowerOff {
 public:
  explicit RecordingPowerOff(bool accept = false) : accept_(accept) {}
  bool PowerOffMachine() override {
    calls.fetch_add(1);
    if (flags && flags->worker_busy.load()) while_busy.fetch_add(1);
    return accept_;
  }
  std::atomic<int> calls{0};
  std::atomic<int> while_busy{0};
  WorkerFlags* flags = nullptr;

 private:
  bool accept_;
};

class FixedReachability final : public NetworkReachability {
 public:
  explicit FixedReachability(bool online) : online_(online) {}
  bool IsOnline() override { return online_; }

 private:
  bool online_;
};

}  // namespace orvane::synth
