#include "synth/h264_stream.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace orvane::synth {

std::string TestDataPath(const std::string& name) {
  return std::string(ORVANE_TEST_DATA_DIR) + "/" + name;
}

const Bytes& TestStream() {
  static const Bytes stream = [] {
    std::ifstream in(TestDataPath("stream.h264"), std::ios::binary);
    if (!in) throw std::runtime_error("missing test data stream.h264");
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }();
  return stream;
}

namespace {
// Positions of every 00 00 01 start code (the leading zero of a four-byte
// code belongs to the previous unit's trailing zero run, as Annex B allows).
std::vector<size_t> NalStarts(const Bytes& s) {
  std::vector<size_t> starts;
  for (size_t i = 0; i + 3 <= s.size(); ++i) {
    if (s[i] == 0 && s[i + 1] == 0 && s[i + 2] == 1) {
      starts.push_back(i > 0 && s[i - 1] == 0 ? i - 1 : i);
      i += 2;
    }
  }
  return starts;
}

int NalType(const Bytes& s, size_t start) {
  size_t i = start;
  while (i < s.size() && s[i] == 0) ++i;
  return i + 1 < s.size() ? (s[i + 1] & 0x1F) : -1;
}
}  // namespace

const std::vector<Bytes>& TestFrames() {
  static const std::vector<Bytes> frames = [] {
    const Bytes& s = TestStream();
    std::vector<size_t> starts = NalStarts(s);
    std::vector<Bytes> units;
    size_t unit_start = 0;
    for (size_t k = 0; k < starts.size(); ++k) {
      const int type = NalType(s, starts[k]);
      const bool slice = type == 1 || type == 5;
      if (!slice) continue;
      const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
      // A slice closes a unit; what came before it since the last unit
      // (parameter sets, SEI) rides along.
      size_t next_non_param = end;
      units.emplace_back(s.begin() + static_cast<long>(unit_start),
                         s.begin() + static_cast<long>(next_non_param));
      unit_start = next_non_param;
    }
    if (unit_start < s.size() && !units.empty())
      units.back().insert(units.back().end(), s.begin() + static_cast<long>(unit_start), s.end());
    return units;
  }();
  return frames;
}

bool IsKeyFrame(const Bytes& unit) {
  for (size_t i = 0; i + 3 < unit.size(); ++i)
    if (unit[i] == 0 && unit[i + 1] == 0 && unit[i + 2] == 1 && (unit[i + 3] & 0x1F) == 5)
      return true;
  return false;
}

}  // namespace orvane::synth
