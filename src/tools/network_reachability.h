#pragma once
// Whether the machine is connected at all, asked before any request so that
// an offline machine makes none.

namespace orvane {

class NetworkReachability {
 public:
  virtual ~NetworkReachability() = default;
  virtual bool IsOnline() = 0;
};

// Online when an interface other than the loopback is up with its carrier,
// has a routable address, and a default route leads through it.
class SystemReachability final : public NetworkReachability {
 public:
  bool IsOnline() override;
};

}  // namespace orvane
