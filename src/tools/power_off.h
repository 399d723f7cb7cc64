#pragma once
// Powering the machine off when a long job ends. An interface so that tests
// use a recording double and never reach the real one.

namespace orvane {

class PowerOff {
 public:
  virtual ~PowerOff() = default;
  // Asks the system to power off; true when the request was accepted.
  virtual bool PowerOffMachine() = 0;
};

}  // namespace orvane
