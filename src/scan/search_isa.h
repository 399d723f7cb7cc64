#pragma once
// Which vector instructions the byte searches of the deep scans may use.
// Each search picks the widest the processor has; tests ask for each one in
// turn, so that every path is checked on a machine that has them all.

namespace orvane {

enum class SearchIsa { kPlain, kAvx2, kAvx512 };

// The widest set this processor runs.
SearchIsa HostSearchIsa();

// True when this processor can run `isa`.
bool HostRuns(SearchIsa isa);

}  // namespace orvane
