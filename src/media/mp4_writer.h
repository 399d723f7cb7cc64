#pragma once
// An MP4 file of one video stream, written by libavformat's mp4 muxer from
// Annex-B units without re-encoding them, at a constant frame rate.

#include <cstdint>
#include <string>

#include "media/video_frame.h"

struct AVFormatContext;
struct AVPacket;

namespace orvane {

class Mp4Writer {
 public:
  Mp4Writer() = default;
  ~Mp4Writer();
  Mp4Writer(const Mp4Writer&) = delete;
  Mp4Writer& operator=(const Mp4Writer&) = delete;

  // Creates the file. `first` is the stream's first key frame, whose
  // parameter sets describe the stream. `creation_ms` is the recorder time
  // the file says it was made at (none when negative). False when the muxer refuses the stream or
  // the file cannot be created; `file_created` tells which.
  bool Open(const std::string& path, VideoCodec codec, const VideoFrame& first, int fps,
            int64_t creation_ms, bool& file_created);
  // The next frame: at its recorder time from the first frame's, but never
  // closer than one frame duration to the last (frames of one recorder
  // second share its time).
  bool Write(const VideoFrame& frame);
  // Writes the index and closes the file.
  bool Finish();

 private:
  AVFormatContext* format_ = nullptr;
  AVPacket* packet_ = nullptr;
  bool header_written_ = false;
  int fps_ = 25;
  int64_t frames_ = 0;
  int64_t first_ms_ = 0;
  int64_t last_pts_ = 0;
};

// ISO 8601 text of a recorder time for the container's creation_time.
std::string CreationTimeText(int64_t time_ms);

}  // namespace orvane
