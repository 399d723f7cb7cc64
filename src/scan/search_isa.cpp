#include "scan/search_isa.h"

namespace orvane {

SearchIsa HostSearchIsa() {
#if defined(__x86_64__) || defined(__i386__)
  static const SearchIsa isa = [] {
    if (__builtin_cpu_supports("avx512bw") && __builtin_cpu_supports("avx512f"))
      return SearchIsa::kAvx512;
    if (__builtin_cpu_supports("avx2")) return SearchIsa::kAvx2;
    return SearchIsa::kPlain;
  }();
  return isa;
#else
  return SearchIsa::kPlain;
#endif
}

bool HostRuns(SearchIsa isa) { return static_cast<int>(isa) <= static_cast<int>(HostSearchIsa()); }

}  // namespace orvane
