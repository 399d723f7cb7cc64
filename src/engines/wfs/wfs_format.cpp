#include "engines/wfs/wfs_format.h"

#include <cstring>

#include "device/byte_order.h"
#include "scan/start_code_find.h"
#include "scan/task_head.h"

namespace orvane::wfs {

Superblock DecodeSuperblock(std::span<const uint8_t> b) {
  Superblock sb;
  sb.unit_size = LE32OrZero(b, 0x2C);
  sb.units_per_segment = LE32OrZero(b, 0x30);
  sb.first_index_unit = LE32OrZero(b, 0x44);
  sb.first_segment_unit = LE32OrZero(b, 0x48);
  sb.entry_count = LE32OrZero(b, 0x4C);
  sb.magic = LE32OrZero(b, 0x148);
  return sb;
}

bool IsWfsSuperblock(const Superblock& sb) {
  if (sb.magic != kSuperblockMagic) return false;
  const uint64_t segment = uint64_t{sb.unit_size} * sb.units_per_segment;
  if (segment == 0 || segment > 0xA00000) return false;
  if ((sb.unit_size & 0x1FF) != 0) return false;
  const uint64_t index = uint64_t{sb.entry_count} * 32;
  return index != 0 && index <= 0x1F400000;
}

bool IsWfsSuperblock(std::span<const uint8_t> bytes) {
  return IsWfsSuperblock(DecodeSuperblock(bytes));
}

IndexEntry DecodeIndexEntry(std::span<const uint8_t> b) {
  IndexEntry e;
  e.prev = LE32OrZero(b, 0x04);
  e.next = LE32OrZero(b, 0x08);
  e.start_time = LE32OrZero(b, 0x0C);
  e.end_time = LE32OrZero(b, 0x10);
  e.link = LE32OrZero(b, 0x18);
  e.channel_code = b.size() > 0x1F ? b[0x1F] : 0;
  return e;
}

bool IsValidWfsEntry(const IndexEntry& e, uint32_t count) {
  return IsValidPackedTime(e.start_time) && IsValidPackedTime(e.end_time) && e.prev <= count &&
         e.next <= count && e.link <= count;
}

bool RecogniseKeyFrame(const uint8_t* h, Frame& out) {
  static constexpr uint8_t kAnnexBStart[4] = {0, 0, 0, 1};
  const uint32_t time = LoadLE32(h + 8);
  const uint32_t length = LoadLE32(h + 12);
  if (length < kMinKeyPayload || length > kMaxKeyPayload ||
      std::memcmp(h + 16, kAnnexBStart, 4) != 0 || !IsValidPackedTime(time))
    return false;
  out = {length + 16, FrameKey, time, kKeyFrameCode};
  return true;
}

size_t FindStartCode(std::span<const uint8_t> bytes, size_t from) {
  const size_t n = bytes.size();
  const uint8_t* p = bytes.data();
  // The 01 of a code at i sits at i + 2, its kind at i + 3.
  if (n < 4 || from > n - 4) return n;
  for (size_t at = from + 2;;) {
    const size_t k = FindOneBehindZeros(p, at, n - 1, 2);
    if (k >= n - 1) return n;
    const uint8_t kind = p[k + 1];
    if (kind == 0xFC || kind == 0xFD || kind == 0xFA) return k - 2;
    at = k + 1;
  }
}

}  // namespace orvane::wfs
