#include "scan/recording_entry.h"

#include <gtest/gtest.h>

#include <vector>

namespace orvane {
namespace {

// A page holds up to 20,000,000 entries, nearly all of one fragment: that one
// must not cost a heap block, and the entry stays within one cache line with
// its one-byte provenance.
static_assert(sizeof(RecordingEntry) <= 64);
static_assert(sizeof(FoundBy) == 1);

TEST(FragmentList, GrowsCopiesAndMovesWithoutLosingExtents) {
  FragmentList list;
  EXPECT_TRUE(list.empty());
  list.push_back({512, 100});
  EXPECT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0], (FragmentExtent{512, 100}));
  for (int i = 1; i < 37; ++i) list.push_back({512LL * i + (1LL << 40), static_cast<uint32_t>(i)});
  ASSERT_EQ(list.size(), 37u);
  EXPECT_EQ(list[0], (FragmentExtent{512, 100}));
  EXPECT_EQ(list[36].length, 36u);
  EXPECT_EQ(list.back().offset, 512LL * 36 + (1LL << 40));

  FragmentList copy = list;
  EXPECT_EQ(copy.size(), 37u);
  EXPECT_EQ(copy[20], list[20]);

  FragmentList moved = std::move(copy);
  EXPECT_EQ(moved.size(), 37u);
  EXPECT_TRUE(copy.empty());  // NOLINT: the moved-from list is defined empty
  copy.push_back({1, 1});
  EXPECT_EQ(copy.size(), 1u);

  moved = list;  // heap over heap
  moved = FragmentList();
  EXPECT_TRUE(moved.empty());

  FragmentList one;
  one.push_back({7, 8});
  FragmentList one_copy = one;
  EXPECT_EQ(one_copy[0], (FragmentExtent{7, 8}));
  one_copy = std::move(list);
  EXPECT_EQ(one_copy.size(), 37u);
}

// A long recording's list grows through many reallocations: every extent
// survives each of them, and copies and moves of the list.
TEST(FragmentList, LongListsKeepEveryExtentAcrossTheirMemory) {
  constexpr uint32_t kCount = 50'000;  // 800 KB of extents
  FragmentList list;
  for (uint32_t i = 0; i < kCount; ++i) list.push_back({int64_t{i} * 4096 + 7, i + 1});
  auto intact = [](const FragmentList& l) {
    if (l.size() != kCount) return false;
    for (uint32_t i = 0; i < kCount; ++i)
      if (l[i] != FragmentExtent{int64_t{i} * 4096 + 7, i + 1}) return false;
    return true;
  };
  EXPECT_TRUE(intact(list));
  FragmentList copy = list;
  EXPECT_TRUE(intact(copy));
  FragmentList moved = std::move(copy);
  EXPECT_TRUE(intact(moved));
  moved.clear();
  EXPECT_TRUE(moved.empty());
  moved.push_back({1, 2});
  EXPECT_EQ(moved[0], (FragmentExtent{1, 2}));
  EXPECT_TRUE(intact(list));
}

TEST(FragmentList, EntriesSurviveVectorGrowth) {
  std::vector<RecordingEntry> entries;
  for (int i = 0; i < 1000; ++i) {
    RecordingEntry e;
    e.channel = i;
    for (int k = 0; k <= i % 3; ++k) e.fragments.push_back({i * 1000LL + k, static_cast<uint32_t>(k)});
    entries.push_back(std::move(e));
  }
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(entries[i].fragments.size(), static_cast<uint32_t>(i % 3 + 1));
    EXPECT_EQ(entries[i].fragments.back().offset, i * 1000LL + i % 3);
  }
}

}  // namespace
}  // namespace orvane
