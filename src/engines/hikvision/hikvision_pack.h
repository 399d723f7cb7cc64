#pragma once
// Recognising the program-stream packs a Hikvision recorder writes, and
// grouping them into recordings by their time stamps.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <vector>

#include "device/byte_order.h"
#include "engines/hikvision/hikvision_record.h"
#include "scan/search_isa.h"

namespace orvane::hikvision {

// Bytes of a pack that the signature and the time stamp occupy.
inline constexpr size_t kPackProbeBytes = 44;
// A segment is cut when the next pack's time lies further than this behind
// the last one (or before it) ...
inline constexpr int64_t kMaxPackGapSeconds = 15;
// ... or when the recording would reach this size.
inline constexpr int64_t kMaxSegmentBytes = 0x40000000;
// Length given to a segment of one pack; such segments are dropped.
inline constexpr int32_t kSinglePackLength = 512;

// The pack start code 00 00 01 BA, read little-endian.
inline constexpr uint32_t kPackStartCode = 0xBA010000;

// Pack start code at 0, stream map at 20, the "HK" mark at 32. `p` must give
// kPackProbeBytes bytes.
inline bool IsPackAt(const uint8_t* p) {
  static constexpr uint8_t kPack[4] = {0x00, 0x00, 0x01, 0xBA};
  static constexpr uint8_t kMap[4] = {0x00, 0x00, 0x01, 0xBC};
  return std::memcmp(p, kPack, 4) == 0 && std::memcmp(p + 20, kMap, 4) == 0 && p[32] == 'H' &&
         p[33] == 'K';
}

// The packed time of a pack: 30 bits of the word at 36 and the top two bits
// of the word at 40, both big-endian.
inline uint32_t PackTime(const uint8_t* p) {
  return (LoadBE32(p + 36) << 2) | (LoadBE32(p + 40) >> 30);
}

// Appends to `out` every i < positions where a pack starts. The buffer must
// hold positions + kPackProbeBytes bytes. Candidates come from a wide compare
// of the start code, so the full test runs on roughly one offset in 65,536
// of random data; the widest vectors the processor has are used.
void FindPackStarts(const uint8_t* buf, size_t positions, std::vector<uint32_t>& out);
// The same with the instructions of `isa`, which the processor must run.
void FindPackStartsUsing(SearchIsa isa, const uint8_t* buf, size_t positions,
                         std::vector<uint32_t>& out);

// Calls on_pack(i) for every pack start, in order.
template <class OnPack>
void ForEachPack(const uint8_t* buf, size_t positions, OnPack&& on_pack) {
  thread_local std::vector<uint32_t> starts;
  starts.clear();
  FindPackStarts(buf, positions, starts);
  for (uint32_t i : starts) on_pack(static_cast<size_t>(i));
}

// The open segment of the deep parse: packs whose times follow each other
// within kMaxPackGapSeconds make one recording, from its first pack to the
// start of its last.
class SegmentTracker {
 public:
  // Feeds the pack at device offset `position` with time `time`. Returns the
  // segment this pack closed, when it spans more than one pack.
  std::optional<TaskRecord> OnPack(int64_t position, uint32_t time);
  // The open segment at the end of a run, when it spans more than one pack.
  std::optional<TaskRecord> Finish();
  bool open() const { return open_.length != 0; }

 private:
  TaskRecord open_;  // length 0: none open
};

}  // namespace orvane::hikvision
