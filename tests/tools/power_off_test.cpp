#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tools/system_power_off.h"

namespace orvane {
namespace {

// The real chain runs against a runner double: no test may reach the
// system's power-off.
TEST(SystemPowerOff, TriesTheRequestsInOrderUntilOneIsAccepted) {
  std::vector<std::string> asked;
  int accept_at = 1;
  SystemPowerOff power([&](const std::vector<std::string>& argv) {
    asked.push_back(argv.at(0));
    return static_cast<int>(asked.size()) - 1 == accept_at ? 0 : 1;
  });
  EXPECT_TRUE(power.PowerOffMachine());
  EXPECT_EQ(asked, (std::vector<std::string>{"busctl", "dbus-send"}));

  asked.clear();
  accept_at = -1;
  EXPECT_FALSE(power.PowerOffMachine());
  EXPECT_EQ(asked.size(), SystemPowerOff::Requests().size());
}

TEST(SystemPowerOff, RequestsNeverAskForAPassword) {
  for (const auto& r : SystemPowerOff::Requests()) {
    const std::string joined = [&] {
      std::string s;
      for (const auto& a : r) s += a + " ";
      return s;
    }();
    EXPECT_TRUE(joined.find("false") != std::string::npos ||
                joined.find("--no-ask-password") != std::string::npos)
        << joined;
  }
}

TEST(SystemPowerOff, QuietRunnerReportsExitStatus) {
  EXPECT_EQ(RunQuietly({"true"}), 0);
  EXPECT_EQ(RunQuietly({"false"}), 1);
  EXPECT_EQ(RunQuietly({"/nonexistent/orvane-no-such-program"}), -1);
  EXPECT_EQ(RunQuietly({}), -1);
}

}  // namespace
}  // namespace orvane
