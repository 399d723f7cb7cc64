#pragma once
// The export's four totals, sent to the main frame beside the ordinary
// notifications.

#include <cstdint>

namespace orvane {

struct ExportTotals {
  int64_t total_size = 0;
  int64_t total_count = 0;
  int64_t done_size = 0;
  int64_t done_count = 0;
};

}  // namespace orvane
