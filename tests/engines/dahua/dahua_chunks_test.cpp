// The chunk analysis, the record codecs, the grid start and the assembly of
// chunk and run records into recordings.

#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "device/byte_order.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "scan/scan_parameters.h"
#include "synth/dahua_disk.h"

namespace orvane {
namespace {

using synth::Bytes;

const uint32_t kMagic = DahuaVariantFor(BrandDahua).magic;
const uint32_t kT0 = synth::PackTime(2016, 5, 3, 10, 0, 0);

Bytes Frame(uint32_t length, uint32_t time = kT0, uint8_t type = 0xFD) {
  Bytes f(length, 0x11);
  StoreLE32(&f[0], kMagic);
  f[4] = type;
  f[6] = 2;
  StoreLE32(&f[12], length);
  StoreLE32(&f[16], time);
  return f;
}

// A chunk of n bytes plus the zeroed margin the analysis may read.
struct Chunk {
  explicit Chunk(size_t n) : bytes(n + 512, 0), n(n) {}
  void Put(size_t at, const Bytes& b) {
    std::memcpy(bytes.data() + at, b.data(), std::min(b.size(), bytes.size() - at));
  }
  // Frames of `len` bytes from `at` while a whole frame fits before `until`.
  size_t Fill(size_t at, size_t until, uint32_t len) {
    while (at + len <= until) {
      Put(at, Frame(len));
      at += len;
    }
    return at;
  }
  bool Analyze(ChunkSummary& s) { return AnalyzeChunk(bytes.data(), n, 0x1000000, kMagic, s); }
  std::vector<uint8_t> bytes;
  size_t n;
};

TEST(DahuaChunkAnalysis, HeadLengthAndHeadBytes) {
  for (size_t lead : {100u, 7u}) {
    Chunk c(4096);
    std::memset(c.bytes.data(), 0x33, lead);  // the end of a frame begun earlier
    const size_t end = c.Fill(lead, 4096, 100);
    c.Put(end, Frame(4096 - end + 50));  // the last frame runs past the end
    ChunkSummary s;
    ASSERT_TRUE(c.Analyze(s));
    EXPECT_EQ(s.reaches_end, 1);
    EXPECT_EQ(s.head_length, lead);
    EXPECT_EQ(s.head_count, std::min<size_t>(lead, 20));
    EXPECT_EQ(s.head[0], 0x33);
    EXPECT_EQ(s.tail_value, 50u);
    EXPECT_EQ(s.tail_count, 0);
    EXPECT_EQ(s.first_time, kT0);
    EXPECT_EQ(s.channel, 3);
    EXPECT_EQ(s.offset, 0x1000000);
    EXPECT_EQ(s.length, 4096u);
  }
}

TEST(DahuaChunkAnalysis, EndsOfTheLastFrame) {
  uint8_t magic[4];
  StoreLE32(magic, kMagic);
  for (int r : {0, 1, 2, 3, 4, 19}) {
    Chunk c(4096);
    const size_t end = c.Fill(0, 4096 - static_cast<size_t>(r) - 200, 100);
    c.Put(end, Frame(static_cast<uint32_t>(4096 - r - end)));
    c.Put(4096 - static_cast<size_t>(r), Frame(300));  // the header the end cuts
    ChunkSummary s;
    ASSERT_TRUE(c.Analyze(s)) << r;
    EXPECT_EQ(s.reaches_end, 1) << r;
    EXPECT_EQ(s.tail_value, static_cast<uint32_t>(r));
    EXPECT_EQ(s.tail_count, r);
    EXPECT_EQ(std::memcmp(s.tail, magic, std::min(r, 4)), 0);
  }
  // Two end bytes that are not the magic break the run.
  Chunk c(4096);
  const size_t end = c.Fill(0, 3900, 100);
  c.Put(end, Frame(static_cast<uint32_t>(4094 - end)));
  c.bytes[4094] = 'X';
  ChunkSummary s;
  ASSERT_TRUE(c.Analyze(s));
  EXPECT_EQ(s.reaches_end, 0);
  EXPECT_EQ(s.head_length, 0u);
  EXPECT_EQ(s.tail_count, 0);
}

TEST(DahuaChunkAnalysis, BrokenAndEmptyChunks) {
  {  // the only frame runs past the end: nothing absorbed, no summary
    Chunk c(4096);
    c.Put(1000, Frame(5000));
    ChunkSummary s;
    EXPECT_FALSE(c.Analyze(s));
  }
  {  // time frames, then the stream breaks off: flag 0, the head kept, no tail
    Chunk c(4096);
    for (size_t i = 0; i < 30; ++i) c.bytes[i] = static_cast<uint8_t>(0xA0 + i);
    c.Put(c.Fill(30, 2000, 100), Bytes(8, 0x55));
    ChunkSummary s;
    ASSERT_TRUE(c.Analyze(s));
    EXPECT_EQ(s.reaches_end, 0);
    EXPECT_EQ(s.head_length, 30u);
    ASSERT_EQ(s.head_count, 20);
    EXPECT_EQ(std::memcmp(s.head, c.bytes.data(), 20), 0);
    EXPECT_EQ(s.tail_value, 0u);
    EXPECT_EQ(s.tail_count, 0);
    EXPECT_EQ(s.first_time, kT0);
  }
  {  // the same with plain frames only: no summary
    Chunk c(4096);
    size_t at = 0;
    for (int k = 0; k < 10; ++k, at += 100) c.Put(at, Frame(100, 0, 0xF1));
    ChunkSummary s;
    EXPECT_FALSE(c.Analyze(s));
  }
  {  // zeros and noise without a frame
    Chunk c(4096);
    for (size_t i = 0; i < 4096; ++i) c.bytes[i] = static_cast<uint8_t>(i * 131 + 7);
    ChunkSummary s;
    EXPECT_FALSE(c.Analyze(s));
  }
}

TEST(DahuaChunkRecord, SizeAndRoundTrip) {
  ChunkSummary s;
  s.offset = 0x123456789A;
  s.length = 2097152;
  s.channel = 4;
  s.first_time = kT0;
  s.last_time = kT0 + 5;
  s.reaches_end = 1;
  s.head_length = 1234;
  s.head_count = 20;
  s.tail_value = 3;
  s.tail_count = 3;
  for (int i = 0; i < 20; ++i) s.head[i] = static_cast<uint8_t>(i + 1);
  std::memcpy(s.tail, "DHA", 3);
  ASSERT_EQ(ChunkRecordSize(s), 55u);
  std::vector<uint8_t> b(55);
  EncodeChunkRecord(s, b.data());
  ChunkSummary back;
  ASSERT_EQ(DecodeChunkRecord(b, back), 55u);
  EXPECT_EQ(back.offset, s.offset);
  EXPECT_EQ(back.head_length, 1234u);
  EXPECT_EQ(std::memcmp(back.head, s.head, 20), 0);
  EXPECT_EQ(std::memcmp(back.tail, "DHA", 3), 0);
  EXPECT_EQ(DecodeChunkRecord(std::span<const uint8_t>(b.data(), 54), back), 0u);
  // Counts beyond what a chunk end carries: the record keeps its claimed
  // size, the copies are clamped.
  b.resize(32 + 255 + 200, 0);
  b[26] = 255;
  b[31] = 200;
  ASSERT_EQ(DecodeChunkRecord(b, back), b.size());
  EXPECT_EQ(back.head_count, 20);
  EXPECT_EQ(back.tail_count, 19);
}

TEST(DahuaGrid, StartPositions) {
  EXPECT_EQ(GridStart(0x10000000, 0x160000, 2097152), 0x160000 + 127 * 0x200000);
  EXPECT_EQ(GridStart(0x10000000, 0x160000, 2097152), 0xFF60000);
  EXPECT_EQ(GridStart(0x100000, 0x160000, 2097152), 0x160000);
  EXPECT_EQ(GridStart(0x160000, 0x160000, 2097152), 0x160000);
}

ChunkSummary Seed(int64_t offset, uint32_t first, uint32_t last, uint32_t tail_value,
                  uint32_t head_length = 0) {
  ChunkSummary s;
  s.offset = offset;
  s.length = 0x200000;
  s.channel = 1;
  s.first_time = first;
  s.last_time = last;
  s.reaches_end = 1;
  s.head_length = head_length;
  s.head_count = static_cast<uint8_t>(std::min<uint32_t>(head_length, 20));
  s.tail_value = tail_value;
  return s;
}

std::vector<RecordingEntry> Assemble(std::vector<ChunkSummary> chunks) {
  std::stable_sort(chunks.begin(), chunks.end(),
                   [](const auto& a, const auto& b) { return a.first_time < b.first_time; });
  std::vector<RecordingEntry> out;
  AssembleChunks(chunks, kMagic, out);
  return out;
}

TEST(DahuaPassOne, ChainsByTailValueAndTime) {
  const uint32_t a_end = synth::AddSeconds(kT0, 20);
  for (int b_first : {25, 31}) {
    std::vector<ChunkSummary> v = {Seed(0x1000000, kT0, a_end, 500),
                                   Seed(0x2000000, synth::AddSeconds(kT0, b_first),
                                        synth::AddSeconds(kT0, 40), 0, 500)};
    v[0].head_length = 300;
    v[0].head_count = 20;
    const auto out = Assemble(v);
    if (b_first == 25) {
      ASSERT_EQ(out.size(), 1u);  // 4 MiB minus the head: merged into channel 255
      EXPECT_EQ(out[0].channel, 255);
      ASSERT_EQ(out[0].fragments.size(), 2u);
      EXPECT_EQ(out[0].fragments[0], (FragmentExtent{0x1000000 + 300, 0x200000 - 300}));
      EXPECT_EQ(out[0].fragments[1], (FragmentExtent{0x2000000, 0x200000}));
      EXPECT_EQ(out[0].size, 0x400000 - 300);
    } else {
      ASSERT_EQ(out.size(), 1u);  // two one-chunk recordings, merged
      EXPECT_EQ(out[0].fragments.size(), 2u);
      EXPECT_EQ(out[0].fragments[1], (FragmentExtent{0x2000000 + 500, 0x200000 - 500}));
    }
  }
}

TEST(DahuaPassOne, ChainsByTailBytes) {
  // A ends with two magic bytes; B's head completes a header of length 1000.
  const Bytes header = Frame(1000);
  for (uint32_t head_length : {998u, 997u}) {
    std::vector<ChunkSummary> v;
    for (int k = 0; k < 6; ++k) {  // enough chunks to stay above 10 MiB
      auto s = Seed(0x1000000 + k * 0x200000, synth::AddSeconds(kT0, k), synth::AddSeconds(kT0, k), 0);
      v.push_back(s);
    }
    v.back().tail_value = 2;
    v.back().tail_count = 2;
    std::memcpy(v.back().tail, header.data(), 2);
    auto b = Seed(0x2000000, synth::AddSeconds(kT0, 6), synth::AddSeconds(kT0, 7), 0, head_length);
    std::memcpy(b.head, header.data() + 2, 18);
    b.head_count = 20;
    v.push_back(b);
    const auto out = Assemble(v);
    ASSERT_FALSE(out.empty());
    EXPECT_EQ(out[0].channel, 1);
    EXPECT_EQ(out[0].fragments.size(), head_length == 998 ? 7u : 6u) << head_length;
  }
}

TEST(DahuaPassOne, ABrokenChunkEndsItsOwnChainAndNothingFollowsIt) {
  // Recording one: A, then B, which continues A (head 500) and breaks off.
  // Recording two starts 4 s later on its chunk start, which B's tail of 0
  // would match. Both are large enough to stay out of the small groups.
  std::vector<ChunkSummary> v;
  for (int k = 0; k < 6; ++k)
    v.push_back(Seed(0x1000000 + k * 0x200000, synth::AddSeconds(kT0, k), synth::AddSeconds(kT0, k),
                     k == 5 ? 500 : 0));
  ChunkSummary b = Seed(0x1C00000, synth::AddSeconds(kT0, 6), synth::AddSeconds(kT0, 7), 0, 500);
  b.reaches_end = 0;
  v.push_back(b);
  for (int k = 0; k < 6; ++k)
    v.push_back(Seed(0x4000000 + k * 0x200000, synth::AddSeconds(kT0, 11 + k),
                     synth::AddSeconds(kT0, 11 + k), 0));
  const auto out = Assemble(v);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].channel, 1);
  ASSERT_EQ(out[0].fragments.size(), 7u);
  EXPECT_EQ(out[0].fragments[6], (FragmentExtent{0x1C00000, 0x200000}));
  EXPECT_EQ(out[0].end_time, synth::AddSeconds(kT0, 7));
  EXPECT_EQ(out[1].channel, 1);
  EXPECT_EQ(out[1].fragments[0].offset, 0x4000000);
  EXPECT_EQ(out[1].fragments.size(), 6u);
}

TEST(DahuaPassOne, LongChainsNeedNoDeepStack) {
  // 300,000 chunks of 512 bytes, each continuing the one before.
  std::vector<ChunkSummary> v;
  v.reserve(300000);
  for (int k = 0; k < 300000; ++k) {
    ChunkSummary s = Seed(int64_t{k} * 512, kT0, kT0, 0, 0);
    s.length = 512;
    v.push_back(s);
  }
  const auto out = Assemble(std::move(v));
  ASSERT_EQ(out.size(), 1u);
  EXPECT_EQ(out[0].fragments.size(), 300000u);
  EXPECT_EQ(out[0].size, 300000 * 512);
}

TEST(DahuaPassOne, EqualFirstTimesKeepFileOrder) {
  std::vector<ChunkSummary> v;
  for (int k = 0; k < 6; ++k) v.push_back(Seed(0x1000000 + k * 0x200000, kT0, kT0, 7));  // tails no head matches
  const auto out = Assemble(v);
  ASSERT_EQ(out.size(), 1u);
  ASSERT_EQ(out[0].fragments.size(), 6u);
  for (int k = 0; k < 6; ++k) EXPECT_EQ(out[0].fragments[k].offset, 0x1000000 + k * 0x200000);
}

TEST(DahuaPassTwo, LeftoversGroupInChannel254UntilAnHourPasses) {
  std::vector<ChunkSummary> v;
  for (int t : {0, 1000, 5000, 5100}) {
    ChunkSummary s = Seed(t * 512, synth::AddSeconds(kT0, t), synth::AddSeconds(kT0, t), 0);
    s.reaches_end = 0;
    v.push_back(s);
  }
  const auto out = Assemble(v);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0].channel, 254);
  EXPECT_EQ(out[0].fragments.size(), 3u);  // the chunk that passes the hour closes it
  EXPECT_EQ(out[0].end_time, synth::AddSeconds(kT0, 5000));
  EXPECT_EQ(out[1].channel, 254);
  EXPECT_EQ(out[1].size, 0x200000);
}

TEST(DahuaPassTwo, SmallRecordingsMergeIntoChannel255) {
  // Chains of 5 MiB (channel 3) and 2 MiB (channel 7) within the hour merge;
  // one of 12 MiB stays. Time gaps of minutes keep the chains apart.
  std::vector<ChunkSummary> v;
  auto chain = [&](int64_t at, int chunks, uint8_t ch, uint32_t t) {
    for (int k = 0; k < chunks; ++k) {
      ChunkSummary s = Seed(at + k * 0x100000, t, t, 0);
      s.length = 0x100000;
      s.channel = ch;
      v.push_back(s);
      t = synth::AddSeconds(t, 1);
    }
  };
  chain(0x10000000, 5, 3, kT0);
  chain(0x20000000, 2, 7, synth::AddSeconds(kT0, 600));
  chain(0x30000000, 12, 9, synth::AddSeconds(kT0, 1200));
  const auto got = Assemble(v);
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].channel, 9);
  EXPECT_EQ(got[0].size, 12 * 0x100000);
  EXPECT_EQ(got[1].channel, 255);
  EXPECT_EQ(got[1].size, 7 * 0x100000);
  EXPECT_EQ(got[1].fragments.size(), 7u);
  EXPECT_EQ(got[1].fragments[0].offset, 0x10000000);
  EXPECT_EQ(got[1].fragments[5].offset, 0x20000000);
  EXPECT_EQ(got[1].start_time, kT0);
  EXPECT_EQ(got[1].end_time, synth::AddSeconds(kT0, 601));
}

TEST(DahuaRuns, CodecAndOneGigabyteSplit) {
  FrameRun r{0x123456789, 0x3FFFFFFF, 2, kT0, kT0 + 1, 1};
  uint8_t b[22];
  EncodeRunRecord(r, b);
  const FrameRun back = DecodeRunRecord(b);
  EXPECT_EQ(back.start, r.start);
  EXPECT_EQ(back.length, r.length);
  EXPECT_EQ(back.channel, 2);
  EXPECT_EQ(back.last_time, kT0 + 1);
  EXPECT_EQ(back.kind, 1);
  // Channels 1 and 2 interleaved in time; each recording closes at 1 GiB.
  std::vector<FrameRun> runs;
  for (int k = 0; k < 5; ++k)
    runs.push_back({int64_t{k} * 0x40000000, 0x20000000, static_cast<uint8_t>(1 + k % 2),
                    synth::AddSeconds(kT0, k), synth::AddSeconds(kT0, k), 1});
  std::vector<RecordingEntry> out;
  AssembleRuns(runs, out);
  ASSERT_EQ(out.size(), 3u);
  EXPECT_EQ(out[0].size, 0x40000000);
  EXPECT_EQ(out[0].channel, 1);
  EXPECT_EQ(out[0].fragments.size(), 2u);
  EXPECT_EQ(out[1].channel, 1);
  EXPECT_EQ(out[2].size, 0x20000000);
}

}  // namespace
}  // namespace orvane
