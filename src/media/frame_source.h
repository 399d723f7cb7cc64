#pragma once
// The ways FrameReader gets frames out of a recording's bytes. Each source
// yields Annex-B units with a recorder time in milliseconds; codec and key
// flags are worked out by the reader.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "media/recording_bytes.h"
#include "media/video_frame.h"

namespace orvane {

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // False at the end of the stream.
  virtual bool Next(VideoFrame& frame) = 0;
};

// A window over the recording's bytes for the frame walks: what a frame
// needs is kept in memory, and no more than one frame's worth.
class StreamWindow {
 public:
  explicit StreamWindow(RecordingBytes& bytes) : bytes_(bytes) {}
  // True when `n` bytes from the current position are in the window.
  bool Ensure(size_t n);
  const uint8_t* data() const { return buffer_.data() + begin_; }
  size_t available() const { return end_ - begin_; }
  void Consume(size_t n) { begin_ += std::min(n, available()); }
  // Bytes of memory the window keeps.
  size_t held() const { return buffer_.size(); }

 private:
  RecordingBytes& bytes_;
  std::vector<uint8_t> buffer_;
  size_t begin_ = 0;
  size_t end_ = 0;
  bool at_end_ = false;
};

// Frames no recorder writes this large; a length beyond it is damage.
inline constexpr uint32_t kMaxFrameBytes = 16u << 20;

// libavformat's container demuxer `format` ("mpeg") over the bytes from
// `skip` on, its video packets joined into access units at their NAL
// headers; times are `start_ms` plus the units' timestamps from the first.
// Null when the demuxer does not accept the stream.
std::unique_ptr<FrameSource> OpenDemuxSource(RecordingBytes& bytes, const char* format,
                                             int64_t skip, int64_t start_ms);
// Dahua-family frames of the given magic: 24-byte header, extension, payload,
// "dhav" trailer; only the video frames (0xFC, 0xFD).
std::unique_ptr<FrameSource> OpenDahuaWalk(RecordingBytes& bytes, uint32_t magic, int64_t start_ms);
// WFS frames: 00 00 01 FC key frames (with their time), FD video and FA
// audio frames, a stream that runs on across the fragments.
std::unique_ptr<FrameSource> OpenWfsWalk(RecordingBytes& bytes, int64_t start_ms);
// A bare Annex-B stream of `codec` (H.264 rules when Unknown) cut into
// access units, 25 a second from `start_ms`.
std::unique_ptr<FrameSource> OpenAnnexBWalk(RecordingBytes& bytes, VideoCodec codec,
                                            int64_t start_ms);
// Boli frames: "01" channel 0x64, payload length, reversed packed time.
std::unique_ptr<FrameSource> OpenBoliWalk(RecordingBytes& bytes, int64_t start_ms);

}  // namespace orvane
