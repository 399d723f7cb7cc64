#pragma once
// The 33-byte record of a fast parse: one in-use index entry.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "scan/recording_entry.h"

namespace orvane {

inline constexpr size_t kFastRecordSize = 33;

struct FastRecord {
  uint8_t channel = 0;
  uint32_t block = 0;
  uint32_t next = 0;
  uint32_t previous = 0;
  uint32_t start_time = 0;
  uint32_t end_time = 0;
  uint32_t block_size = 0;
  uint64_t offset = 0;
  // An all-zero record closes the records of one area.
  bool is_terminator() const { return channel == 0 && block_size == 0; }
};

void EncodeFastRecord(const FastRecord& r, uint8_t* out);
FastRecord DecodeFastRecord(const uint8_t* in);

// Rebuilds the recordings of one area by following the previous and next
// links from the lowest block index on; the map is emptied.
void GroupFastRecords(std::map<uint32_t, FastRecord>& blocks, std::vector<RecordingEntry>& out);

}  // namespace orvane
