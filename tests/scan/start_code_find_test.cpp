#include "scan/start_code_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <utility>
#include <vector>

namespace orvane {
namespace {

// The plain definition the fast search must agree with.
size_t Reference(const std::vector<uint8_t>& b, size_t from, size_t end, int zeros) {
  for (size_t k = from; k < end; ++k) {
    bool behind = true;
    for (int z = 1; z <= zeros; ++z) behind = behind && b[k - static_cast<size_t>(z)] == 0;
    if (b[k] == 1 && behind) return k;
  }
  return end;
}

TEST(StartCodeFind, AgreesWithThePlainSearchAtEveryOffsetAndBoundary) {
  std::mt19937 rng(7);
  // Bytes mostly 0 and 1 make near misses (00 01, 00 00 02, 01 01) common,
  // so that a lane or a shift out of place shows.
  for (int round = 0; round < 200; ++round) {
    std::vector<uint8_t> b(3 + rng() % 700);  // past two blocks of 256
    for (auto& x : b) x = static_cast<uint8_t>(rng() % 5 == 0 ? 1 : (rng() % 3 == 0 ? 2 : 0));
    for (int zeros : {2, 3}) {
      for (size_t from = static_cast<size_t>(zeros); from <= b.size(); ++from) {
        const size_t end = from + rng() % (b.size() - from + 1);
        const size_t want = Reference(b, from, end, zeros);
        for (SearchIsa isa : {SearchIsa::kPlain, SearchIsa::kAvx2, SearchIsa::kAvx512}) {
          if (!HostRuns(isa)) continue;
          ASSERT_EQ(FindOneBehindZerosUsing(isa, b.data(), from, end, zeros), want)
              << "round " << round << " zeros " << zeros << " from " << from << " end " << end
              << " isa " << static_cast<int>(isa);
        }
      }
    }
  }
}

TEST(StartCodeFind, FindsTheOnlyCodeInALongRunOfNoiseAndNothingPastTheEnd) {
  std::vector<uint8_t> b(1 << 16);
  std::mt19937 rng(3);
  for (auto& x : b) x = static_cast<uint8_t>(rng() | 0x80);  // no 0 or 1 bytes
  const size_t at = 40000;
  b[at - 3] = b[at - 2] = b[at - 1] = 0;
  b[at] = 1;
  EXPECT_EQ(FindOneBehindZeros(b.data(), 3, b.size(), 3), at);
  EXPECT_EQ(FindOneBehindZeros(b.data(), 3, b.size(), 2), at);
  EXPECT_EQ(FindOneBehindZeros(b.data(), at + 1, b.size(), 2), b.size());
  EXPECT_EQ(FindOneBehindZeros(b.data(), 3, at, 2), at);  // the end is not searched
  b[at - 3] = 5;
  EXPECT_EQ(FindOneBehindZeros(b.data(), 3, b.size(), 3), b.size());
  EXPECT_EQ(FindOneBehindZeros(b.data(), 3, b.size(), 2), at);
}

TEST(StartCodeFind, FindsALoneCodeAtEveryOffsetAroundTheBlocks) {
  // Without 00 or 01 bytes around it, a code's zeros may sit in the word in
  // front of a block or straddle a word of the block grid; each case shows,
  // with the bytes at every offset from a cache line. In zeros a code is the
  // only byte that is not zero.
  std::vector<uint8_t> noise(700);
  std::mt19937 rng(9);
  for (auto& x : noise) x = static_cast<uint8_t>(rng() | 0x80);
  const std::vector<uint8_t> zero(700, 0);
  std::vector<uint8_t> arena(700 + 128);
  uint8_t* const line = arena.data() + (-reinterpret_cast<uintptr_t>(arena.data()) & 63);
  for (const std::vector<uint8_t>* back : {&std::as_const(noise), &zero}) {
    for (int zeros : {2, 3}) {
      for (size_t shift = 0; shift < 64; ++shift) {
        uint8_t* const b = line + shift;
        for (size_t from : {3u, 4u}) {
          for (size_t k = from; k < 700; ++k) {
            std::copy(back->begin(), back->end(), b);
            for (int z = 1; z <= zeros; ++z) b[k - static_cast<size_t>(z)] = 0;
            b[k] = 1;
            for (SearchIsa isa : {SearchIsa::kPlain, SearchIsa::kAvx2, SearchIsa::kAvx512}) {
              if (!HostRuns(isa)) continue;
              ASSERT_EQ(FindOneBehindZerosUsing(isa, b, from, 700, zeros), k)
                  << "zeros " << zeros << " from " << from << " k " << k << " shift " << shift
                  << " isa " << static_cast<int>(isa);
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvane
