#pragma once
// Little-endian field access for on-disk and task-file records.
//
// Records are never cast over raw bytes: each field is decoded at its stated
// offset. The checked forms take the whole buffer and fail (returning false)
// when the field would run past its end, so a length or offset read from a
// damaged disk can never turn into an over-read.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace orvane {

inline uint16_t LoadLE16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadLE32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline uint64_t LoadLE64(const uint8_t* p) {
  return static_cast<uint64_t>(LoadLE32(p)) | (static_cast<uint64_t>(LoadLE32(p + 4)) << 32);
}
inline uint16_t LoadBE16(const uint8_t* p) {
  return static_cast<uint16_t>((p[0] << 8) | p[1]);
}
inline uint32_t LoadBE32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline void StoreLE16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreLE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreLE64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
inline void StoreBE32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * (3 - i)));
}

// True when [offset, offset + width) lies inside a buffer of `size` bytes,
// written so that no addition can overflow.
inline bool FieldFits(size_t size, size_t offset, size_t width) {
  return offset <= size && width <= size - offset;
}

inline bool ReadLE16(std::span<const uint8_t> buf, size_t off, uint16_t& out) {
  if (!FieldFits(buf.size(), off, 2)) return false;
  out = LoadLE16(buf.data() + off);
  return true;
}
inline bool ReadLE32(std::span<const uint8_t> buf, size_t off, uint32_t& out) {
  if (!FieldFits(buf.size(), off, 4)) return false;
  out = LoadLE32(buf.data() + off);
  return true;
}
inline bool ReadLE64(std::span<const uint8_t> buf, size_t off, uint64_t& out) {
  if (!FieldFits(buf.size(), off, 8)) return false;
  out = LoadLE64(buf.data() + off);
  return true;
}

// Field of a buffer, or zero when it does not fit: for records whose missing
// tail is defined to read as zero (a truncated task head, for instance).
inline uint32_t LE32OrZero(std::span<const uint8_t> buf, size_t off) {
  uint32_t v = 0;
  ReadLE32(buf, off, v);
  return v;
}
inline uint64_t LE64OrZero(std::span<const uint8_t> buf, size_t off) {
  uint64_t v = 0;
  ReadLE64(buf, off, v);
  return v;
}

inline bool BytesEqual(std::span<const uint8_t> buf, size_t off, const void* pattern, size_t n) {
  return FieldFits(buf.size(), off, n) && std::memcmp(buf.data() + off, pattern, n) == 0;
}

}  // namespace orvane
