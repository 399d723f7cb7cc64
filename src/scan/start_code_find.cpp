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
#endif

}  // namespace

size_t FindOneBehindZeros(const uint8_t* p, size_t from, size_t end, int zeros) {
  if (from >= end) return end;
#if ORVANE_X86
  static const bool avx2 = __builtin_cpu_supports("avx2");
  if (avx2) return FindAvx2(p, from, end, zeros);
#endif
  return FindScalar(p, from, end, zeros);
}

}  // namespace orvane
