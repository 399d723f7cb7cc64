#include "tools/system_power_off.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

extern char** environ;

namespace orvane {

int RunQuietly(const std::vector<std::string>& argv) {
  if (argv.empty()) return -1;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  for (int fd : {0, 1, 2}) {
    posix_spawn_file_actions_addopen(&actions, fd, "/dev/null", fd == 0 ? O_RDONLY : O_WRONLY, 0);
  }
  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return -1;
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::vector<std::string>> SystemPowerOff::Requests() {
  // PowerOff(interactive = false): logind refuses instead of asking for a
  // password when the user may not power off.
  return {
      {"busctl", "--system", "call", "org.freedesktop.login1", "/org/freedesktop/login1",
       "org.freedesktop.login1.Manager", "PowerOff", "b", "false"},
      {"dbus-send", "--system", "--print-reply", "--dest=org.freedesktop.login1",
       "/org/freedesktop/login1", "org.freedesktop.login1.Manager.PowerOff", "boolean:false"},
      {"systemctl", "poweroff", "--no-ask-password"},
  };
}

bool SystemPowerOff::PowerOffMachine() {
  for (const auto& request : Requests()) {
    if (runner_(request) == 0) return true;
  }
  return false;
}

}  // namespace orvane
