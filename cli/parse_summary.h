#pragma once
// A parse on the terminal: the job run with its status and log lines shown
// there, and what the finished parse tells: its task file, what page 0 of it
// holds, and how far a deep scan got; as text or as one JSON object.

#include <nlohmann/json.hpp>
#include <string>

#include "scan/scan_parameters.h"

namespace orvane {
struct WorkerFlags;
}

namespace orvane::cli {

class TerminalSink;

// RunParseJob with its status line and log lines on the terminal; a text the
// dialog would show in both places is printed once.
void RunParseJobOnTerminal(ScanParameters& p, WorkerFlags& flags, TerminalSink& terminal);

// Whether a deep parse stopped before the end of its region.
bool DeepParseStoppedEarly(const ScanParameters& p);

// `identified_by` names how the brand was recognised, empty when it was given.
nlohmann::ordered_json ParseSummaryJson(const ScanParameters& p,
                                        const std::string& identified_by = {});
// `identified_by` names how the brand was recognised, empty when it was given.
// `offer_continue` false leaves out the hint to resume: a refused scan would
// meet the same refusal again.
void PrintParseSummary(const ScanParameters& p, bool json, const std::string& identified_by = {},
                       bool offer_continue = true);

}  // namespace orvane::cli
