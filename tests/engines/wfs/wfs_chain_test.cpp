// How the blocks of a deep task become recordings: chains, leftovers, small
// groups and the version-2 time groups.

#include "engines/wfs/wfs_chain.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "device/byte_order.h"
#include "engines/wfs/wfs_format.h"
#include "synth/wfs_disk.h"

namespace orvane::wfs {
namespace {

const uint32_t kT0 = synth::PackTime(2016, 5, 17, 10, 0, 0);
uint32_t T(int64_t seconds) { return synth::AddSeconds(kT0, seconds); }

constexpr uint32_t kB = 0x200000;

BlockRecord Rec(uint64_t offset, uint32_t first, uint32_t last, uint32_t head, uint32_t tail,
                uint8_t clean = 1, uint32_t length = kB) {
  BlockRecord r;
  r.offset = offset;
  r.length = length;
  r.first_time = first;
  r.last_time = last;
  r.clean = clean;
  r.head_length = head;
  r.head_count = static_cast<uint8_t>(std::min<uint32_t>(head, 20));
  r.tail_value = tail;
  return r;
}

void SortByTime(std::vector<BlockRecord>& v) {
  std::stable_sort(v.begin(), v.end(), [](const BlockRecord& a, const BlockRecord& b) {
    return a.first_time < b.first_time;
  });
}

std::vector<FragmentExtent> Frags(const RecordingEntry& r) {
  return {r.fragments.begin(), r.fragments.end()};
}

TEST(WfsChain, FollowsByHeadLengthAndStartsAtTheFirstWholeFrame) {
  std::vector<BlockRecord> v = {Rec(0x1000000, T(0), T(500), 300, 77),
                                Rec(0x5000000, T(501), T(900), 77, 0),
                                Rec(0x9000000, T(902), T(1200), 0, 5)};
  SortByTime(v);
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(Frags(out[0]), (std::vector<FragmentExtent>{{0x1000000 + 300, kB - 300},
                                                        {0x5000000, kB},
                                                        {0x9000000, kB}}));
  EXPECT_EQ(out[0].size, 3 * int64_t{kB} - 300);
  EXPECT_EQ(out[0].start_time, T(0));
  EXPECT_EQ(out[0].end_time, T(1200));
}

TEST(WfsChain, TenSecondsFollowElevenDoNot) {
  for (int gap : {10, 11}) {
    std::vector<BlockRecord> v = {Rec(0, T(0), T(100), 0, 40), Rec(kB, T(100 + gap), T(200), 40, 0)};
    std::vector<RecordingEntry> out;
    ChainBlocks(v, out);
    EXPECT_EQ(out.size(), gap == 10 ? 1u : 2u) << gap;
  }
}

TEST(WfsChain, ACutHeaderJoinsTheNextBlocksHead) {
  // Block a ends with 00 00 01; block b begins with the other 17 bytes of a
  // key-frame header of payload L and then the payload: head = L + 16 - 3.
  const uint32_t L = 5000;
  synth::Bytes header(20, 0);
  StoreLE32(header.data(), kKeyFrameCode);
  StoreLE32(header.data() + 8, T(300));
  StoreLE32(header.data() + 12, L);
  header[19] = 1;
  BlockRecord a = Rec(0, T(0), T(299), 0, 3);
  a.tail_count = 3;
  std::memcpy(a.tail, header.data(), 3);
  BlockRecord b = Rec(7 * kB, T(301), T(600), L + 16 - 3, 0);
  std::memcpy(b.head, header.data() + 3, 17);
  b.head_count = 20;
  EXPECT_TRUE(BlockFollows(a, b));
  BlockRecord wrong = b;
  wrong.head_length += 1;
  EXPECT_FALSE(BlockFollows(a, wrong));
  wrong = b;
  wrong.head[0] ^= 0xFF;  // not 01 FC after 00 00
  EXPECT_FALSE(BlockFollows(a, wrong));

  std::vector<BlockRecord> v = {a, b};
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].fragments.size(), 2u);
}

TEST(WfsChain, ABrokenBlockJoinsAChainButNeverStartsOne) {
  std::vector<BlockRecord> v = {Rec(kB, T(0), T(100), 0, 0, /*clean=*/0),
                                Rec(0, T(200), T(300), 0, 64),
                                Rec(5 * kB, T(301), T(400), 64, 0, /*clean=*/0)};
  SortByTime(v);
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(Frags(out[0]), (std::vector<FragmentExtent>{{0, kB}, {5 * kB, kB}}));
  EXPECT_EQ(v[0].length, kB);  // the first broken block is left over
}

TEST(WfsChain, NothingIsChainedBehindABrokenBlock) {
  // Recording one ends in a broken block; recording two starts four seconds
  // later with a frame on its block start, as the broken block's tail of 0
  // would have allowed.
  std::vector<BlockRecord> v = {Rec(0, T(0), T(4), 0, 0), Rec(kB, T(4), T(6), 0, 0, /*clean=*/0),
                                Rec(8 * kB, T(10), T(14), 0, 0), Rec(9 * kB, T(14), T(18), 0, 0)};
  SortByTime(v);
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(Frags(out[0]), (std::vector<FragmentExtent>{{0, kB}, {kB, kB}}));
  EXPECT_EQ(out[0].end_time, T(6));
  EXPECT_EQ(Frags(out[1]), (std::vector<FragmentExtent>{{8 * kB, kB}, {9 * kB, kB}}));
}

TEST(WfsChain, FollowIsALoopAndAChainStopsAtTwoGiB) {
  // 300,000 small blocks, each continuing the one before.
  std::vector<BlockRecord> v;
  for (uint32_t k = 0; k < 300'000; ++k)
    v.push_back(Rec(uint64_t{k} * 512, T(k / 100), T(k / 100), k == 0 ? 0 : 7, 7, 1, 512));
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].fragments.size(), 300'000u);

  std::vector<BlockRecord> big;
  for (uint32_t k = 0; k < 1100; ++k) big.push_back(Rec(uint64_t{k} * kB, T(k), T(k), 9, 9));
  big[0].head_length = 0;
  out.clear();
  ChainBlocks(big, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].fragments.size(), 1024u);  // 2 GiB reached
  EXPECT_GE(out[0].size, kChainLimit - int64_t{kB});
}

TEST(WfsChain, ManyBlocksOfOneTimeTakeNoQuadraticTime) {
  // A damaged task: 50,000 clean blocks of the same time, none following
  // another.
  std::vector<BlockRecord> v;
  for (uint32_t k = 0; k < 50'000; ++k) v.push_back(Rec(uint64_t{k} * kB, T(0), T(0), 1, 2));
  std::vector<RecordingEntry> out;
  ChainBlocks(v, out);
  EXPECT_EQ(out.size(), 50'000u);
}

TEST(WfsLeftovers, GroupsCloseBeyondOneGiBAndAnHour) {
  std::vector<BlockRecord> v;
  for (uint32_t k = 0; k < 513; ++k) v.push_back(Rec(uint64_t{k} * kB, T(k), T(k), 0, 0, 0));
  std::vector<RecordingEntry> out;
  GroupLeftoverBlocks(v, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].size, int64_t{1} << 30);  // 512 blocks reach 1 GiB
  EXPECT_EQ(out[0].channel, kLeftoverChannel);
  EXPECT_EQ(out[1].fragments.size(), 1u);

  v = {Rec(0, T(0), T(10), 0, 0, 0), Rec(kB, T(3600), T(3600), 0, 0, 0),
       Rec(2 * kB, T(3601), T(3601), 0, 0, 0), Rec(3 * kB, T(3602), T(3602), 0, 0, 0)};
  out.clear();
  GroupLeftoverBlocks(v, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].fragments.size(), 3u);  // closed by the block 3601 s after its start
  EXPECT_EQ(out[0].end_time, T(3601));
  EXPECT_EQ(out[1].start_time, T(3602));
}

RecordingEntry Recording(int64_t channel, int64_t size, uint32_t start, uint32_t end) {
  RecordingEntry r;
  r.channel = channel;
  r.size = size;
  r.start_time = start;
  r.end_time = end;
  r.fragments.push_back({size, static_cast<uint32_t>(size)});
  return r;
}

TEST(WfsSmallGroups, SmallRecordingsOfRealChannelsAreGrouped) {
  std::vector<RecordingEntry> v;
  v.push_back(Recording(0, 9 << 20, T(100), T(200)));
  v.push_back(Recording(0, 11 << 20, T(300), T(400)));
  v.push_back(Recording(254, 1 << 20, T(10), T(20)));
  v.push_back(Recording(255, 1 << 20, T(70), T(80)));
  v.push_back(Recording(0, 1 << 20, T(50), T(60)));
  v.push_back(Recording(0, 1 << 20, T(5000), T(5001)));
  GroupSmallRecordings(v);
  ASSERT_EQ(v.size(), 4u);
  EXPECT_EQ(v[0].size, 11 << 20);
  EXPECT_EQ(v[1].channel, 254);  // channels 254 and 255 are never merged
  EXPECT_EQ(v[2].channel, 255);
  EXPECT_EQ(v[2].size, 1 << 20);
  // The group takes 9 MiB and 1 MiB and closes with the member 5000 s on.
  EXPECT_EQ(v[3].channel, kSmallGroupChannel);
  EXPECT_EQ(v[3].size, 11 << 20);
  EXPECT_EQ(v[3].start_time, T(50));
  EXPECT_EQ(v[3].end_time, T(5001));
  EXPECT_EQ(v[3].fragments.size(), 3u);
}

TEST(WfsTimeGroups, SortedByStartAndClosedBeyondOneGiB) {
  std::vector<TimedExtent> v;
  for (uint32_t k = 0; k < 600; ++k)
    v.push_back({uint64_t{599 - k} * kB, kB, 0, T(599 - k), T(600 - k)});
  v.push_back({0, 0, 0, T(0), T(0)});  // no length: ignored
  std::vector<RecordingEntry> out;
  GroupByTime(v, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].fragments.size(), 512u);
  EXPECT_EQ(out[0].fragments[0].offset, 0);
  EXPECT_EQ(out[0].start_time, T(0));
  EXPECT_EQ(out[0].end_time, T(512));
  EXPECT_EQ(out[1].fragments.size(), 88u);
  EXPECT_TRUE(v.empty());
}

}  // namespace
}  // namespace orvane::wfs
