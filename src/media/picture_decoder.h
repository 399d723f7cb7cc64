#pragma once
// Pictures of a recording one after another, for a preview: the key frames
// alone (a strip across the recording), or every frame from a key frame on
// (playback).

#include <cstdint>
#include <functional>
#include <memory>

#include "media/frame_reader.h"
#include "media/thumbnail.h"

namespace orvane {

struct VideoDecoder;

// Decodes every key frame by itself, in order, and hands each picture to
// `on_picture` until it returns false. Returns the pictures handed over.
// With a box (`max_width`, `max_height` above 0) the pictures come scaled
// down to fit it, as thumbnails, without a full-size picture first.
int KeyFramePictures(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry,
                     const std::function<bool(Picture&&)>& on_picture, int max_width = 0,
                     int max_height = 0);

class PictureDecoder {
 public:
  // Starts at the first key frame whose recorder time is `from_ms` or later
  // (any time before the recording's start: its first key frame).
  PictureDecoder(const ScanParameters& p, SourceDevice& device, const RecordingEntry& entry,
                 int64_t from_ms);
  ~PictureDecoder();
  // The next picture in playing order; false at the end or when nothing
  // decodes any more.
  bool Next(Picture& out);

 private:
  FrameReader reader_;
  int64_t from_ms_;
  bool started_ = false;
  bool flushed_ = false;
  std::unique_ptr<VideoDecoder> decoder_;
};

}  // namespace orvane
