#pragma once
// Powering off through the system's login manager. The request goes as a
// separate process (busctl, dbus-send, systemctl), so nothing here links a
// D-Bus library; the one that is accepted first ends the chain.

#include <functional>
#include <string>
#include <vector>

#include "tools/power_off.h"

namespace orvane {

// Runs a program with its arguments, without a shell; returns its exit
// status, or -1 when it could not be started.
using CommandRunner = std::function<int(const std::vector<std::string>& argv)>;

// The real runner: posix_spawnp with stdin, stdout and stderr on /dev/null,
// so that a refusal stays silent.
int RunQuietly(const std::vector<std::string>& argv);

class SystemPowerOff final : public PowerOff {
 public:
  explicit SystemPowerOff(CommandRunner runner = RunQuietly) : runner_(std::move(runner)) {}
  bool PowerOffMachine() override;

  // The requests tried in order.
  static std::vector<std::vector<std::string>> Requests();

 private:
  CommandRunner runner_;
};

}  // namespace orvane
