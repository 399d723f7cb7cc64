#include "scan/clear_ranges.h"

#include <gtest/gtest.h>

namespace orvane {
namespace {

TEST(ClearRanges, JoinsStretchesInAnyOrderAndAnswersOnlyWhenSettled) {
  ClearRanges c;
  c.Add(100, 200);
  c.Add(150, 300);                   // overlaps the last
  c.Add(300, 400);                   // touches it
  c.Add(0, 50);                      // out of order
  EXPECT_FALSE(c.Covers(120, 130));  // not settled yet
  c.Settle();
  EXPECT_TRUE(c.Covers(100, 400));
  EXPECT_TRUE(c.Covers(0, 50));
  EXPECT_FALSE(c.Covers(40, 110));   // across the gap 50..100
  EXPECT_FALSE(c.Covers(399, 401));  // past the end
  EXPECT_FALSE(c.Covers(-10, 10));
  c.Add(500, 600);
  EXPECT_FALSE(c.Covers(100, 200));  // unsettled again
  c.Settle();
  EXPECT_TRUE(c.Covers(550, 600));
}

TEST(ClearRanges, KeepsNoMoreThanItsLimit) {
  ClearRanges c;
  const auto n = static_cast<int64_t>(ClearRanges::kMaxRanges);
  for (int64_t k = 0; k < n + 100; ++k) c.Add(10 * k, 10 * k + 5);
  c.Settle();
  EXPECT_TRUE(c.Covers(0, 5));
  EXPECT_TRUE(c.Covers(10 * (n - 1), 10 * (n - 1) + 5));
  EXPECT_FALSE(c.Covers(10 * (n + 50), 10 * (n + 50) + 5));  // dropped, read again
}

}  // namespace
}  // namespace orvane
