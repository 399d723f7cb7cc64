#pragma once
// A still picture of a recording: the frame at a time into it, decoded with
// libavcodec and scaled to RGB with libswscale, and written as a PNG through
// libavcodec's png encoder.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "scan/recording_entry.h"

namespace orvane {

struct ScanParameters;
class SourceDevice;
}  // namespace orvane

struct AVFrame;

namespace orvane {

inline constexpr std::string_view kMsgCannotDecode = "该录像无法解码";

struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> rgb;  // width × height × 3 bytes, rows top to bottom
  int64_t time_ms = 0;       // recorder time of the frame
};

// The picture of the first frame at least `at_ms` after the recording's
// first one, or of its last frame when it is shorter. Only the frames from
// the key frame before it are decoded. False when no frame decodes.
bool DecodePictureAt(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry,
                     int64_t at_ms, Picture& out);

// A decoded frame converted to RGB with libswscale; false for a frame
// without size or a pixel format the scaler does not take. With a box
// (`max_width`, `max_height` above 0) a larger picture is scaled down to fit
// it, its proportions kept, in the same pass.
bool ToRgb(const AVFrame* frame, Picture& out, int max_width = 0, int max_height = 0);

// False when the file cannot be written.
bool WritePng(const Picture& picture, const std::string& path);

}  // namespace orvane
