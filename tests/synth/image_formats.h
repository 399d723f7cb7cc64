#pragma once
// A built disk in the other forms technicians bring: an Expert Witness
// segment set written by ewfacquire, and a raw image cut into pieces by
// split. Both tools are run as a user would run them.

#include <cstdint>
#include <string>

namespace orvane::synth {

// Whether ewfacquire (ewf-tools) can be run.
bool HaveEwfacquire();

// Writes BASE.E01, BASE.E02, ... (segments of at most `segment_bytes`, at
// least 1 MiB) from the raw image, deflate-compressed or not. Returns the
// path of BASE.E01, empty when ewfacquire failed.
std::string WriteEwfImage(const std::string& raw, const std::string& base, bool compress,
                          int64_t segment_bytes = int64_t{1} << 20);

// Cuts the raw image into pieces of `piece_bytes` named PREFIX.001,
// PREFIX.002, ... (numbered) or PREFIX.aa, PREFIX.ab, ... Returns the first
// piece's path, empty when split failed.
std::string SplitRawImage(const std::string& raw, const std::string& prefix, int64_t piece_bytes,
                          bool numbered);

}  // namespace orvane::synth
