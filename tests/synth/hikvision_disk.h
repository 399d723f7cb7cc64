#pragma once
// Synthetic Hikvision recorder disks: the header at byte 512, 1 GiB data
// blocks with their index in the last MiB, and recordings made of the
// program-stream packs the recorder writes (pack header, a stream map with
// the "HK" mark and the time words, PES packets of stream 0xE0 carrying the
// committed H.264 frames). Images are sparse: only what is planted costs
// disk space.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "synth/h264_stream.h"
#include "synth/sparse_image.h"

namespace orvane::synth {

// The recorder's packed time (year - 2000 in the top six bits ... seconds in
// the lowest six) of a UTC time in Unix seconds.
uint32_t PackedTimeFromUnix(int64_t unix_seconds);
// Unix seconds of a UTC civil time.
int64_t UnixTime(int year, int month, int day, int hour, int minute, int second);

// Bytes of the pack header and stream map in front of a pack's PES packets.
inline constexpr size_t kHikPackHeaderBytes = 54;

// One pack: pack header (start code at 0), stream map at 20 with "HK" at 32
// and the time words at 36 and 40, then PES packets of stream 0xE0 holding
// `payload` (none for an empty payload) stamped with `pts` (90 kHz).
Bytes MakeHikvisionPack(uint32_t packed_time, const Bytes& payload, uint64_t pts);

struct HikRecordingSpec {
  int channel = 1;
  int64_t start_unix = 0;  // time of the first frame, UTC
  int frames = 100;        // frames of TestFrames(), looping after the last
  int fps = 25;
};

// A recording as it lies on the disk.
struct HikPlanted {
  int64_t offset = 0;       // device offset of its first pack
  Bytes bytes;              // everything written: the frame packs and a closing pack
  int64_t deep_length = 0;  // frame packs only: what the pack scan measures
  int channel = 0;
  int frames = 0;
  uint32_t start_unix = 0;  // time of the first frame
  uint32_t end_unix = 0;    // time of the last frame (and of the closing pack)
  uint32_t start_packed = 0;
  uint32_t end_packed = 0;
  int64_t length() const { return static_cast<int64_t>(bytes.size()); }
};

// The packs of a recording: one per frame, each stamped with its frame's
// second, and a closing pack without video at the last frame's time, so
// that a pack scan (which measures a recording up to the start of its last
// pack) takes in every frame.
Bytes MakeHikvisionRecording(const HikRecordingSpec& spec, int64_t* deep_length = nullptr);

struct HikvisionDiskOptions {
  int64_t first_block = 0x100000;
  int64_t block_size = 0x40000000;
  int64_t blocks = 2;
  // Image size; 0 = first block + blocks × block size.
  int64_t size = 0;
  bool write_header = true;
};

class HikvisionDisk {
 public:
  static constexpr int64_t kIndexOffset = 0x3FF00000;
  static constexpr int64_t kIndexBytes = 0x100000;
  static constexpr int kEntryBytes = 512;

  HikvisionDisk(const std::string& path, const HikvisionDiskOptions& options = {});

  SparseImage& image() { return *image_; }
  const std::string& path() const { return image_->path(); }
  int64_t size() const { return image_->size(); }
  int64_t BlockBase(int64_t block) const { return options_.first_block + block * options_.block_size; }

  // The header sector at 512 with any values (a damaged layout, a claim of
  // more blocks than the disk holds). `signature` false leaves the mark out.
  void WriteHeader(uint64_t first_block, uint64_t data_area, uint64_t block_size,
                   bool signature = true);
  // Plants a recording at `offset_in_block` of `block` and, when `indexed`,
  // an index entry naming it in the block's next free slot.
  HikPlanted AddRecording(int64_t block, int64_t offset_in_block, const HikRecordingSpec& spec,
                          bool indexed = true);
  // Plants a recording at any device offset, unindexed.
  HikPlanted AddRecordingAt(int64_t offset, const HikRecordingSpec& spec);
  // A single pack at a device offset.
  void WritePack(int64_t offset, uint32_t packed_time, const Bytes& payload = {});
  // An index entry of any values (slot 0..2047).
  void WriteIndexEntry(int64_t block, int slot, uint8_t channel, uint32_t start_time,
                       uint32_t end_time, uint32_t start, uint32_t end);
  // Zeros the index of every block, as a reformat does: only a pack scan
  // finds the recordings afterwards.
  void WipeIndex();
  void WipeIndex(int64_t block);

 private:
  HikvisionDiskOptions options_;
  std::unique_ptr<SparseImage> image_;
  std::vector<int> next_slot_;
};

}  // namespace orvane::synth
