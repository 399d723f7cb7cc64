// The version-1 scan works out the chunks whose frames the smart-value
// detection walked from a few bytes of each, and gets the record the
// chunk's own analysis gives.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "device/source_device.h"
#include "engines/dahua/dahua_scan_parts.h"
#include "engines/dahua/dahua_variant.h"
#include "engines/dahua/detection_chunks.h"
#include "engines/dahua/frame_walk.h"
#include "scan/scan_parameters.h"
#include "synth/dahua_disk.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kChunk = 64 << 10;
constexpr int64_t kAnchor = 0x160000;
constexpr size_t kWalkWindow = 0x200200;  // as the detection reads

uint32_t Magic() { return DahuaVariantFor(BrandDahua).magic; }

void PutHeader(std::vector<uint8_t>& img, size_t at, uint32_t length, bool timed, uint32_t time,
               uint8_t channel) {
  StoreLE32(&img[at], Magic());
  img[at + 4] = timed ? 0xFC : 0xF1;
  img[at + 6] = channel;
  StoreLE32(&img[at + 12], length);
  StoreLE32(&img[at + 16], timed ? time : 0);
}

// Frame streams over noise: frames of every size, some ending a few bytes
// short of a chunk's end, some longer than a chunk, streams breaking off into junk that holds stray
// magics and headers that nothing chains to.
std::vector<uint8_t> RandomImage(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> img(size);
  for (auto& b : img) b = static_cast<uint8_t>(rng());
  const uint32_t t0 = synth::PackTime(2021, 6, 1, 10, 0, 0);
  size_t at = static_cast<size_t>(kAnchor) + rng() % 5000;
  for (uint32_t k = 0; at + 64 < size; ++k) {
    if (rng() % 25 == 0) {
      // Junk: a stray magic, now and then a header of a frame whose end
      // holds no magic.
      const size_t junk = 1 + rng() % 9000;
      if (at + junk + 64 >= size) break;
      StoreLE32(&img[at + rng() % junk], Magic());
      if (rng() % 2 == 0) PutHeader(img, at, 30 + rng() % 900, true, t0, 1);
      at += junk;
    }
    uint32_t length = rng() % 4 == 0 ? 21 + rng() % 40 : 21 + rng() % 20000;
    // Now and then a frame longer than what is left of its chunk.
    if (rng() % 30 == 0) length = 40000 + rng() % 100000;
    const size_t chunk_end = static_cast<size_t>(
        kAnchor + (static_cast<int64_t>(at) - kAnchor) / kChunk * kChunk + kChunk);
    if (at + length > chunk_end && rng() % 3 == 0 && chunk_end - at > 160) {
      // End a few bytes short of the chunk's end, or on it.
      length = static_cast<uint32_t>(chunk_end - at - rng() % 120);
    }
    if (at + length + 24 > size) break;
    const bool timed = rng() % 3 != 0;
    PutHeader(img, at, length, timed, synth::AddSeconds(t0, k), static_cast<uint8_t>(rng() % 4));
    at += length;
  }
  return img;
}

// The detection's walk over [from, to) of the medium `img` as its probe
// reads it: windows of what lies below `to`, zeros behind, the magic
// behind a frame read from the medium.
void Walk(const std::vector<uint8_t>& img, int64_t from, int64_t to, DetectionChunks& chunks) {
  chunks.Begin(to);
  std::vector<uint8_t> held(kWalkWindow);
  for (int64_t p = from; p < to;) {
    const auto len = static_cast<size_t>(std::min<int64_t>(to - p, kWalkWindow));
    std::fill(held.begin(), held.end(), 0);
    std::copy_n(img.begin() + p, std::clamp<int64_t>(to - p, 0, static_cast<int64_t>(len)),
                held.begin());
    const size_t handled = WalkDahuaFrames(
        std::span<const uint8_t>(held.data(), len), Magic(),
        [&](size_t e) {
          const int64_t m = p + static_cast<int64_t>(e);
          return m + 4 <= static_cast<int64_t>(img.size()) && LoadLE32(&img[m]) == Magic();
        },
        [&](size_t i, const DahuaFrame& f) {
          chunks.Take(p + static_cast<int64_t>(i), f);
          return false;
        });
    p += static_cast<int64_t>(handled);
  }
}

// What the scan's own analysis records of the chunk at `c`: the chunk's
// bytes with zeros behind.
std::vector<uint8_t> Analysed(const std::vector<uint8_t>& img, int64_t c) {
  std::vector<uint8_t> chunk(kChunk + 512, 0);
  std::copy_n(img.begin() + c, kChunk, chunk.begin());
  ChunkSummary s;
  std::vector<uint8_t> record;
  if (AnalyzeChunk(chunk.data(), kChunk, c, Magic(), s)) {
    record.resize(ChunkRecordSize(s));
    EncodeChunkRecord(s, record.data());
  }
  return record;
}

TEST(DahuaDetectionChunks, AChunkWorkedOutFromTheWalkHasTheRecordOfItsOwnAnalysis) {
  synth::TempDir tmp;
  std::mt19937 rng(17);
  int64_t taken = 0, chunks_seen = 0, short_tails = 0, empty = 0;
  for (int round = 0; round < 12; ++round) {
    const size_t size = 6 << 20;
    const std::vector<uint8_t> img = RandomImage(rng, size);
    const std::string path = tmp.File("r" + std::to_string(round) + ".img");
    synth::SparseImage(path, static_cast<int64_t>(size)).Write(0, img);
    // Some walks stop short of the medium's end, as a probe does.
    const int64_t to = round % 3 == 0 ? static_cast<int64_t>(size) - 70001 : size;
    DetectionChunks chunks(kAnchor, kChunk);
    Walk(img, kAnchor + static_cast<int64_t>(rng() % 100000), to, chunks);
    SourceDevice dev;
    dev.Open(synth::ImageDevice(path));
    for (int64_t c = kAnchor; c + kChunk <= static_cast<int64_t>(size); c += kChunk) {
      ++chunks_seen;
      std::vector<uint8_t> notes;
      if (!chunks.Holds(c, kChunk)) continue;
      if (!chunks.Summarise(dev, c, kChunk, Magic(), notes)) continue;
      ++taken;
      const std::vector<uint8_t> want = Analysed(img, c);
      ASSERT_EQ(notes, want) << "round " << round << " chunk at " << c;
      if (notes.empty()) {
        ++empty;
      } else {
        ChunkSummary s;
        ASSERT_EQ(DecodeChunkRecord(notes, s), notes.size());
        if (s.tail_count > 0 || s.tail_value == 0) ++short_tails;
      }
    }
  }
  // Most chunks are worked out, chunks ending a few bytes behind their last
  // frame and chunks whose analysis keeps nothing among them.
  EXPECT_GT(taken, chunks_seen / 2);
  EXPECT_GT(short_tails, 20);
  EXPECT_GT(empty, 0);
}

// A probe that ends a few bytes into a header reads the rest of it as
// zeros: here a length that chains to a stray magic and ends the chunk,
// where the chunk's own analysis sees a frame running past it.
TEST(DahuaDetectionChunks, AHeaderCutByTheEndOfAProbeEndsWhatIsKept) {
  synth::TempDir tmp;
  std::vector<uint8_t> img(kAnchor + 4 * kChunk, 0);
  const auto c = static_cast<size_t>(kAnchor);
  const size_t h = c + kChunk - 69;
  PutHeader(img, c, static_cast<uint32_t>(h - c), true, synth::PackTime(2021, 6, 1, 10, 0, 0), 2);
  PutHeader(img, h, 0x10040, false, 0, 0);
  StoreLE32(&img[h + 64], Magic());
  StoreLE32(&img[c + kChunk - 5], Magic());
  StoreLE32(&img[h + 0x10040], Magic());
  const std::string path = tmp.File("cut.img");
  synth::SparseImage(path, static_cast<int64_t>(img.size())).Write(0, img);
  SourceDevice dev;
  dev.Open(synth::ImageDevice(path));
  ASSERT_FALSE(Analysed(img, kAnchor).empty());

  for (const int64_t to : {static_cast<int64_t>(img.size()), static_cast<int64_t>(h) + 14}) {
    DetectionChunks chunks(kAnchor, kChunk);
    Walk(img, kAnchor, to, chunks);
    std::vector<uint8_t> notes;
    if (chunks.Holds(kAnchor, kChunk) && chunks.Summarise(dev, kAnchor, kChunk, Magic(), notes)) {
      EXPECT_EQ(notes, Analysed(img, kAnchor)) << "walked to " << to;
    }
  }
}

// The bytes the scan reads of a chunk worked out from the walk: where they
// fail to read, the chunk is read whole (and the failure met there).
TEST(DahuaDetectionChunks, AChunkWhoseFewBytesFailToReadIsLeftToAWholeRead) {
  synth::TempDir tmp;
  std::mt19937 rng(29);
  const std::vector<uint8_t> img = RandomImage(rng, 6 << 20);
  const std::string path = tmp.File("bad.img");
  synth::SparseImage(path, static_cast<int64_t>(img.size())).Write(0, img);
  DetectionChunks chunks(kAnchor, kChunk);
  Walk(img, kAnchor, static_cast<int64_t>(img.size()), chunks);
  SourceDevice good;
  good.Open(synth::ImageDevice(path));
  // A chunk read only at its start, and one read at its end as well.
  int64_t head_only = -1, with_tail = -1;
  for (int64_t c = kAnchor; c + kChunk <= static_cast<int64_t>(img.size()); c += kChunk) {
    std::vector<uint8_t> notes;
    ChunkSummary s;
    if (!chunks.Summarise(good, c, kChunk, Magic(), notes) || notes.empty()) continue;
    ASSERT_EQ(DecodeChunkRecord(notes, s), notes.size());
    if (s.tail_count >= 4 && with_tail < 0) with_tail = c;
    if (s.tail_count == 0 && head_only < 0) head_only = c;
  }
  ASSERT_GE(head_only, 0);
  ASSERT_GE(with_tail, 0);
  SourceDevice bad;
  bad.Open(synth::LinuxBadSectorImageDevice(
      path, {{head_only / 512, 1}, {(with_tail + kChunk - 1) / 512, 1}}));
  std::vector<uint8_t> notes;
  EXPECT_FALSE(chunks.Summarise(bad, head_only, kChunk, Magic(), notes));
  EXPECT_FALSE(chunks.Summarise(bad, with_tail, kChunk, Magic(), notes));
}

TEST(DahuaDetectionChunks, NothingIsKeptAfterAFailedReadOrForAnotherChunkSize) {
  std::mt19937 rng(3);
  const std::vector<uint8_t> img = RandomImage(rng, 4 << 20);
  DetectionChunks chunks(kAnchor, kChunk);
  Walk(img, kAnchor, static_cast<int64_t>(img.size()), chunks);
  ASSERT_GT(chunks.size(), 10u);
  EXPECT_TRUE(chunks.Holds(kAnchor + kChunk, kChunk) || chunks.Holds(kAnchor + 2 * kChunk, kChunk));
  for (int64_t c = kAnchor; c < static_cast<int64_t>(img.size()); c += kChunk)
    EXPECT_FALSE(chunks.Holds(c, kChunk * 2));
  chunks.Drop();
  for (int64_t c = kAnchor; c < static_cast<int64_t>(img.size()); c += kChunk)
    EXPECT_FALSE(chunks.Holds(c, kChunk));
}

}  // namespace
}  // namespace orvane
