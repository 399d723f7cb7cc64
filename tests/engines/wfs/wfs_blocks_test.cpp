// Block summaries of the deep parse and their task records.

#include "engines/wfs/wfs_blocks.h"

#include <gtest/gtest.h>

#include "engines/wfs/wfs_format.h"
#include "synth/wfs_disk.h"

namespace orvane::wfs {
namespace {

using synth::Bytes;

const uint32_t kT0 = synth::PackTime(2016, 5, 17, 10, 0, 0);

Bytes Payload(size_t n) {
  Bytes p(n, 0x5A);
  p[0] = 0, p[1] = 0, p[2] = 0, p[3] = 1;
  return p;
}

// A block of `length` bytes: `parts` one after the other, zeros behind, and
// room for the header tests beyond the block end.
struct Block {
  Bytes bytes;
  uint32_t length;
  Block(uint32_t len, const std::vector<Bytes>& parts) : length(len) {
    for (const auto& p : parts) bytes.insert(bytes.end(), p.begin(), p.end());
    bytes.resize(len);  // cuts what runs past the block end
    bytes.resize(len + 512, 0);
  }
  bool Summarise(BlockRecord& r) const { return SummariseBlock(0x800000, bytes, length, r); }
};

TEST(WfsSummary, NoFrameNoRecord) {
  BlockRecord r;
  EXPECT_FALSE(Block(4096, {}).Summarise(r));
  EXPECT_FALSE(Block(4096, {Bytes(4096, 0x77)}).Summarise(r));
  // One frame alone is no chain.
  EXPECT_FALSE(Block(4096, {synth::WfsKeyFrame(kT0, Payload(100))}).Summarise(r));
}

TEST(WfsSummary, FramesRunningCleanlyToTheEnd) {
  const Bytes key = synth::WfsKeyFrame(kT0, Payload(984));  // 1000 bytes
  const Bytes video = synth::WfsVideoFrame(Payload(992));   // 1000 bytes
  BlockRecord r;
  ASSERT_TRUE(Block(3000, {key, video, video}).Summarise(r));
  EXPECT_EQ(r.clean, 1);
  EXPECT_EQ(r.tail_value, 0u);
  EXPECT_EQ(r.tail_count, 0);
  EXPECT_EQ(r.head_length, 0u);
  EXPECT_EQ(r.first_time, kT0);
  EXPECT_EQ(r.last_time, kT0);
  EXPECT_EQ(r.offset, 0x800000u);
  EXPECT_EQ(r.length, 3000u);
}

TEST(WfsSummary, HeadAndAFrameRunningPastTheEnd) {
  const Bytes head(37, 0x33);  // the end of a frame of another block
  const Bytes key = synth::WfsKeyFrame(kT0 + 1, Payload(984));
  const Bytes key2 = synth::WfsKeyFrame(kT0 + 2, Payload(984));
  BlockRecord r;
  ASSERT_TRUE(Block(2500, {head, key, key2, key}).Summarise(r));
  EXPECT_EQ(r.clean, 1);
  EXPECT_EQ(r.head_length, 37u);
  EXPECT_EQ(r.head_count, 20);
  EXPECT_EQ(r.head[19], 0x33);
  EXPECT_EQ(r.tail_value, 37u + 3000 - 2500);
  EXPECT_EQ(r.tail_count, 0);
  EXPECT_EQ(r.first_time, kT0 + 1);
  EXPECT_EQ(r.last_time, kT0 + 2);
  EXPECT_EQ(r.EncodedSize(), 32u + 20);
}

TEST(WfsSummary, HeaderCutAfterThreeBytesIsKept) {
  const Bytes key = synth::WfsKeyFrame(kT0, Payload(984));
  const Bytes key2 = synth::WfsKeyFrame(kT0 + 1, Payload(984));
  BlockRecord r;
  ASSERT_TRUE(Block(2003, {key, key2, {0, 0, 1}}).Summarise(r));
  EXPECT_EQ(r.clean, 1);
  EXPECT_EQ(r.tail_value, 3u);
  ASSERT_EQ(r.tail_count, 3);
  EXPECT_EQ(Bytes(r.tail, r.tail + 3), (Bytes{0, 0, 1}));
  // Nineteen bytes of a key-frame header cannot be tested and are kept.
  ASSERT_TRUE(Block(2019, {key, key2, key}).Summarise(r));
  EXPECT_EQ(r.tail_count, 19);
  // Twenty can: the frame is a chain member that runs past the end.
  ASSERT_TRUE(Block(2020, {key, key2, key}).Summarise(r));
  EXPECT_EQ(r.tail_count, 0);
  EXPECT_EQ(r.tail_value, 980u);
}

TEST(WfsSummary, GarbageInsideTheChain) {
  const Bytes key = synth::WfsKeyFrame(kT0, Payload(984));
  const Bytes video = synth::WfsVideoFrame(Payload(992));
  const Bytes head(50, 0x44);
  BlockRecord r;
  // With a key frame: kept, not clean, nothing follows from its end; its head
  // still says which block it continues.
  ASSERT_TRUE(Block(8000, {head, key, video, key, Bytes(30, 0x99), key}).Summarise(r));
  EXPECT_EQ(r.clean, 0);
  EXPECT_EQ(r.head_length, 50u);
  EXPECT_EQ(r.tail_value, 0u);
  EXPECT_EQ(r.tail_count, 0);
  EXPECT_EQ(r.first_time, kT0);
  // Without one: dropped.
  EXPECT_FALSE(Block(8000, {video, video, Bytes(30, 0x99), key}).Summarise(r));
}

TEST(WfsSummary, AStrayStartCodeInFrontOfTheChainDoesNotHideIt) {
  Bytes stray(40, 0x21);
  stray[5] = 0, stray[6] = 0, stray[7] = 1, stray[8] = 0xFA;  // an "audio frame" in foreign bytes
  const Bytes key = synth::WfsKeyFrame(kT0, Payload(984));
  BlockRecord r;
  ASSERT_TRUE(Block(3040, {stray, key, key, key}).Summarise(r));
  EXPECT_EQ(r.head_length, 40u);
  EXPECT_EQ(r.clean, 1);
}

TEST(WfsBlockRecord, CodecAndUntrustedCounts) {
  BlockRecord r;
  r.offset = 0x1234567890ull;
  r.length = 0x200000;
  r.first_time = kT0;
  r.last_time = kT0 + 9;
  r.clean = 1;
  r.head_length = 1234;
  r.head_count = 20;
  for (int i = 0; i < 20; ++i) r.head[i] = static_cast<uint8_t>(i + 1);
  r.tail_value = 3;
  r.tail_count = 3;
  r.tail[2] = 1;
  std::vector<uint8_t> bytes;
  EncodeBlockRecord(r, bytes);
  ASSERT_EQ(bytes.size(), 55u);
  BlockRecord back;
  size_t used = 0;
  ASSERT_EQ(DecodeBlockRecord(bytes, back, used), DecodeResult::Ok);
  EXPECT_EQ(used, 55u);
  EXPECT_EQ(back.offset, r.offset);
  EXPECT_EQ(back.head_length, 1234u);
  EXPECT_EQ(back.head[19], 20);
  EXPECT_EQ(back.tail[2], 1);
  EXPECT_EQ(back.last_time, kT0 + 9);

  EXPECT_EQ(DecodeBlockRecord(std::span<const uint8_t>(bytes).first(54), back, used),
            DecodeResult::Short);
  bytes[26] = 200;  // a head count beyond what a record keeps
  bytes.resize(32 + 200 + 3);
  EXPECT_EQ(DecodeBlockRecord(bytes, back, used), DecodeResult::Malformed);
  EXPECT_EQ(used, bytes.size());
}

TEST(WfsTimedExtent, BlocksWithoutKeyFrameTakeTheTimeBeforeThem) {
  std::vector<BlockRecord> blocks(3);
  blocks[0].first_time = 0;
  blocks[1].first_time = kT0;
  blocks[1].last_time = kT0 + 5;
  blocks[2].first_time = 0;
  const auto t = TimedExtentsOf(blocks);
  EXPECT_EQ(t[0].start_time, 0u);
  EXPECT_EQ(t[1].start_time, kT0);
  EXPECT_EQ(t[2].start_time, kT0 + 5);
  uint8_t bytes[kV2RecordSize];
  EncodeTimedExtent({0xABCDEF012345ull, 777, 3, kT0, kT0 + 1}, bytes);
  const TimedExtent back = DecodeTimedExtent(bytes);
  EXPECT_EQ(back.offset, 0xABCDEF012345ull);
  EXPECT_EQ(back.length, 777u);
  EXPECT_EQ(back.channel, 3);
  EXPECT_EQ(back.end_time, kT0 + 1);
}

}  // namespace
}  // namespace orvane::wfs
