#pragma once
// The video frames of one recording, in order, with their recorder times,
// whatever the brand wrapped them in: Hikvision program-stream packs through
// libavformat's demuxer; Dahua-family, WFS and Boli frames by walking their
// headers down to the Annex-B payload; Jovision's bare stream cut into
// access units at its NAL headers.

#include <cstdint>
#include <memory>
#include <string>

#include "media/recording_bytes.h"
#include "media/video_frame.h"
#include "scan/recording_entry.h"

namespace orvane {

struct ScanParameters;
class SourceDevice;
class FrameSource;

class FrameReader {
 public:
  // Reads with the brand and time kind of `p`; `device` and `entry` must
  // outlive the reader.
  FrameReader(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry);
  ~FrameReader();
  FrameReader(const FrameReader&) = delete;
  FrameReader& operator=(const FrameReader&) = delete;

  // The next frame; false at the end of the stream. Frames that come before
  // the first one naming a known codec are skipped.
  bool Next(VideoFrame& frame);
  // H.264 or H.265 once a frame has been read; Unknown before and when the
  // stream holds neither.
  VideoCodec codec() const { return codec_; }
  // Frames found so far, those of an unknown codec included.
  int64_t raw_frames() const { return raw_frames_; }
  // Recorder time of the recording's start, in milliseconds; false when the
  // task keeps no times.
  bool has_start() const { return has_start_; }
  int64_t start_ms() const { return start_ms_; }
  // Stream bytes consumed so far and their losses.
  const RecordingBytes& bytes() const { return bytes_; }

 private:
  bool NextRaw(VideoFrame& frame);

  int32_t brand_;
  RecordingBytes bytes_;
  int64_t start_ms_ = 0;
  bool has_start_ = false;
  VideoCodec codec_ = VideoCodec::Unknown;
  std::unique_ptr<FrameSource> source_;
  int64_t raw_frames_ = 0;
};

}  // namespace orvane
