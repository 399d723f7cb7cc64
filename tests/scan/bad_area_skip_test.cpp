// The reads of a deep scan over bad areas: what a failure costs, where the
// skip goes on, and what the map keeps.

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "device/source_device.h"
#include "scan/bad_area_skip.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;
constexpr int64_t kWindow = 2 * kMiB;

struct Disk {
  synth::TempDir dir;
  std::string path = dir.File("disk.img");
  std::vector<uint8_t> bytes;
  explicit Disk(int64_t size) {
    synth::SparseImage img(path, size);
    img.FillNoise(0, size, 5);
    bytes = synth::ReadWholeFile(path);
  }
};

// Reads the whole disk window after window; the windows' bytes in `out`.
void ReadAll(BadAreaSkip& skip, SourceDevice& dev, int64_t size, std::vector<uint8_t>& out) {
  out.assign(static_cast<size_t>(size), 0xEE);
  std::vector<uint8_t> window(kWindow);
  for (int64_t at = 0; at < size; at += kWindow) {
    skip.Read(dev, size, at, window.data(), kWindow, window.size());
    std::copy(window.begin(), window.end(), out.begin() + at);
  }
}

// Zero where `unread` says, the disk's bytes everywhere else.
void ExpectBytes(const Disk& disk, const std::vector<uint8_t>& got,
                 const std::vector<ByteRange>& unread) {
  std::vector<uint8_t> want = disk.bytes;
  for (const ByteRange& r : unread)
    std::fill(want.begin() + r.begin, want.begin() + r.end, uint8_t{0});
  ASSERT_EQ(got.size(), want.size());
  EXPECT_TRUE(got == want);
}

// A drive that fails a whole request for one bad sector: the sector is
// found with a piece and a sector read, and only the first skip is lost.
TEST(BadAreaSkip, AnIsolatedSectorOnADriveThatFailsWholeRequestsCostsOneSkip) {
  Disk disk(8 * kMiB);
  const int64_t bad = 3 * kMiB + 4096;
  SourceDevice dev;
  dev.Open(synth::FaultyImageDevice(disk.path, {ByteRange::FromLength(bad, 512)}));
  BadAreaSkip skip(0, 8 * kMiB);
  skip.BeginRegion(0, 8 * kMiB);
  std::vector<uint8_t> got;
  ReadAll(skip, dev, 8 * kMiB, got);
  EXPECT_EQ(skip.failed_reads(), 3);  // the window, a 64 KiB piece, the sector
  const std::vector<ByteRange> unread = skip.UnreadAreas();
  ASSERT_EQ(unread.size(), 1u);
  EXPECT_EQ(unread[0].begin, bad);
  EXPECT_EQ(unread[0].end, bad + BadAreaSkip::kMinSkip);
  EXPECT_EQ(skip.map().Bytes(kAreaBadSector), 512);
  ExpectBytes(disk, got, unread);
}

// On a Linux drive the short count places the bad sector; in a bad area
// the skip doubles with each failure and stops at 1% of the region, and a
// whole read brings it back to 64 KiB for the next bad spot.
TEST(BadAreaSkip, TheSkipDoublesOverAnAreaAndFallsBackAfterAWholeRead) {
  const int64_t size = 100 * kMiB;  // 1% is 1 MiB
  Disk disk(size);
  const int64_t area = 20 * kMiB + 8192, lone = 80 * kMiB + 512;
  auto log = std::make_shared<synth::BadSectorLog>();
  SourceDevice dev;
  dev.Open(synth::LinuxBadSectorImageDevice(
      disk.path, {{area / 512, (8 * kMiB) / 512}, {lone / 512, 1}}, log));
  BadAreaSkip skip(0, size);
  skip.BeginRegion(0, size);
  std::vector<uint8_t> got;
  ReadAll(skip, dev, size, got);
  const std::vector<ByteRange> unread = skip.UnreadAreas();
  ASSERT_EQ(unread.size(), 2u);
  EXPECT_EQ(unread[0].begin, area);
  EXPECT_GE(unread[0].end, area + 8 * kMiB);
  EXPECT_LE(unread[0].end, area + 9 * kMiB);
  EXPECT_EQ(unread[1].begin, lone);
  EXPECT_EQ(unread[1].end, lone + BadAreaSkip::kMinSkip);
  // The rest of a window is given up after a failure in a row: one failure
  // per window at most, fewer once the skip grows (here up to 1 MiB), and
  // one for the lone sector.
  EXPECT_EQ(skip.failed_reads(), log->failed_calls.load());
  EXPECT_LE(skip.failed_reads(), 7) << skip.failed_reads();
  ExpectBytes(disk, got, unread);
}

}  // namespace
}  // namespace orvane
