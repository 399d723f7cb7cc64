#include "scan/magic_find.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "device/byte_order.h"

namespace orvane {
namespace {

constexpr uint32_t kDahua = 0x56414844;      // "DHAV"
constexpr uint32_t kPackStart = 0xBA010000;  // 00 00 01 BA: its first word is zero

const SearchIsa kAllIsas[] = {SearchIsa::kPlain, SearchIsa::kAvx2, SearchIsa::kAvx512};

size_t Plain(const std::vector<uint8_t>& b, size_t from, size_t end, uint32_t magic) {
  for (size_t i = from; i < end; ++i)
    if (LoadLE32(&b[i]) == magic) return i;
  return end;
}

TEST(MagicFind, AgreesWithAPlainScanAmongNearMisses) {
  std::mt19937 rng(11);
  for (uint32_t magic : {kDahua, kPackStart}) {
    uint8_t letters[5];
    StoreLE32(letters, magic);
    letters[4] = 'x';
    for (int round = 0; round < 300; ++round) {
      // Bytes drawn from the signature's own make near misses common, and
      // lengths past two blocks reach the block loop and its tail.
      std::vector<uint8_t> b(1000 + rng() % 300, 0);
      for (auto& x : b) x = letters[rng() % 5];
      const size_t end = b.size() - 3;
      const size_t from = rng() % 200;
      const size_t want = Plain(b, from, end, magic);
      for (SearchIsa isa : kAllIsas) {
        if (!HostRuns(isa)) continue;
        ASSERT_EQ(FindMagicUsing(isa, b.data(), from, end, magic), want)
            << std::hex << magic << std::dec << " round " << round << " isa "
            << static_cast<int>(isa);
      }
    }
  }
}

TEST(MagicFind, FindsALoneSignatureAtEveryOffsetAroundTheBlocks) {
  // One signature in zeros or noise, at every offset from a start that is
  // itself odd or even, and the bytes at every offset from a cache line: each
  // lands once on either pair of the block grid, at a block's seam, in the
  // part in front of the first whole line and behind the last whole block.
  std::mt19937 rng(5);
  std::vector<uint8_t> arena(700 + 3 + 128);
  uint8_t* const line = arena.data() + (-reinterpret_cast<uintptr_t>(arena.data()) & 63);
  for (uint32_t magic : {kDahua, kPackStart}) {
    for (bool noise : {false, true}) {
      std::vector<uint8_t> back(700 + 3);
      for (auto& x : back) x = noise ? static_cast<uint8_t>(rng() | 0x80) : 0;
      for (size_t shift = 0; shift < 64; ++shift) {
        uint8_t* const b = line + shift;
        for (size_t from : {0u, 1u}) {
          for (size_t at = from; at + 4 <= 700; ++at) {
            std::copy(back.begin(), back.end(), b);
            StoreLE32(b + at, magic);
            for (SearchIsa isa : kAllIsas) {
              if (!HostRuns(isa)) continue;
              ASSERT_EQ(FindMagicUsing(isa, b, from, 700, magic), at)
                  << std::hex << magic << std::dec << " at " << at << " shift " << shift << " isa "
                  << static_cast<int>(isa);
              // Nothing past the end, and nothing in front of the start.
              ASSERT_EQ(FindMagicUsing(isa, b, from, at, magic), at);
              ASSERT_EQ(FindMagicUsing(isa, b, at + 1, 700, magic), 700u);
            }
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace orvane
