#include "scan/magic_find.h"

#include <algorithm>

#include "device/byte_order.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_X86 1
#endif

namespace orvane {

namespace {

// The two bytes of `magic` at `q` and q + 1 as a little-endian word.
uint16_t PairAt(uint32_t magic, int q) { return static_cast<uint16_t>(magic >> (8 * q)); }

// Which adjacent pair of the signature the close look compares first: the
// one with the fewest zero bytes, since video and empty disks are full of
// zeros.
int RarestPair(uint32_t magic) {
  int best = 0, best_zeros = 3;
  for (int q = 0; q < 3; ++q) {
    const uint16_t pair = PairAt(magic, q);
    const int zeros = ((pair & 0xFF) == 0) + ((pair >> 8) == 0);
    if (zeros < best_zeros) best = q, best_zeros = zeros;
  }
  return best;
}

// The close look at [from, end): every position whose rarest pair matches
// gets the full compare.
size_t FindPlain(const uint8_t* p, size_t from, size_t end, uint32_t magic) {
  const int q = RarestPair(magic);
  const uint8_t c0 = static_cast<uint8_t>(magic >> (8 * q));
  const uint8_t c1 = static_cast<uint8_t>(magic >> (8 * q + 8));
  size_t i = from;
#if defined(__SSE2__)
  const __m128i v0 = _mm_set1_epi8(static_cast<char>(c0));
  const __m128i v1 = _mm_set1_epi8(static_cast<char>(c1));
  for (; i + 16 <= end; i += 16) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + q));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + i + q + 1));
    unsigned mask = static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(a, v0), _mm_cmpeq_epi8(b, v1))));
    while (mask != 0) {
      const unsigned bit = static_cast<unsigned>(__builtin_ctz(mask));
      if (LoadLE32(p + i + bit) == magic) return i + bit;
      mask &= mask - 1;
    }
  }
#endif
  for (; i < end; ++i)
    if (p[i + q] == c0 && LoadLE32(p + i) == magic) return i;
  return end;
}

// Every occurrence at x puts one of two adjacent pairs of the signature
// (those at j and j + 1) on a word that starts an even distance from the
// block's start, so a block is tested with one load per vector and two
// 16-bit compares, whatever x's alignment. The pairs are chosen away from
// zero words, which fill empty disks. A block that passes is looked at
// closely over the positions whose paired word lies in it.
int GridPair(uint32_t magic) { return (PairAt(magic, 0) == 0 || PairAt(magic, 1) == 0) ? 1 : 0; }

// Inlined into each vector search, so that the block test is too.
template <size_t kBlock, class MayHold>
__attribute__((always_inline)) inline size_t FindByBlocks(const uint8_t* p, size_t from, size_t end,
                                                          uint32_t magic, int j,
                                                          MayHold&& may_hold) {
  const size_t back = static_cast<size_t>(j) + 1;
  size_t base = FirstLineStart(p, from, end);
  if (base > from) {
    const size_t hit = FindPlain(p, from, base, magic);
    if (hit < base) return hit;
  }
  for (; base + kBlock <= end; base += kBlock) {
    if (__builtin_expect(!may_hold(p + base), 1)) continue;
    const size_t lo = std::max(from, base >= back ? base - back : 0);
    const size_t hi = std::min(end, base + kBlock - static_cast<size_t>(j));
    const size_t hit = FindPlain(p, lo, hi, magic);
    if (hit < hi) return hit;
  }
  return FindPlain(p, std::max(from, base >= back ? base - back : 0), end, magic);
}

#if ORVANE_X86
__attribute__((target("avx2"))) size_t FindAvx2(const uint8_t* p, size_t from, size_t end,
                                                uint32_t magic) {
  const int j = GridPair(magic);
  const __m256i first = _mm256_set1_epi16(static_cast<short>(PairAt(magic, j)));
  const __m256i second = _mm256_set1_epi16(static_cast<short>(PairAt(magic, j + 1)));
  return FindByBlocks<128>(
      p, from, end, magic, j, [&](const uint8_t* q) __attribute__((target("avx2"))) {
        __m256i any = _mm256_setzero_si256();
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) {
          const __m256i w = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(q + 32 * k));
          any = _mm256_or_si256(
              any, _mm256_or_si256(_mm256_cmpeq_epi16(w, first), _mm256_cmpeq_epi16(w, second)));
        }
        return !_mm256_testz_si256(any, any);
      });
}

__attribute__((target("avx512f,avx512bw"))) size_t FindAvx512(const uint8_t* p, size_t from,
                                                              size_t end, uint32_t magic) {
  const int j = GridPair(magic);
  const __m512i first = _mm512_set1_epi16(static_cast<short>(PairAt(magic, j)));
  const __m512i second = _mm512_set1_epi16(static_cast<short>(PairAt(magic, j + 1)));
  return FindByBlocks<256>(
      p, from, end, magic, j, [&](const uint8_t* q) __attribute__((target("avx512f,avx512bw"))) {
        __m512i w[4];
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k) w[k] = _mm512_loadu_si512(q + 64 * k);
        // Empty disks are mostly zeros, which hold neither pair: three ORs
        // and one test pass them over.
        const __m512i all =
            _mm512_or_si512(_mm512_or_si512(w[0], w[1]), _mm512_or_si512(w[2], w[3]));
        if (_mm512_test_epi64_mask(all, all) == 0) return false;
        __mmask32 any = 0;
#pragma GCC unroll 4
        for (int k = 0; k < 4; ++k)
          any |= _mm512_cmpeq_epi16_mask(w[k], first) | _mm512_cmpeq_epi16_mask(w[k], second);
        return any != 0;
      });
}
#endif

}  // namespace

size_t FindMagicUsing(SearchIsa isa, const uint8_t* p, size_t from, size_t end, uint32_t magic) {
  if (from >= end) return end;
#if ORVANE_X86
  if (isa == SearchIsa::kAvx512) return FindAvx512(p, from, end, magic);
  if (isa == SearchIsa::kAvx2) return FindAvx2(p, from, end, magic);
#endif
  (void)isa;
  return FindPlain(p, from, end, magic);
}

size_t FindMagic(const uint8_t* p, size_t from, size_t end, uint32_t magic) {
  return FindMagicUsing(HostSearchIsa(), p, from, end, magic);
}

}  // namespace orvane
