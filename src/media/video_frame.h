#pragma once
// One video frame out of a recording, as the readers of every brand yield it.

#include <cstdint>
#include <vector>

namespace orvane {

enum class VideoCodec { Unknown, H264, H265 };

struct VideoFrame {
  std::vector<uint8_t> data;  // Annex-B access unit (start codes kept)
  bool key = false;           // holds an IDR/IRAP picture
  int64_t time_ms = 0;        // recorder time, milliseconds since 1970 of its clock
};

// Milliseconds since 1970 of a recorder time word of the given kind; false
// when the kind is unknown.
bool RecorderTimeMs(uint8_t time_kind, uint32_t word, int64_t& out_ms);

}  // namespace orvane
