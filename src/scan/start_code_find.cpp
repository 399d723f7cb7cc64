#include "scan/start_code_find.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_X86 1
#endif

namespace orvane {

namespace {

size_t FindScalar(const uint8_t* p, size_t from, size_t end, int zeros) {
  for (size_t k = from; k < end; ++k) {
    if (p[k] != 1 || p[k - 1] != 0 || p[k - 2] != 0) continue;
    if (zeros == 3 && p[k - 3] != 0) continue;
    return k;
  }
  return end;
}

#if ORVANE_X86
// Marks the lanes of the 32 positions from `at` that hold a 01 behind
// `zeros` zero bytes.
__attribute__((target("avx2"))) inline __m256i Hits(const uint8_t* p, size_t at, int zeros) {
  auto load = [&](size_t back) __attribute__((target("avx2"))) {
    return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + at - back));
  };
  __m256i behind = _mm256_or_si256(load(1), load(2));
  if (zeros == 3) behind = _mm256_or_si256(behind, load(3));
  return _mm256_and_si256(_mm256_cmpeq_epi8(load(0), _mm256_set1_epi8(1)),
                          _mm256_cmpeq_epi8(behind, _mm256_setzero_si256()));
}

__attribute__((target("avx2"))) size_t FindAvx2(const uint8_t* p, size_t from, size_t end,
                                                int zeros) {
  size_t k = from;
  // Two blocks a turn with one test for both: a hit is rare.
  for (; k + 64 <= end; k += 64) {
    const __m256i a = Hits(p, k, zeros);
    const __m256i b = Hits(p, k + 32, zeros);
    if (_mm256_testz_si256(_mm256_or_si256(a, b), _mm256_set1_epi8(-1))) continue;
    const uint64_t mask = static_cast<uint32_t>(_mm256_movemask_epi8(a)) |
                          static_cast<uint64_t>(static_cast<uint32_t>(_mm256_movemask_epi8(b)))
                              << 32;
    return k + static_cast<size_t>(__builtin_ctzll(mask));
  }
  return FindScalar(p, k, end, zeros);
}

// A code whose 01 lies in a block of 256 positions puts a 01 byte in the
// block and, on the grid of words from two bytes before it, either 00 00 or
// 00 01 on a word. One load and two compares per 64 bytes reject nearly
// every block of zeros (no 01) and of noise (no such word); the rest get
// the exact search.
__attribute__((target("avx512f,avx512bw"))) size_t FindAvx512(const uint8_t* p, size_t from,
                                                              size_t end, int zeros) {
  const __m512i one = _mm512_set1_epi8(1);
  const __m512i zero_or_one_high = _mm512_set1_epi16(static_cast<short>(0xFEFF));
  // Callers search from just behind a window's start.
  size_t base = FirstLineStart(p, from, end);
  if (base > from) {
    const size_t hit = FindAvx2(p, from, base, zeros);
    if (hit < base) return hit;
  }
  for (; base + 256 <= end; base += 256) {
    __m512i w[4];
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      w[k] = _mm512_loadu_si512(p + base + 64 * k);
      // One load for all compares: left alone, the compiler loads the
      // bytes once per element width.
      asm("" : "+v"(w[k]));
    }
    // Empty disks are mostly zeros, which hold no 01 byte: three ORs and one
    // test pass such a block over.
    const __m512i all = _mm512_or_si512(_mm512_or_si512(w[0], w[1]), _mm512_or_si512(w[2], w[3]));
    if (_mm512_test_epi64_mask(all, all) == 0) continue;
    __mmask64 ones = 0;
    __mmask32 words = 0;
#pragma GCC unroll 4
    for (int k = 0; k < 4; ++k) {
      ones |= _mm512_cmpeq_epi8_mask(w[k], one);
      words |= _mm512_testn_epi16_mask(w[k], zero_or_one_high);
    }
    // The word in front of the block holds the zeros of a code at its start.
    const bool front = (p[base - 2] | (p[base - 1] & 0xFE)) == 0;
    // On noise a block holds a 01 byte more often than not: no branch on it
    // alone, or every other block is a misprediction.
    if (__builtin_expect((ones != 0) & ((words != 0) | front), 0) == 0) continue;
    const size_t hit = FindAvx2(p, base, base + 256, zeros);
    if (hit < base + 256) return hit;
  }
  return FindAvx2(p, base, end, zeros);
}
#endif

}  // namespace

size_t FindOneBehindZeros(const uint8_t* p, size_t from, size_t end, int zeros) {
  return FindOneBehindZerosUsing(HostSearchIsa(), p, from, end, zeros);
}

size_t FindOneBehindZerosUsing(SearchIsa isa, const uint8_t* p, size_t from, size_t end,
                               int zeros) {
  if (from >= end) return end;
#if ORVANE_X86
  if (isa == SearchIsa::kAvx512) return FindAvx512(p, from, end, zeros);
  if (isa == SearchIsa::kAvx2) return FindAvx2(p, from, end, zeros);
#endif
  (void)isa;
  return FindScalar(p, from, end, zeros);
}

}  // namespace orvane
