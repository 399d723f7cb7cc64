#pragma once
// WFS on-disk structures and the pure tests on them: the superblock at
// 0x3000, the 32-byte index entries and the stream frames of the segments.
// Brand identification uses the same tests, so they live apart from the
// engine.

#include <cstdint>
#include <cstring>
#include <span>

#include "device/byte_order.h"

namespace orvane::wfs {

inline constexpr int64_t kSuperblockOffset = 0x3000;
inline constexpr size_t kSuperblockSize = 512;
inline constexpr uint32_t kSuperblockMagic = 0x789ABCDE;
inline constexpr size_t kIndexEntrySize = 32;

// Frame start codes 00 00 01 FC / FD / FA read as little-endian words.
inline constexpr uint32_t kKeyFrameCode = 0xFC010000;
inline constexpr uint32_t kVideoFrameCode = 0xFD010000;
inline constexpr uint32_t kAudioFrameCode = 0xFA010000;

// The smallest header of each kind whose test can be run, and the largest.
inline constexpr size_t kKeyHeaderTestable = 20;
inline constexpr size_t kVideoHeaderTestable = 12;
inline constexpr size_t kAudioHeaderTestable = 8;
inline constexpr size_t kMaxHeaderTestable = kKeyHeaderTestable;

inline constexpr uint32_t kMinKeyPayload = 5;
inline constexpr uint32_t kMaxKeyPayload = 0x1FFFEF;
inline constexpr uint32_t kMaxVideoPayload = 0x1FFFF7;

struct Superblock {
  uint32_t unit_size = 0;
  uint32_t units_per_segment = 0;
  uint32_t first_index_unit = 0;
  uint32_t first_segment_unit = 0;
  uint32_t entry_count = 0;
  uint32_t magic = 0;

  uint32_t segment_size() const { return unit_size * units_per_segment; }
  int64_t index_start() const { return int64_t{first_index_unit} * unit_size; }
  int64_t index_length() const { return int64_t{entry_count} * 32; }
  int64_t index_end() const { return index_start() + index_length(); }
  int64_t segment_area_start() const { return int64_t{first_segment_unit} * unit_size; }
  int64_t segment_offset(uint32_t n) const {
    return segment_area_start() + int64_t{n} * segment_size();
  }
};

// Fields of the superblock; bytes missing from a short buffer read as zero.
Superblock DecodeSuperblock(std::span<const uint8_t> bytes);
// Magic, a segment of 1 byte .. 10 MiB, a unit size that is a multiple of
// 512, and an index of 1 byte .. 500 MiB.
bool IsWfsSuperblock(const Superblock& sb);
bool IsWfsSuperblock(std::span<const uint8_t> bytes);

struct IndexEntry {
  uint32_t prev = 0;
  uint32_t next = 0;
  uint32_t start_time = 0;
  uint32_t end_time = 0;
  uint32_t link = 0;
  uint8_t channel_code = 0;

  uint8_t channel() const { return static_cast<uint8_t>((channel_code >> 2) + 1); }
};

// One 32-byte entry; bytes missing from a short buffer read as zero.
IndexEntry DecodeIndexEntry(std::span<const uint8_t> bytes);
// Both times plausible and every link within the entry count (equal passes:
// it is what the recorder writes for "no link").
bool IsValidWfsEntry(const IndexEntry& e, uint32_t entry_count);

enum FrameKind : uint8_t { FrameNone = 0, FrameKey = 1, FrameOther = 2 };

struct Frame {
  uint32_t size = 0;  // header and payload
  FrameKind kind = FrameNone;
  uint32_t time = 0;  // key frames only
  uint32_t code = 0;  // the start code word
};

// True for one of the three start codes.
inline bool IsStartCode(uint32_t w) {
  return w == kKeyFrameCode || w == kVideoFrameCode || w == kAudioFrameCode;
}
// Testable header length of the frame kind a start code begins.
inline size_t TestableHeader(uint32_t code) {
  switch (code) {
    case kKeyFrameCode:
      return kKeyHeaderTestable;
    case kVideoFrameCode:
      return kVideoHeaderTestable;
    case kAudioFrameCode:
      return kAudioHeaderTestable;
    default:
      return 0;
  }
}

// The frame test on a header of kMaxHeaderTestable readable bytes.
bool RecogniseKeyFrame(const uint8_t* h, Frame& out);
inline bool RecogniseHeader(const uint8_t* h, Frame& out) {
  static constexpr uint8_t kAnnexBStart[4] = {0, 0, 0, 1};
  const uint32_t code = LoadLE32(h);
  switch (code) {
    case kKeyFrameCode:
      return RecogniseKeyFrame(h, out);
    case kVideoFrameCode: {
      const uint32_t length = LoadLE32(h + 4);
      if (length > kMaxVideoPayload || std::memcmp(h + 8, kAnnexBStart, 4) != 0) return false;
      out = {length + 8, FrameOther, 0, code};
      return true;
    }
    case kAudioFrameCode:
      out = {uint32_t{LoadLE16(h + 6)} + 8, FrameOther, 0, code};
      return true;
    default:
      return false;
  }
}

// Recognises a frame header at the start of `bytes`; bytes beyond the span
// count as zero, so a header cut by the end of a buffer fails its test
// instead of being read past.
inline bool RecogniseFrame(std::span<const uint8_t> bytes, Frame& out) {
  if (bytes.size() >= kMaxHeaderTestable) return RecogniseHeader(bytes.data(), out);
  uint8_t h[kMaxHeaderTestable] = {};
  std::memcpy(h, bytes.data(), bytes.size());
  return RecogniseHeader(h, out);
}

// Position of the next 00 00 01 FC/FD/FA start code at or after `from` whose
// four bytes lie inside `bytes`, or bytes.size() when there is none. Skips
// with memchr, so long runs without a candidate cost little.
size_t FindStartCode(std::span<const uint8_t> bytes, size_t from);

}  // namespace orvane::wfs
