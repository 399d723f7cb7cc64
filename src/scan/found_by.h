#pragma once
// How a recording was found: through the recorder's own index, by following
// chained blocks on a deep parse, as a group of blocks no chain took, as a
// group of small recordings, or by carving frames or files out of the disk.
// One byte, because a loaded page holds up to 20,000,000 entries.

#include <cstdint>
#include <string_view>

namespace orvane {

enum class FoundBy : uint8_t {
  Unknown = 0,
  Index = 1,       // fast parse through the recorder's index
  Chain = 2,       // deep parse: chained blocks or segments
  Leftover = 3,    // channel-254 group of blocks no chain took
  SmallGroup = 4,  // channel-255 group of small recordings
  Carved = 5,      // frames or files carved out of the disk
};

inline std::string_view FoundByText(FoundBy f) {
  switch (f) {
    case FoundBy::Index:
      return "index";
    case FoundBy::Chain:
      return "chain";
    case FoundBy::Leftover:
      return "leftover";
    case FoundBy::SmallGroup:
      return "small group";
    case FoundBy::Carved:
      return "carved";
    case FoundBy::Unknown:
      break;
  }
  return "";
}

}  // namespace orvane
