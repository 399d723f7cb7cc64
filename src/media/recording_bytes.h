#pragma once
// The bytes of one recording as one stream: its fragments read from the
// source device in order, one after the other, never more than one piece of
// them in memory.

#include <cstddef>
#include <cstdint>

#include "recordings/export.h"
#include "scan/recording_entry.h"

namespace orvane {

class SourceDevice;

class RecordingBytes {
 public:
  // `device` and `entry` must outlive the reader.
  RecordingBytes(SourceDevice& device, const RecordingEntry& entry);

  // Up to `n` bytes from the current position; 0 at the end. Unreadable
  // sectors read as zeros (and count in loss()); bytes past the device end
  // are not part of the stream.
  size_t Read(uint8_t* out, size_t n);
  // Moves to a position of the stream; false outside 0..size().
  bool Seek(int64_t position);
  int64_t position() const { return position_; }
  // Bytes of all fragments together.
  int64_t size() const { return size_; }
  const ReadLoss& loss() const { return loss_; }

 private:
  SourceDevice& device_;
  const RecordingEntry& entry_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  uint32_t fragment_ = 0;       // fragment holding the position
  int64_t fragment_start_ = 0;  // stream position of its first byte
  int64_t device_size_ = 0;
  ReadLoss loss_;
};

}  // namespace orvane
