#pragma once
// The committed test video: an H.264 Annex-B elementary stream of 100 frames
// (320x240, 25 fps, one IDR a second), made once with ffmpeg's testsrc.

#include <cstdint>
#include <string>
#include <vector>

namespace orvane::synth {

using Bytes = std::vector<uint8_t>;

// The whole stream as committed in tests/data/stream.h264.
const Bytes& TestStream();
// The stream cut into access units, one per frame; parameter sets and SEI
// travel with the frame that follows them, so every unit is a decodable
// piece in order and their concatenation is the stream again.
const std::vector<Bytes>& TestFrames();
// True when the unit holds an IDR slice.
bool IsKeyFrame(const Bytes& unit);

std::string TestDataPath(const std::string& name);

}  // namespace orvane::synth
