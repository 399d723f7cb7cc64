#pragma once
// Synthetic WFS recorder disks: the superblock at 0x3000, the index of 32-byte
// entries, and a segment area whose segments hold WFS frame streams (00 00 01
// FC key frames with their times, FD video frames and FA audio frames) that
// carry the committed H.264 test frames. The segment grid can be shifted
// within every 2 MiB, which is what the alignment detector has to find.

#include <cstdint>
#include <string>
#include <vector>

#include "scan/recording_entry.h"
#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

// A PackedTime word of the given civil time.
uint32_t PackTime(int year, int month, int day, int hour, int minute, int second);
// The packed time `seconds` later, by the calendar.
uint32_t AddSeconds(uint32_t packed, int64_t seconds);

// WFS frames around a payload (the payload gets a leading zero when it does
// not start with 00 00 00 01).
Bytes WfsKeyFrame(uint32_t time, const Bytes& payload);
Bytes WfsVideoFrame(const Bytes& payload);
Bytes WfsAudioFrame(const Bytes& payload);

struct WfsGeometry {
  int64_t disk_size = int64_t{96} << 20;
  uint32_t unit_size = 0x200;
  uint32_t units_per_segment = 8192;  // 4 MiB segments
  int64_t index_start = 0x4000;       // a multiple of the unit size
  // Where within every 2 MiB the segments begin; a multiple of the unit size.
  int64_t smart_value = 0x0A5600;
  // A multiple of 2 MiB; the segment area starts at area_base + smart_value.
  int64_t area_base = 0x400000;
  // Video payloads shorter than this get trailing zero bytes (which H.264
  // allows behind a unit), for the frame sizes of a higher bit rate.
  uint32_t min_video_payload = 0;
};

// One recording as planted.
struct WfsPlanted {
  uint8_t channel = 0;
  uint32_t start_time = 0;  // the first frame
  uint32_t end_time = 0;    // the last frame
  std::vector<uint32_t> segments;
  std::vector<FragmentExtent> extents;  // the whole segments, in playing order
  int64_t stream_bytes = 0;             // frame bytes before the zero padding
  Bytes stream;                         // those frame bytes, in playing order
};

class WfsDisk {
 public:
  WfsDisk(const std::string& path, const WfsGeometry& geometry = {});

  // A recording of `channel` (1-based) from `start_time` filling `segments`
  // in this order: its stream runs on from segment to segment (a frame cut at
  // a segment end continues at the start of the next one) and ends with
  // whole frames and zero padding in the last segment. With `max_bytes` the
  // stream ends earlier. Audio frames are interleaved unless `audio` is off.
  const WfsPlanted& Plant(uint8_t channel, uint32_t start_time, std::vector<uint32_t> segments,
                          int64_t max_bytes = 0, bool audio = true);
  // Zeros the whole index, as a reformat does.
  void WipeIndex();
  // Writes index entry n from its fields.
  void WriteEntry(uint32_t n, uint32_t prev, uint32_t next, uint32_t start, uint32_t end,
                  uint8_t channel);

  uint32_t segment_size() const { return g_.unit_size * g_.units_per_segment; }
  int64_t segment_offset(uint32_t n) const { return area_start_ + int64_t{n} * segment_size(); }
  uint32_t entry_count() const { return entries_; }
  int64_t index_start() const { return g_.index_start; }
  int64_t area_start() const { return area_start_; }
  const WfsGeometry& geometry() const { return g_; }
  const std::vector<WfsPlanted>& planted() const { return planted_; }
  SparseImage& image() { return image_; }
  const std::string& path() const { return image_.path(); }

 private:
  WfsGeometry g_;
  SparseImage image_;
  int64_t area_start_ = 0;
  uint32_t entries_ = 0;
  std::vector<WfsPlanted> planted_;
};

// The bytes of `extents` read back from an image file.
Bytes ReadExtents(const std::string& path, const std::vector<FragmentExtent>& extents);
Bytes ReadExtents(const std::string& path, const FragmentList& extents);

}  // namespace orvane::synth
