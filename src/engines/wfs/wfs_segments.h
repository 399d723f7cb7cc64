#pragma once
// The 33-byte segment records of a fast task and the recordings they form by
// the index's previous/next links.

#include <cstdint>
#include <vector>

#include "engines/wfs/wfs_format.h"
#include "scan/recording_entry.h"

namespace orvane::wfs {

inline constexpr size_t kSegmentRecordSize = 33;

struct SegmentRecord {
  uint8_t channel = 0;
  uint32_t entry = 0;
  uint32_t next = 0;
  uint32_t prev = 0;
  uint32_t start_time = 0;
  uint32_t end_time = 0;
  uint32_t size = 0;
  uint64_t offset = 0;

  // A record of zero channel and size ends a run of records.
  bool is_terminator() const { return channel == 0 && size == 0; }
};

SegmentRecord SegmentRecordOf(const IndexEntry& e, uint32_t entry, const Superblock& sb);
void EncodeSegmentRecord(const SegmentRecord& r, uint8_t out[kSegmentRecordSize]);
SegmentRecord DecodeSegmentRecord(const uint8_t in[kSegmentRecordSize]);

// Builds the recordings of one run of records (consumed): from the smallest
// unused entry number backwards and forwards along the links while the
// channel stays the same. A duplicate entry number keeps its first record.
void LinkSegments(std::vector<SegmentRecord>& run, std::vector<RecordingEntry>& out);

}  // namespace orvane::wfs
