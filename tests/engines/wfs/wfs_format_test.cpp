// The superblock, index-entry and frame tests at their limits.

#include "engines/wfs/wfs_format.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/byte_order.h"
#include "synth/wfs_disk.h"

namespace orvane::wfs {
namespace {

std::vector<uint8_t> SuperblockBytes(uint32_t unit, uint32_t units, uint32_t entries) {
  std::vector<uint8_t> b(512, 0);
  StoreLE32(b.data() + 0x2C, unit);
  StoreLE32(b.data() + 0x30, units);
  StoreLE32(b.data() + 0x44, 0x20);
  StoreLE32(b.data() + 0x48, 0x1000);
  StoreLE32(b.data() + 0x4C, entries);
  StoreLE32(b.data() + 0x148, kSuperblockMagic);
  return b;
}

TEST(WfsSuperblock, LimitsOfUnitSegmentAndIndex) {
  EXPECT_TRUE(IsWfsSuperblock(SuperblockBytes(512, 8192, 100)));
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(0x300, 8, 100)));  // not a multiple of 512
  EXPECT_TRUE(IsWfsSuperblock(SuperblockBytes(512, 20480, 100)));  // exactly 10 MiB
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(512, 20481, 100)));
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(0, 8192, 100)));
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(512, 8192, 0)));
  EXPECT_TRUE(IsWfsSuperblock(SuperblockBytes(512, 8192, 0x1F400000 / 32)));
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(512, 8192, 0x1F400000 / 32 + 1)));
  // The products are taken in 64 bits: a wrap to a small number is no pass.
  EXPECT_FALSE(IsWfsSuperblock(SuperblockBytes(0x80000000u, 2, 100)));
  auto wrong = SuperblockBytes(512, 8192, 100);
  wrong[0x148] ^= 1;
  EXPECT_FALSE(IsWfsSuperblock(wrong));
  // A short buffer reads as zeros behind its end.
  EXPECT_FALSE(IsWfsSuperblock(std::span<const uint8_t>(SuperblockBytes(512, 8, 1)).first(0x100)));
}

TEST(WfsIndexEntry, LinksUpToTheEntryCountAndPlausibleTimes) {
  const uint32_t t = synth::PackTime(2016, 5, 17, 10, 0, 0);
  IndexEntry e{7, 100, t, t + 5, 3, 1 << 2};
  EXPECT_TRUE(IsValidWfsEntry(e, 100));  // next equal to the count is "no link"
  EXPECT_EQ(e.channel(), 2);
  e.next = 101;
  EXPECT_FALSE(IsValidWfsEntry(e, 100));
  e.next = 1;
  e.link = 101;
  EXPECT_FALSE(IsValidWfsEntry(e, 100));
  e.link = 0;
  e.start_time = synth::PackTime(2009, 12, 31, 23, 0, 0);
  EXPECT_FALSE(IsValidWfsEntry(e, 100));
}

std::vector<uint8_t> KeyHeader(uint32_t length, uint32_t time) {
  std::vector<uint8_t> h(20, 0);
  StoreLE32(h.data(), kKeyFrameCode);
  StoreLE32(h.data() + 8, time);
  StoreLE32(h.data() + 12, length);
  h[19] = 1;
  return h;
}

TEST(WfsFrame, KeyFrameLengthAndTimeLimits) {
  const uint32_t t = synth::PackTime(2015, 1, 2, 3, 4, 5);
  Frame f;
  EXPECT_FALSE(RecogniseFrame(KeyHeader(4, t), f));
  ASSERT_TRUE(RecogniseFrame(KeyHeader(5, t), f));
  EXPECT_EQ(f.size, 21u);
  EXPECT_EQ(f.kind, FrameKey);
  EXPECT_EQ(f.time, t);
  ASSERT_TRUE(RecogniseFrame(KeyHeader(0x1FFFEF, t), f));
  EXPECT_EQ(f.size, 0x1FFFEFu + 16);
  EXPECT_FALSE(RecogniseFrame(KeyHeader(0x1FFFF0, t), f));
  EXPECT_FALSE(RecogniseFrame(KeyHeader(100, 0), f));
  EXPECT_FALSE(RecogniseFrame(KeyHeader(100, synth::PackTime(2009, 1, 1, 0, 0, 0)), f));
  auto no_start = KeyHeader(100, t);
  no_start[19] = 0;
  EXPECT_FALSE(RecogniseFrame(no_start, f));
  // A header cut by the end of the buffer is tested against zeros.
  EXPECT_FALSE(RecogniseFrame(std::span<const uint8_t>(KeyHeader(100, t)).first(19), f));
}

TEST(WfsFrame, VideoAndAudioFrames) {
  std::vector<uint8_t> v(12, 0);
  StoreLE32(v.data(), kVideoFrameCode);
  StoreLE32(v.data() + 4, 0x1FFFF7);
  v[11] = 1;
  Frame f;
  ASSERT_TRUE(RecogniseFrame(v, f));
  EXPECT_EQ(f.size, 0x1FFFF7u + 8);
  EXPECT_EQ(f.kind, FrameOther);
  EXPECT_EQ(f.time, 0u);
  StoreLE32(v.data() + 4, 0x1FFFF8);
  EXPECT_FALSE(RecogniseFrame(v, f));
  StoreLE32(v.data() + 4, 10);
  v[11] = 2;
  EXPECT_FALSE(RecogniseFrame(v, f));

  std::vector<uint8_t> a(8, 0);
  StoreLE32(a.data(), kAudioFrameCode);
  StoreLE16(a.data() + 6, 320);
  ASSERT_TRUE(RecogniseFrame(a, f));
  EXPECT_EQ(f.size, 328u);
  EXPECT_EQ(f.kind, FrameOther);
}

TEST(WfsFrame, StartCodeSearchFindsOnlyTheThreeKinds) {
  std::vector<uint8_t> b(4096, 0);
  b[100] = 1;  // 00 00 01 00: no frame kind
  b[1000] = 0;
  b[1001] = 0;
  b[1002] = 1;
  b[1003] = 0xFD;
  b[4093] = 1;  // 00 00 01 at the very end, kind byte missing
  EXPECT_EQ(FindStartCode(b, 0), 1000u);
  EXPECT_EQ(FindStartCode(b, 1001), b.size());
  b[2002] = 1;
  b[2003] = 0xFA;
  EXPECT_EQ(FindStartCode(b, 1001), 2000u);
}

}  // namespace
}  // namespace orvane::wfs
