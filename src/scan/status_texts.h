#pragma once
// Texts of the main window's status pane and log that do not depend on any
// widget: export totals, log times and exported log lines.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "recordings/export_totals.h"

namespace orvane {

// At the start of a multi-row export (nothing done yet): "[%s / %d]";
// afterwards "[%s / %d]  [%s / %d]  [%s/s]", without the rate while less
// than a second has passed.
std::string ExportTotalsText(const ExportTotals& totals, int64_t elapsed_seconds);
// Progress-bar units of the export totals: 2 MiB.
inline constexpr int64_t kExportBarUnit = 2097152;

// Local time as "%Y-%m-%d %H-%M-%S"; empty when it cannot be converted.
std::string LogTimeText(std::time_t when);
// One exported log row: the three texts separated by tabs, ended by CR LF.
std::string LogExportLine(std::string_view type, std::string_view time, std::string_view text);

}  // namespace orvane
