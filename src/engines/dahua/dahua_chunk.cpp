// Version-1 chunk analysis and the chunk-record codec.

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "engines/dahua/dahua_scan_parts.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_X86 1
#endif

namespace orvane {

namespace {

#if defined(ORVANE_X86)
// Any occurrence of the magic at x >= i puts, on the grid of 2-byte words
// counted from i, either its first two bytes at x (x - i even) or its middle
// two at x + 1 (x - i odd). So one load and two 16-bit compares test 16
// words, and on zeros and noise almost no 128-byte step has a candidate
// (about two words in 65,536), which keeps the loop free of mispredicted
// branches and close to memory speed.
// True with `i` on the hit; false with `i` where fewer than 128 bytes remain.
__attribute__((target("avx2"))) bool FindMagicAvx2(const uint8_t* p, size_t& i, size_t end,
                                                    uint32_t magic) {
  const size_t from = i;
  const __m256i head = _mm256_set1_epi16(static_cast<short>(magic & 0xFFFF));
  const __m256i middle = _mm256_set1_epi16(static_cast<short>((magic >> 8) & 0xFFFF));
  while (i + 128 <= end) {
    const uint8_t* q = p + i;
    __m256i h[4], m[4];
    for (int k = 0; k < 4; ++k) {
      const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 * k));
      h[k] = _mm256_cmpeq_epi16(w, head);
      m[k] = _mm256_cmpeq_epi16(w, middle);
    }
    const __m256i any = _mm256_or_si256(
        _mm256_or_si256(_mm256_or_si256(h[0], h[1]), _mm256_or_si256(h[2], h[3])),
        _mm256_or_si256(_mm256_or_si256(m[0], m[1]), _mm256_or_si256(m[2], m[3])));
    if (__builtin_expect(!_mm256_testz_si256(any, any), 0)) {
      constexpr uint64_t kEven = 0x5555555555555555ull;
      for (int half = 0; half < 2; ++half) {
        const size_t base = i + 64 * static_cast<size_t>(half);
        const uint64_t hb =
            (static_cast<uint32_t>(_mm256_movemask_epi8(h[2 * half])) |
             (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(h[2 * half + 1]))) << 32)) &
            kEven;
        const uint64_t mb =
            (static_cast<uint32_t>(_mm256_movemask_epi8(m[2 * half])) |
             (static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(m[2 * half + 1]))) << 32)) &
            kEven;
        // A middle pair at the very start points one byte back.
        if ((mb & 1) && base > from && LoadLE32(p + base - 1) == magic) {
          i = base - 1;
          return true;
        }
        uint64_t cand = hb | (mb >> 1);
        while (cand != 0) {
          const unsigned bit = static_cast<unsigned>(__builtin_ctzll(cand));
          if (LoadLE32(p + base + bit) == magic) {
            i = base + bit;
            return true;
          }
          cand &= cand - 1;
        }
      }
    }
    i += 128;
  }
  return false;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

}  // namespace

size_t FindMagic(const uint8_t* p, size_t from, size_t end, uint32_t magic) {
  const uint8_t b0 = static_cast<uint8_t>(magic);
  const uint8_t b1 = static_cast<uint8_t>(magic >> 8);
  size_t i = from;
#if defined(ORVANE_X86)
  if (kHasAvx2) {
    if (FindMagicAvx2(p, i, end, magic)) return i;
    // A magic in the last byte of the vector steps has its middle pair in
    // the bytes they left; the plain search takes it up from there.
    if (i > from) --i;
  }
#endif
#if defined(__SSE2__)
  // Sixteen candidates at a time: a position survives only when its byte and
  // the next one match the first two magic bytes, which on noise leaves about
  // one position in 65,536 for the full compare.
  const __m128i v0 = _mm_set1_epi8(static_cast<char>(b0));
  const __m128i v1 = _mm_set1_epi8(static_cast<char>(b1));
  while (i + 16 <= end) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v0), _mm_cmpeq_epi8(b, v1))));
    while (mask != 0) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (LoadLE32(p + i + bit) == magic) return i + bit;
      mask &= mask - 1;
    }
    i += 16;
  }
#endif
  while (i < end) {
    const void* hit = std::memchr(p + i, b0, end - i);
    if (!hit) return end;
    i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - p);
    if (LoadLE32(p + i) == magic) return i;
    ++i;
  }
  return end;
}

bool AnalyzeChunk(const uint8_t* chunk, size_t n, int64_t offset, uint32_t magic, ChunkSummary& out) {
  out = ChunkSummary{};
  out.offset = offset;
  out.length = static_cast<uint32_t>(n);
  uint8_t magic_bytes[4];
  StoreLE32(magic_bytes, magic);

  size_t i = 0;
  bool absorbed = false;
  enum { kNone, kComplete, kBroken } outcome = kNone;
  while (i < n) {
    if (!absorbed) {
      // Before the run starts only a magic can begin a frame; jump to it.
      i = FindMagic(chunk, i, n, magic);
      if (i >= n) break;
    }
    const DahuaFrame f = ParseFrameHeader(chunk + i, kDahuaFrameHeaderSize, magic);
    if (f.kind == kDahuaNoFrame) {
      if (absorbed) {
        outcome = kBroken;
        break;
      }
      ++i;
      continue;
    }
    const int64_t e = static_cast<int64_t>(i) + f.length;
    const int64_t r = static_cast<int64_t>(n) - e;
    if (r < 0) {
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(e - static_cast<int64_t>(n));
      break;
    }
    if (r == 0) {
      outcome = kComplete;
      break;
    }
    const uint8_t* after = chunk + e;
    if (r < 4) {
      if (std::memcmp(after, magic_bytes, static_cast<size_t>(r)) != 0) {
        outcome = kBroken;
        break;
      }
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(r);
      out.tail_count = static_cast<uint8_t>(r);
      std::memcpy(out.tail, after, static_cast<size_t>(r));
      break;
    }
    if (LoadLE32(after) != magic) {
      outcome = kBroken;
      break;
    }
    if (r < static_cast<int64_t>(kDahuaFrameHeaderSize)) {
      outcome = kComplete;
      out.tail_value = static_cast<uint32_t>(r);
      out.tail_count = static_cast<uint8_t>(r);
      std::memcpy(out.tail, after, static_cast<size_t>(r));
      break;
    }
    if (!absorbed) out.head_length = static_cast<uint32_t>(i);
    absorbed = true;
    if (f.kind == kDahuaTimeFrame) {
      if (out.first_time == 0) out.first_time = f.time;
      out.last_time = f.time;
      out.channel = f.channel;
    }
    i = static_cast<size_t>(e);
  }

  const bool kept =
      (outcome == kComplete && absorbed) || (outcome == kBroken && out.first_time != 0);
  if (!kept) return false;
  // A run that breaks off inside the chunk still tells by its head which
  // chunk it continues; nothing continues it, so it keeps no tail.
  out.head_count = static_cast<uint8_t>(std::min<uint32_t>(out.head_length, kDahuaMaxHeadBytes));
  std::memcpy(out.head, chunk, out.head_count);
  out.reaches_end = outcome == kComplete ? 1 : 0;
  return true;
}

size_t ChunkRecordSize(const ChunkSummary& s) {
  return kDahuaChunkRecordFixed + s.head_count + s.tail_count;
}

void EncodeChunkRecord(const ChunkSummary& s, uint8_t* out) {
  StoreLE64(out, static_cast<uint64_t>(s.offset));
  StoreLE32(out + 8, s.length);
  out[12] = s.channel;
  StoreLE32(out + 13, s.first_time);
  StoreLE32(out + 17, s.last_time);
  out[21] = s.reaches_end;
  StoreLE32(out + 22, s.head_length);
  out[26] = s.head_count;
  StoreLE32(out + 27, s.tail_value);
  out[31] = s.tail_count;
  std::memcpy(out + 32, s.head, s.head_count);
  std::memcpy(out + 32 + s.head_count, s.tail, s.tail_count);
}

size_t DecodeChunkRecord(std::span<const uint8_t> b, ChunkSummary& s) {
  if (b.size() < kDahuaChunkRecordFixed) return 0;
  const uint8_t* p = b.data();
  const size_t h = p[26];
  const size_t t = p[31];
  const size_t size = kDahuaChunkRecordFixed + h + t;
  if (size > b.size()) return 0;
  s = ChunkSummary{};
  s.offset = static_cast<int64_t>(LoadLE64(p));
  s.length = LoadLE32(p + 8);
  s.channel = p[12];
  s.first_time = LoadLE32(p + 13);
  s.last_time = LoadLE32(p + 17);
  s.reaches_end = p[21];
  s.head_length = LoadLE32(p + 22);
  s.tail_value = LoadLE32(p + 27);
  // A foreign file may claim more bytes than a chunk end can carry: keep
  // what fits the copies, skip the rest with the record.
  s.head_count = static_cast<uint8_t>(std::min(h, kDahuaMaxHeadBytes));
  s.tail_count = static_cast<uint8_t>(std::min(t, kDahuaMaxTailBytes));
  std::memcpy(s.head, p + 32, s.head_count);
  std::memcpy(s.tail, p + 32 + h, s.tail_count);
  return size;
}

int64_t GridStart(int64_t region_start, int64_t smart_value, int32_t buffer) {
  if (buffer <= 0) return region_start;
  if (region_start > smart_value) {
    return smart_value + (region_start - smart_value) / buffer * static_cast<int64_t>(buffer);
  }
  return smart_value;
}

}  // namespace orvane
