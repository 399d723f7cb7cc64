// The deep scans take over what the smart-value detection walked instead
// of reading those frames again, and find exactly what their own reads
// find: the version-2 scan the frame runs, the version-1 scan its chunks.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "device/byte_order.h"
#include "engines/dahua/dahua_variant.h"
#include "engines/dahua/detection_walk.h"
#include "engines/dahua/frame_runs.h"
#include "synth/counting_device.h"
#include "synth/dahua_disk.h"
#include "synth/h264_stream.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kRegionEnd = int64_t{1} << 40;

struct PlacedFrame {
  int64_t offset = 0;
  DahuaFrame f;
};

bool SameRun(const FrameRun& a, const FrameRun& b) {
  return a.start == b.start && a.length == b.length && a.channel == b.channel &&
         a.first_time == b.first_time && a.last_time == b.last_time && a.kind == b.kind;
}

void ExpectSameRuns(const std::vector<FrameRun>& a, const std::vector<FrameRun>& b,
                    const std::string& what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (size_t k = 0; k < a.size(); ++k) EXPECT_TRUE(SameRun(a[k], b[k])) << what << " run " << k;
}

// Frames in walk order: mostly back to back, now and then with bytes between
// them; time frames among plain ones, some with time 0. With `huge`, some
// frames are long enough for runs to reach the run limit.
std::vector<PlacedFrame> RandomFrames(std::mt19937& rng, int n, bool huge) {
  std::vector<PlacedFrame> frames;
  int64_t at = 0x160000;
  for (int k = 0; k < n; ++k) {
    if (rng() % 7 == 0) at += 1 + rng() % 3000;
    PlacedFrame p;
    p.offset = at;
    p.f.length = huge && rng() % 3 == 0 ? 0x30000000u : 24 + rng() % 60000;
    if (rng() % 3 == 0) {
      p.f.kind = kDahuaTimeFrame;
      p.f.time = rng() % 5 == 0 ? 0 : 0x1000 + static_cast<uint32_t>(k);
      p.f.channel = static_cast<uint8_t>(1 + rng() % 4);
    } else {
      p.f.kind = kDahuaPlainFrame;
    }
    frames.push_back(p);
    at += p.f.length;
  }
  return frames;
}

struct Built {
  std::vector<FrameRun> kept;
  FrameRun run;
};

void Feed(FrameRunBuilder& b, const PlacedFrame& p, std::vector<FrameRun>& kept) {
  FrameRun ended;
  if (b.Take(p.offset, p.f, ended) && KeptRun(ended)) kept.push_back(ended);
}

// The scan walks frames [0, meet) itself, the detection [meet, stop); the
// scan takes over there and walks on from where the detection stopped.
// Whatever the split, the runs come out as the scan's own walk over all the
// frames builds them.
TEST(DahuaWalkTakeOver, RunsAreThoseOfTheScansOwnWalkWhereverTheWalksMeet) {
  std::mt19937 rng(17);
  int taken_over = 0;
  for (int round = 0; round < 400; ++round) {
    const bool huge = round % 4 == 3;
    const std::vector<PlacedFrame> frames =
        RandomFrames(rng, 2 + static_cast<int>(rng() % 200), huge);
    const size_t n = frames.size();
    const size_t meet = rng() % (n - 1);
    const size_t stop = meet + 1 + rng() % (n - meet - 1 + 1);

    Built whole;
    FrameRunBuilder all;
    for (const PlacedFrame& p : frames) Feed(all, p, whole.kept);

    DetectionWalk walk(kRegionEnd);
    for (size_t k = meet; k < stop; ++k) walk.Take(frames[k].offset, frames[k].f);
    const int64_t resume =
        stop < n ? frames[stop].offset : frames.back().offset + frames.back().f.length;
    walk.End(resume);
    ASSERT_TRUE(walk.usable(kRegionEnd));
    ASSERT_EQ(walk.first_frame(), frames[meet].offset);

    Built split;
    FrameRunBuilder scan;
    for (size_t k = 0; k < meet; ++k) Feed(scan, frames[k], split.kept);
    int64_t go_on = -1;
    size_t next = meet;
    if (walk.TakeOver(scan, split.kept, go_on)) {
      ++taken_over;
      EXPECT_EQ(go_on, resume);
      next = stop;
    } else {
      // Refused only where the scan's run would reach the limit in the
      // detection's first run.
      EXPECT_TRUE(huge);
    }
    for (size_t k = next; k < n; ++k) Feed(scan, frames[k], split.kept);
    const std::string what = "round " + std::to_string(round) + " meet " + std::to_string(meet) +
                             " stop " + std::to_string(stop);
    ExpectSameRuns(split.kept, whole.kept, what);
    EXPECT_TRUE(SameRun(scan.run(), all.run())) << what;
  }
  EXPECT_GT(taken_over, 300);
}

// Past its run limit the detection stops keeping runs, and the scan walks on
// from the frame where it stopped.
TEST(DahuaWalkTakeOver, TheDetectionKeepsABoundedNumberOfRuns) {
  std::vector<PlacedFrame> frames;
  int64_t at = 0;
  for (size_t k = 0; k < DetectionWalk::kMostRuns + 100; ++k) {
    PlacedFrame p;
    p.offset = at;
    p.f.kind = kDahuaTimeFrame;
    p.f.length = 100;
    p.f.time = 0x1000;
    p.f.channel = 1;
    frames.push_back(p);
    at += 200;  // every frame its own run
  }
  DetectionWalk walk(kRegionEnd);
  for (const PlacedFrame& p : frames) walk.Take(p.offset, p.f);
  walk.End(at);
  ASSERT_TRUE(walk.usable(kRegionEnd));
  FrameRunBuilder scan;
  std::vector<FrameRun> kept;
  int64_t resume = -1;
  ASSERT_TRUE(walk.TakeOver(scan, kept, resume));
  EXPECT_LT(resume, at);
  EXPECT_EQ(kept.size(), DetectionWalk::kMostRuns + 1);  // the first run and those behind it
  for (const PlacedFrame& p : frames)
    if (p.offset >= resume) Feed(scan, p, kept);
  EXPECT_EQ(kept.size() + 1, frames.size());
  EXPECT_EQ(scan.run().start, frames.back().offset);
}

TEST(DahuaWalkTakeOver, NothingIsTakenOverAfterAFailedReadOrForAnotherRegion) {
  DetectionWalk walk(kRegionEnd);
  DahuaFrame f;
  f.kind = kDahuaTimeFrame;
  f.length = 1000;
  walk.Take(0x200000, f);
  walk.Drop();
  walk.End(0x400000);
  EXPECT_FALSE(walk.usable(kRegionEnd));
  DetectionWalk elsewhere(kRegionEnd);
  elsewhere.Take(0x200000, f);
  elsewhere.End(0x400000);
  EXPECT_TRUE(elsewhere.usable(kRegionEnd));
  EXPECT_FALSE(elsewhere.usable(kRegionEnd - 512));  // made for another region
  FrameRunBuilder scan;
  std::vector<FrameRun> kept;
  int64_t resume = -1;
  EXPECT_FALSE(walk.TakeOver(scan, kept, resume));
  EXPECT_TRUE(kept.empty());
}

// ----- whole parses ---------------------------------------------------------

// One gapless stream of frames from the recorder's default smart value to
// the end: the detection never decides, and walks nine tenths of the disk.
std::string GaplessDisk(const synth::TempDir& tmp, int64_t size, bool garbage) {
  const std::string path = tmp.File(garbage ? "g.img" : "s.img");
  synth::SparseImage img(path, size);
  const uint32_t magic = DahuaVariantFor(BrandDahua).magic;
  const uint32_t t0 = synth::PackTime(2020, 3, 1, 8, 0, 0);
  std::mt19937 rng(5);
  const auto& units = synth::TestFrames();
  std::vector<uint8_t> run;
  int64_t at = 0x160000;
  for (int k = 0;; ++k) {
    synth::Bytes payload = units[k % units.size()];
    const size_t want = 4096 + rng() % (60 * 1024);
    while (payload.size() < want) payload.push_back(static_cast<uint8_t>(rng()));
    synth::Bytes frame =
        synth::DahuaVideoFrame(magic, static_cast<uint8_t>(1 + k % 4),
                               synth::AddSeconds(t0, k / 100), k, payload, k % 50 == 0);
    if (garbage && k % 97 == 0) {
      // Bytes between streams, a stray magic in them, and a clock jump.
      synth::Bytes junk(1000 + rng() % 50000);
      for (auto& b : junk) b = static_cast<uint8_t>(rng());
      StoreLE32(&junk[junk.size() / 2], magic);
      frame.insert(frame.begin(), junk.begin(), junk.end());
    }
    if (at + static_cast<int64_t>(run.size() + frame.size()) > size) break;
    run.insert(run.end(), frame.begin(), frame.end());
  }
  img.Write(at, run);
  return path;
}

synth::CountedParse Parse(const std::string& image, const synth::TempDir& tmp, int64_t smart,
                          int64_t region_start = 0, int32_t version = 2) {
  return synth::ParseCounted(
      image, BrandDahua, version, smart,
      tmp.File("t" + std::to_string(smart) + "-" + std::to_string(region_start) + "v" +
               std::to_string(version) + ".tak"),
      {}, true, region_start);
}

// Version 2 takes over the detection's frame runs; version 1 works out the
// chunks whose frames the detection walked from a few bytes of each.
TEST(DahuaWalkTakeOver, AGaplessStreamIsReadOnceAndFoundAsTheScansOwnReadsFindIt) {
  synth::TempDir tmp;
  const int64_t size = 48 * kMiB;
  for (bool garbage : {false, true}) {
    const std::string image = GaplessDisk(tmp, size, garbage);
    for (int32_t version : {2, 1}) {
      for (int64_t region_start : {int64_t{0}, int64_t{5 * kMiB + 7 * 512}}) {
        const synth::CountedParse detected = Parse(image, tmp, -1, region_start, version);
        const synth::CountedParse given = Parse(image, tmp, detected.smart, region_start, version);
        ASSERT_GT(given.task.size(), 64u);
        EXPECT_EQ(detected.task, given.task)
            << "garbage " << garbage << " version " << version << " from " << region_start;
        if (!garbage && region_start == 0) {
          // The detection walked nine tenths; without the take-over the
          // scan would read them again.
          EXPECT_LT(detected.read, size + size / 8) << "version " << version;
        }
      }
    }
  }
}

// Two channels in alternate 2 MiB blocks whose streams break off at the
// block ends: the detection decides a few blocks in, and the scan, having
// taken over, walks on from the frame it decided on.
TEST(DahuaWalkTakeOver, AfterADecisionTheScanWalksOnFromTheDecidingFrame) {
  synth::TempDir tmp;
  constexpr int64_t kShift = 0x0F5200;
  const std::string path = tmp.File("b.img");
  synth::DahuaDisk disk(BrandDahua, path, 48 * kMiB);
  disk.AddArea(synth::TwoMiBBlockArea(20, 0x200000 + kShift));
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    synth::DahuaRecordingSpec r;
    r.channel = ch;
    for (uint32_t b = ch - 1u; b < 20; b += 2) r.blocks.push_back(b);
    r.end = synth::BlockEnd::kPadded;
    r.start_time = synth::PackTime(2017, 3, 1, ch, 0, 0);
    disk.Plant(r);
  }
  disk.Finish();
  disk.WipeIndex();
  const synth::CountedParse detected = Parse(path, tmp, -1);
  ASSERT_EQ(detected.smart, kShift);
  const synth::CountedParse given = Parse(path, tmp, detected.smart);
  ASSERT_GT(given.task.size(), 64u);
  EXPECT_EQ(detected.task, given.task);
}

}  // namespace
}  // namespace orvane
