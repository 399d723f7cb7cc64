#include "tools/network_reachability.h"

#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace orvane {

namespace {

// Interfaces that carry a default route, from the kernel's route tables.
std::set<std::string> DefaultRouteInterfaces(bool& known) {
  std::set<std::string> names;
  known = false;
  std::ifstream v4("/proc/net/route");
  if (v4) {
    known = true;
    std::string line;
    std::getline(v4, line);  // column titles
    while (std::getline(v4, line)) {
      std::istringstream in(line);
      std::string iface, destination, gateway, flags, refcnt, use, metric, mask;
      if (!(in >> iface >> destination >> gateway >> flags >> refcnt >> use >> metric >> mask))
        continue;
      if (destination == "00000000" && mask == "00000000") names.insert(iface);
    }
  }
  std::ifstream v6("/proc/net/ipv6_route");
  if (v6) {
    known = true;
    std::string line;
    while (std::getline(v6, line)) {
      std::istringstream in(line);
      std::string dest, dest_len, src, src_len, next, metric, ref, use, flags, iface;
      if (!(in >> dest >> dest_len >> src >> src_len >> next >> metric >> ref >> use >> flags >>
            iface))
        continue;
      // Unreachable and reject entries also sit at ::/0; they name "lo".
      if (dest == std::string(32, '0') && dest_len == "00" && iface != "lo") names.insert(iface);
    }
  }
  return names;
}

bool Routable(const sockaddr* addr) {
  if (addr->sa_family == AF_INET) {
    const auto* in = reinterpret_cast<const sockaddr_in*>(addr);
    const uint32_t a = ntohl(in->sin_addr.s_addr);
    return (a >> 16) != 0xA9FE && (a >> 24) != 127;  // not link-local, not loopback
  }
  if (addr->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(addr);
    const uint8_t* b = in6->sin6_addr.s6_addr;
    const bool link_local = b[0] == 0xFE && (b[1] & 0xC0) == 0x80;
    return !link_local && !IN6_IS_ADDR_LOOPBACK(&in6->sin6_addr);
  }
  return false;
}

}  // namespace

bool SystemReachability::IsOnline() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return false;
  bool routes_known = false;
  const std::set<std::string> routed = DefaultRouteInterfaces(routes_known);
  bool online = false;
  for (ifaddrs* i = list; i && !online; i = i->ifa_next) {
    if (!i->ifa_addr || !i->ifa_name) continue;
    const unsigned flags = i->ifa_flags;
    if (!(flags & IFF_UP) || !(flags & IFF_RUNNING) || (flags & IFF_LOOPBACK)) continue;
    if (!Routable(i->ifa_addr)) continue;
    online = !routes_known || routed.count(i->ifa_name) > 0;
  }
  ::freeifaddrs(list);
  return online;
}

}  // namespace orvane
