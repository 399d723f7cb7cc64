// Recordings of a fast task from the index's links.

#include "engines/wfs/wfs_segments.h"

#include <gtest/gtest.h>

namespace orvane::wfs {
namespace {

constexpr uint32_t kNone = 100;  // the entry count: no link

SegmentRecord Seg(uint8_t channel, uint32_t entry, uint32_t prev, uint32_t next, uint32_t start,
                  uint32_t end) {
  return {channel, entry, next, prev, start, end, 0x1000, uint64_t{entry} * 0x1000};
}

std::vector<int64_t> Offsets(const RecordingEntry& r) {
  std::vector<int64_t> out;
  for (const auto& f : r.fragments) out.push_back(f.offset / 0x1000);
  return out;
}

TEST(WfsLinks, WalksNextLinksAndStopsAtAnotherChannel) {
  std::vector<SegmentRecord> run = {Seg(3, 13, kNone, kNone, 50, 60), Seg(2, 12, 9, 13, 30, 40),
                                    Seg(2, 5, kNone, 9, 10, 20), Seg(2, 9, 5, 12, 20, 30)};
  std::vector<RecordingEntry> out;
  LinkSegments(run, out);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].channel, 2);
  EXPECT_EQ(Offsets(out[0]), (std::vector<int64_t>{5, 9, 12}));
  EXPECT_EQ(out[0].start_time, 10u);
  EXPECT_EQ(out[0].end_time, 40u);
  EXPECT_EQ(out[0].size, 3 * 0x1000);
  EXPECT_EQ(out[1].channel, 3);
  EXPECT_EQ(Offsets(out[1]), (std::vector<int64_t>{13}));
  EXPECT_TRUE(run.empty());
}

TEST(WfsLinks, WalksBackwardsFromTheSmallestEntry) {
  // Entry 2 comes first by number but plays after 7 and 4.
  std::vector<SegmentRecord> run = {Seg(1, 7, kNone, 4, 5, 6), Seg(1, 4, 7, 2, 6, 7),
                                    Seg(1, 2, 4, kNone, 7, 8)};
  std::vector<RecordingEntry> out;
  LinkSegments(run, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(Offsets(out[0]), (std::vector<int64_t>{7, 4, 2}));
  EXPECT_EQ(out[0].start_time, 5u);
}

TEST(WfsLinks, CyclesAndDuplicatesEnd) {
  std::vector<SegmentRecord> run = {Seg(1, 1, 3, 2, 1, 1), Seg(1, 2, 1, 3, 2, 2),
                                    Seg(1, 3, 2, 1, 3, 3), Seg(1, 2, 9, 9, 99, 99)};
  std::vector<RecordingEntry> out;
  LinkSegments(run, out);
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].fragments.size(), 3u);
  EXPECT_EQ(out[0].end_time, 3u);  // the duplicate of entry 2 is not used
}

TEST(WfsLinks, RecordCodecKeepsEveryField) {
  const SegmentRecord r{9, 123456, 7, 8, 0x41234567, 0x41234599, 0x400000, 0x123456789ABull};
  uint8_t bytes[kSegmentRecordSize];
  EncodeSegmentRecord(r, bytes);
  const SegmentRecord back = DecodeSegmentRecord(bytes);
  EXPECT_EQ(back.channel, 9);
  EXPECT_EQ(back.entry, 123456u);
  EXPECT_EQ(back.next, 7u);
  EXPECT_EQ(back.prev, 8u);
  EXPECT_EQ(back.start_time, 0x41234567u);
  EXPECT_EQ(back.end_time, 0x41234599u);
  EXPECT_EQ(back.size, 0x400000u);
  EXPECT_EQ(back.offset, 0x123456789ABull);
}

}  // namespace
}  // namespace orvane::wfs
