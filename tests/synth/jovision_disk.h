#pragma once
// Jovision recorder disks: 512 MiB areas with "jvbk" headers, 48 KiB index
// blocks whose pieces may lie in any area, and JVS recording files that hold
// the committed H.264 stream. Images are sparse: a disk of several areas
// costs only what is planted.

#include <cstdint>
#include <vector>

#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

inline constexpr int64_t kJvsArea = 0x20000000;

// "jvbk" at 0 and 0x14000 of the area, and the 4 behind the second.
void WriteJvsAreaHeader(SparseImage& image, int area);

// A recording file: a file header of `header_length` bytes (channel, size),
// a 32-byte frame header with the second "JVS", then the stream, which must
// begin with 00 00 00 01 and a 0x6X NAL byte.
Bytes JvsFile(uint8_t channel, const Bytes& stream, uint32_t header_length = 0x80);

struct JvsPieceSpec {
  int area = 0;
  uint32_t offset = 0;  // within the area
  uint32_t length = 0;  // as stored: the data is length - 32 × trim bytes
  uint16_t trim = 0;
};

struct JvsIndexSpec {
  uint8_t channel = 1;  // stored as channel - 1
  uint32_t start = 0;   // seconds since 1970
  uint32_t duration_ms = 0;
  uint32_t size = 0;
  std::vector<JvsPieceSpec> pieces;
};
Bytes JvsIndexBlock(const JvsIndexSpec& spec);

struct JvsExtent {
  int64_t offset = 0;
  uint32_t length = 0;
};

// One recording described by an index block: its data is cut into the
// pieces in order and written where they point.
struct JvsRecordingPlan {
  uint8_t channel = 1;
  uint32_t start = 0;
  uint32_t duration_ms = 0;
  Bytes data;
  std::vector<JvsPieceSpec> pieces;  // lengths are filled in from the data
  int index_area = 0;                // where its index block goes
  int64_t index_at = -1;             // offset in that area; -1: the next free slot
};

struct JvsPlanted {
  uint8_t channel = 0;
  uint32_t start = 0;
  uint32_t end = 0;
  uint32_t size = 0;
  Bytes data;
  std::vector<JvsExtent> extents;
  int64_t index_offset = 0;  // the index block
};

struct JvsFilePlanted {
  uint8_t channel = 0;
  int64_t offset = 0;
  Bytes bytes;
};

struct JvsDisk {
  std::vector<JvsPlanted> recordings;
  std::vector<JvsFilePlanted> files;
};

// Writes the area headers of `areas`, each recording's pieces and its index
// block (blocks of one area follow each other from 4 MiB into it).
JvsDisk BuildJvsDisk(SparseImage& image, const std::vector<int>& areas,
                     const std::vector<JvsRecordingPlan>& plans);
// Plants a recording file at a sector-aligned offset.
JvsFilePlanted PlantJvsFile(SparseImage& image, int64_t offset, uint8_t channel,
                            const Bytes& stream);
// The whole committed stream as one recording file of the given channel.
Bytes JvsStreamFile(uint8_t channel);
// Zeros every index block of the disk: the fast parse then finds nothing.
void WipeJvsIndex(SparseImage& image, const JvsDisk& disk);

}  // namespace orvane::synth
