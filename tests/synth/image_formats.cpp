#include "synth/image_formats.h"

#include <cstdlib>

namespace orvane::synth {

namespace {

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

}  // namespace

bool HaveEwfacquire() { return std::system("ewfacquire -V > /dev/null 2>&1") == 0; }

std::string WriteEwfImage(const std::string& raw, const std::string& base, bool compress,
                          int64_t segment_bytes) {
  const std::string command = "ewfacquire -u -q -c " + std::string(compress ? "fast" : "none") +
                              " -S " + std::to_string(segment_bytes) + " -t " + Quoted(base) + " " +
                              Quoted(raw) + " > /dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return {};
  return base + ".E01";
}

std::string SplitRawImage(const std::string& raw, const std::string& prefix, int64_t piece_bytes,
                          bool numbered) {
  const std::string naming = numbered ? "-d -a 3 --numeric-suffixes=1 " : "";
  const std::string command = "split -b " + std::to_string(piece_bytes) + " " + naming +
                              Quoted(raw) + " " + Quoted(prefix + ".") + " 2>/dev/null";
  if (std::system(command.c_str()) != 0) return {};
  return prefix + (numbered ? ".001" : ".aa");
}

}  // namespace orvane::synth
