#pragma once
// Synthetic Dahua-family recorder disks: an area table at the variant's
// position (or only a fallback header), area headers, index entries with
// next/previous links, and data blocks holding real frames of the committed
// H.264 stream, each behind a 24-byte frame header with the 0x81 codec
// extension and a "dhav" trailer, as a Dahua player expects them.

#include <cstdint>
#include <string>
#include <vector>

#include "engines/dahua/dahua_variant.h"
#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

// PackedTime of a civil time (year 2000..2063).
uint32_t PackTime(int year, int month, int day, int hour, int minute, int second);
// A packed time plus some seconds, carried through minutes, hours and days
// of the same month (tests stay well inside one).
uint32_t AddSeconds(uint32_t packed, int64_t seconds);

// One video frame: type 0xFD for key frames, 0xFC otherwise; both carry the
// packed time at 16 and the channel minus 1 at 6.
Bytes DahuaVideoFrame(uint32_t magic, uint8_t channel, uint32_t time, uint32_t number,
                      const Bytes& unit, bool key);
// A frame of type 0xF1 that players skip, `length` >= 32 bytes, trailer included.
Bytes DahuaFillerFrame(uint32_t magic, uint32_t length);
// The frames of a byte stream: each position where the magic starts a header
// whose length fits what follows; video frames only when `video_only`.
std::vector<Bytes> FramesIn(const Bytes& data, uint32_t magic, bool video_only = true);

// How a block's stream ends.
enum class BlockEnd {
  kExact,    // the last frame ends on the block end (a filler closes the gap)
  kPadded,   // a small filler and 200 zero bytes in the block's last sector
  kOpen,     // the frames simply stop; zeros after them
};

struct DahuaAreaSpec {
  int64_t base = 0;             // absolute, a multiple of 512
  uint64_t header_offset = 512;  // relative to the base
  uint32_t unit = 4096;
  uint32_t block_size = 0x400000;  // a multiple of the unit
  uint32_t entries = 16;
  int64_t index_offset = 4096;  // relative, a multiple of the unit
  int64_t data_offset = 0;      // relative, a multiple of the unit
};

// An area of 2 MiB blocks of 512-byte units at 2 MiB into the disk, its
// data `data_offset` bytes behind that: the detection tests shift it off
// the recorders' default smart value.
inline DahuaAreaSpec TwoMiBBlockArea(uint32_t entries, int64_t data_offset) {
  return {.base = 0x200000,
          .unit = 512,
          .block_size = 0x200000,
          .entries = entries,
          .data_offset = data_offset};
}

struct DahuaRecordingSpec {
  int area = 0;
  uint8_t channel = 1;
  std::vector<uint32_t> blocks;  // block indices in playing order
  uint32_t start_time = 0;
  // Video frames to plant; 0 = fill every block.
  int frames = 0;
  BlockEnd end = BlockEnd::kExact;
  // Positions of the frames that cross the chunk boundaries inside a block,
  // cycled through: r >= 0 puts the crossing frame's header r bytes before
  // the boundary (0 = a frame ends on it), -1 leaves it where it falls.
  std::vector<int> straddles;
  int64_t chunk = 0x200000;  // the grid the straddles refer to
  // Dahua blocks may start with a "DHII" block header of this many bytes.
  uint32_t block_header = 0;
  bool link = true;  // write in-use index entries linking the blocks
  // A filler frame of this many bytes (>= 32) after every video frame, to
  // make recordings large without more frames to decode; 0 = none.
  uint32_t filler = 0;
};

struct DahuaPlanted {
  std::vector<Bytes> video;     // the video frames in playing order
  std::vector<int64_t> offsets;  // absolute offset of each video frame
  int64_t bytes = 0;             // bytes of all frames, fillers included
  // Each block as written, whole (block header, frames, zeros behind them),
  // in playing order.
  std::vector<Bytes> blocks;
};

class DahuaDisk {
 public:
  DahuaDisk(int32_t brand, const std::string& path, int64_t size);
  const DahuaVariant& variant() const { return variant_; }
  SparseImage& image() { return image_; }

  // Areas go into the table in the order added; with `in_table` false the
  // disk has no table and the first area's header must sit at a fallback
  // position with base 0.
  int AddArea(const DahuaAreaSpec& spec);
  void SetTable(bool in_table) { in_table_ = in_table; }
  int64_t BlockOffset(int area, uint32_t block) const;
  int64_t DataStart(int area) const;

  DahuaPlanted Plant(const DahuaRecordingSpec& spec);
  // Writes one raw index entry (for links the builder would not make).
  void SetEntry(int area, uint32_t index, uint8_t channel, uint32_t start, uint32_t end,
                uint32_t next, uint32_t previous);
  // Writes the table, the headers and the index; call after planting.
  void Finish();
  // Zeros the table, the area headers and the index tables, as a reformat does.
  void WipeIndex();

 private:
  struct Area {
    DahuaAreaSpec spec;
    std::vector<uint8_t> index;
  };
  const DahuaVariant& variant_;
  SparseImage image_;
  std::vector<Area> areas_;
  bool in_table_ = true;
  uint32_t frame_number_ = 0;
};

}  // namespace orvane::synth
