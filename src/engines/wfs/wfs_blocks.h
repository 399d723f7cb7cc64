#pragma once
// Block summaries of the deep parse and the two deep task bodies.
//
// A deep parse keeps, for every block that holds video, where its frame chain
// starts (the head: bytes that continue a frame of another block) and how it
// ends (the tail: a cut header, or how far the last frame runs past the block
// end). Reading the task joins the blocks again by these ends and by the
// times of their key frames.

#include <cstdint>
#include <span>
#include <vector>

namespace orvane::wfs {

inline constexpr size_t kBlockRecordFixed = 32;
inline constexpr size_t kMaxHeadBytes = 20;
inline constexpr size_t kMaxTailBytes = 19;
inline constexpr size_t kV2RecordSize = 22;

struct BlockRecord {
  uint64_t offset = 0;
  uint32_t length = 0;  // 0 once a chain or a group has used the block
  uint8_t channel = 0;
  uint32_t first_time = 0;  // first key frame of the chain, 0 if none
  uint32_t last_time = 0;
  uint8_t clean = 0;  // 1 when the chain reaches the block end
  uint32_t head_length = 0;
  uint8_t head_count = 0;
  uint32_t tail_value = 0;
  uint8_t tail_count = 0;
  uint8_t head[kMaxHeadBytes] = {};
  uint8_t tail[kMaxTailBytes] = {};

  size_t EncodedSize() const { return kBlockRecordFixed + head_count + tail_count; }
};

// Summarises the block of `length` bytes at the start of `buf`, which must
// hold at least kMaxHeadBytes more bytes behind the block (zeros), so that a
// header at the block end is tested against them. False when the block holds
// no chain of whole frames.
bool SummariseBlock(uint64_t offset, std::span<const uint8_t> buf, uint32_t length,
                    BlockRecord& out);

// Version-1 body: records of 32 + head count + tail count bytes.
void EncodeBlockRecord(const BlockRecord& r, std::vector<uint8_t>& out);
enum class DecodeResult { Ok, Malformed, Short };
// Decodes the record at the start of `bytes`. `used` is its encoded size (also
// for a malformed record, whose counts are out of range and which is to be
// skipped); Short when the record does not lie wholly inside `bytes`.
DecodeResult DecodeBlockRecord(std::span<const uint8_t> bytes, BlockRecord& out, size_t& used);

// Version-2 body: fixed 22-byte records of one block each.
struct TimedExtent {
  uint64_t offset = 0;
  uint32_t length = 0;
  uint8_t channel = 0;
  uint32_t start_time = 0;
  uint32_t end_time = 0;
};
void EncodeTimedExtent(const TimedExtent& r, uint8_t out[kV2RecordSize]);
TimedExtent DecodeTimedExtent(const uint8_t in[kV2RecordSize]);

// The version-2 records of a deep scan's blocks in scan order. A block without
// a key frame takes the last key time seen before it, so that sorting by time
// keeps it beside its neighbours.
std::vector<TimedExtent> TimedExtentsOf(const std::vector<BlockRecord>& blocks);

}  // namespace orvane::wfs
