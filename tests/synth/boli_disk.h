#pragma once
// Boli recorder disks: a header sector and runs of frames, each frame a
// 20-byte header (channel, payload length, reversed packed time, 00 00 00 01)
// whose payload is one access unit of the committed test stream.

#include <cstdint>
#include <vector>

#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

// A time word with the year in the lowest six bits.
uint32_t ReversedTime(int year, int month, int day, int hour, int minute, int second);

// The 512-byte first sector the brand identification recognises.
Bytes BoliHeaderSector();

// One frame: 16 bytes of header fields, then the payload, which begins with
// 00 00 00 01 (a shorter start code is lengthened, a payload under 16 bytes
// padded) so that the frame is payload length + 16 bytes long.
Bytes BoliFrame(uint8_t channel, uint32_t time, const Bytes& payload);

struct BoliPlanted {
  uint8_t channel = 0;
  uint32_t time = 0;
  int64_t offset = 0;
  uint32_t size = 0;  // whole frame
  Bytes bytes;        // the frame as written
};

struct BoliFrameSpec {
  uint8_t channel = 1;
  uint32_t time = 0;
  Bytes payload;
};

// Writes the frames back to back from `offset`; returns where each went.
std::vector<BoliPlanted> PlantBoliFrames(SparseImage& image, int64_t offset,
                                         const std::vector<BoliFrameSpec>& frames);

// `count` frames of one channel from the test stream (its units in turn), a
// second apart from `first_time` (seconds roll into minutes and hours).
std::vector<BoliFrameSpec> BoliStreamFrames(uint8_t channel, uint32_t first_time, int count);
// The time `seconds` later within the same day.
uint32_t AddReversedSeconds(uint32_t time, int seconds);

// A disk: header sector at 0, then the given runs; each run's last frame is
// followed by zeros and so never becomes a record.
struct BoliRun {
  int64_t offset = 0;
  std::vector<BoliFrameSpec> frames;
};
struct BoliDisk {
  std::vector<BoliPlanted> frames;  // every planted frame in disk order
  // The frames a carve records: those directly followed by another.
  std::vector<BoliPlanted> recorded;
};
BoliDisk BuildBoliDisk(SparseImage& image, const std::vector<BoliRun>& runs);

// Zeros the header sector (the disk then no longer identifies as Boli).
void WipeBoliHeader(SparseImage& image);

}  // namespace orvane::synth
