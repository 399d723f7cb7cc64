#include "engines/hikvision/hikvision_pack.h"

#include "scan/magic_find.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#define ORVANE_X86 1
#endif

namespace orvane::hikvision {

namespace {

void Check(const uint8_t* buf, size_t at, unsigned mask, std::vector<uint32_t>& out) {
  while (mask != 0) {
    const size_t hit = at + static_cast<size_t>(__builtin_ctz(mask));
    if (IsPackAt(buf + hit)) out.push_back(static_cast<uint32_t>(hit));
    mask &= mask - 1;
  }
}

// Whatever the vector code left over, byte by byte.
void FindTail(const uint8_t* buf, size_t i, size_t positions, std::vector<uint32_t>& out) {
  for (; i < positions; ++i)
    if (buf[i + 3] == 0xBA && IsPackAt(buf + i)) out.push_back(static_cast<uint32_t>(i));
}

#if ORVANE_X86
__attribute__((target("avx2"))) void FindAvx2(const uint8_t* buf, size_t positions,
                                              std::vector<uint32_t>& out) {
  const __m256i k01 = _mm256_set1_epi8(0x01);
  const __m256i kBA = _mm256_set1_epi8(static_cast<char>(0xBA));
  auto lane = [&](size_t at) __attribute__((target("avx2"))) {
    const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + at + 2));
    const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(buf + at + 3));
    return _mm256_and_si256(_mm256_cmpeq_epi8(a, k01), _mm256_cmpeq_epi8(b, kBA));
  };
  size_t i = 0;
  for (; i + 64 <= positions; i += 64) {
    const __m256i m0 = lane(i), m1 = lane(i + 32);
    if (_mm256_testz_si256(_mm256_or_si256(m0, m1), _mm256_or_si256(m0, m1))) continue;
    Check(buf, i, static_cast<unsigned>(_mm256_movemask_epi8(m0)), out);
    Check(buf, i + 32, static_cast<unsigned>(_mm256_movemask_epi8(m1)), out);
  }
  FindTail(buf, i, positions, out);
}

void FindSse2(const uint8_t* buf, size_t positions, std::vector<uint32_t>& out) {
  const __m128i k01 = _mm_set1_epi8(0x01);
  const __m128i kBA = _mm_set1_epi8(static_cast<char>(0xBA));
  auto lane = [&](size_t at) {
    const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + at + 2));
    const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(buf + at + 3));
    return _mm_and_si128(_mm_cmpeq_epi8(a, k01), _mm_cmpeq_epi8(b, kBA));
  };
  size_t i = 0;
  for (; i + 64 <= positions; i += 64) {
    const __m128i m0 = lane(i), m1 = lane(i + 16), m2 = lane(i + 32), m3 = lane(i + 48);
    const __m128i any = _mm_or_si128(_mm_or_si128(m0, m1), _mm_or_si128(m2, m3));
    if (_mm_movemask_epi8(any) == 0) continue;
    Check(buf, i, static_cast<unsigned>(_mm_movemask_epi8(m0)), out);
    Check(buf, i + 16, static_cast<unsigned>(_mm_movemask_epi8(m1)), out);
    Check(buf, i + 32, static_cast<unsigned>(_mm_movemask_epi8(m2)), out);
    Check(buf, i + 48, static_cast<unsigned>(_mm_movemask_epi8(m3)), out);
  }
  FindTail(buf, i, positions, out);
}
#endif

// With 512-bit vectors the search for the whole start code 00 00 01 BA
// tests 256 positions with four loads; the pack test runs where it is found.
void FindByStartCode(SearchIsa isa, const uint8_t* buf, size_t positions,
                     std::vector<uint32_t>& out) {
  for (size_t i = 0; (i = FindMagicUsing(isa, buf, i, positions, kPackStartCode)) < positions; ++i)
    if (IsPackAt(buf + i)) out.push_back(static_cast<uint32_t>(i));
}

}  // namespace

void FindPackStartsUsing(SearchIsa isa, const uint8_t* buf, size_t positions,
                         std::vector<uint32_t>& out) {
#if ORVANE_X86
  if (isa == SearchIsa::kAvx512) return FindByStartCode(isa, buf, positions, out);
  if (isa == SearchIsa::kAvx2) return FindAvx2(buf, positions, out);
  return FindSse2(buf, positions, out);
#else
  (void)isa;
  FindTail(buf, 0, positions, out);
#endif
}

void FindPackStarts(const uint8_t* buf, size_t positions, std::vector<uint32_t>& out) {
  FindPackStartsUsing(HostSearchIsa(), buf, positions, out);
}

}  // namespace orvane::hikvision
