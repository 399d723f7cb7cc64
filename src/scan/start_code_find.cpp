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
__attribute__((target("avx2"))) size_t FindAvx2(const uint8_t* p, size_t from, size_t end,
                                                int zeros) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i one = _mm256_set1_epi8(1);
  size_t k = from;
  for (; k + 32 <= end; k += 32) {
    auto load = [&](size_t back) __attribute__((target("avx2"))) {
      return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k - back));
    };
    __m256i m = _mm256_and_si256(_mm256_cmpeq_epi8(load(0), one),
                                 _mm256_cmpeq_epi8(_mm256_or_si256(load(1), load(2)), zero));
    if (zeros == 3) m = _mm256_and_si256(m, _mm256_cmpeq_epi8(load(3), zero));
    const auto mask = static_cast<uint32_t>(_mm256_movemask_epi8(m));
    if (mask != 0) return k + static_cast<size_t>(__builtin_ctz(mask));
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
