#include "device/scan_bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

namespace orvane {
namespace {

constexpr size_t kMiB = 1 << 20;

bool AllZero(const uint8_t* p, size_t n) {
  return std::all_of(p, p + n, [](uint8_t b) { return b == 0; });
}

// Sizes on either side of where the tail of a buffer moves onto a large
// page of its own: each is zero, writable to its last byte, and given back
// without touching the buffer mapped next to it.
TEST(ScanMemory, IsZeroAndWholeAtEverySize) {
  const size_t sizes[] = {kMiB,
                          kMiB + 1024,
                          2 * kMiB,
                          2 * kMiB + 512,
                          2 * kMiB + (64 << 10) - 1,
                          2 * kMiB + (64 << 10),
                          4 * kMiB + 100000};
  for (size_t n : sizes) {
    SCOPED_TRACE(n);
    auto* neighbour = static_cast<uint8_t*>(TakeScanMemory(n));
    auto* p = static_cast<uint8_t*>(TakeScanMemory(n));
    ASSERT_NE(neighbour, nullptr);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % (2 * kMiB), 0u);
    EXPECT_TRUE(AllZero(p, n));
    std::fill(neighbour, neighbour + n, uint8_t{0x5A});
    std::fill(p, p + n, uint8_t{0xA5});
    ReleaseScanMemory(p, n);
    EXPECT_TRUE(std::all_of(neighbour, neighbour + n, [](uint8_t b) { return b == 0x5A; }));
    ReleaseScanMemory(neighbour, n);
    // Memory given back and taken again is zero once more.
    auto* again = static_cast<uint8_t*>(TakeScanMemory(n));
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(AllZero(again, n));
    ReleaseScanMemory(again, n);
  }
}

// The zeros handed out for windows that are not read: readable to the last
// byte, mapped once, and never more than that first mapping holds.
TEST(ZeroBytes, ReadsAsZeroToTheEndOfWhatWasMapped) {
  ZeroBytes zeros;
  EXPECT_TRUE(zeros.empty());
  const size_t n = 2 * kMiB + 512;
  ASSERT_TRUE(zeros.Map(n));
  EXPECT_TRUE(AllZero(zeros.data(), n));
  const uint8_t* first = zeros.data();
  EXPECT_TRUE(zeros.Map(kMiB));
  EXPECT_EQ(zeros.data(), first);
  EXPECT_FALSE(zeros.Map(n + 1));
  EXPECT_FALSE(ZeroBytes().Map(0));
}

TEST(ScanMemory, RefusesWhatCannotBeMapped) {
  EXPECT_EQ(TakeScanMemory(0), nullptr);
  EXPECT_EQ(TakeScanMemory(SIZE_MAX), nullptr);
  EXPECT_EQ(TakeScanMemory(SIZE_MAX - kMiB), nullptr);
  EXPECT_EQ(TakeZeroMemory(SIZE_MAX), nullptr);
}

}  // namespace
}  // namespace orvane
