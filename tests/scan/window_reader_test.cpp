// The windows of the sequential scans: every window in order with the
// medium's bytes and zeros behind them.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "device/source_device.h"
#include "scan/window_reader.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kSize = 5 * 65536 + 1000;  // not a whole number of windows

struct Image {
  synth::TempDir dir;
  std::string path = dir.File("disk.img");
  std::vector<uint8_t> bytes;
  Image() {
    bytes.resize(kSize);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 251);
    synth::SparseImage img(path, kSize);
    img.Write(0, bytes);
  }
};

// Each window holds the image's bytes where the image has them and zeros
// everywhere else in its capacity.
void ExpectWindow(const Image& img, const WindowReader::Window& w, int32_t capacity) {
  for (int32_t k = 0; k < capacity; ++k) {
    const int64_t at = w.position + k;
    const uint8_t want = k < w.length && at < kSize ? img.bytes[static_cast<size_t>(at)] : 0;
    ASSERT_EQ(w.data[k], want) << "window at " << w.position << " byte " << k;
  }
}

TEST(WindowReader, WindowsInOrderWithZerosBehindAndClipping) {
  Image img;
  SourceDevice dev;
  dev.Open(synth::ImageDevice(img.path));
  ASSERT_TRUE(dev.is_open());
  // Clipped windows overlapping by 512 bytes, as the Hikvision scan reads.
  {
    WindowReader reader(dev, kSize, 0, kSize, 65536 + 512, 65536);
    std::vector<int64_t> positions;
    WindowReader::Window w;
    while (reader.Next(w)) {
      ExpectWindow(img, w, 65536 + 512);
      EXPECT_TRUE(w.ok);
      positions.push_back(w.position);
    }
    EXPECT_EQ(positions, (std::vector<int64_t>{0, 65536, 131072, 196608, 262144, 327680}));
    EXPECT_EQ(w.length, 1000);
  }
  // Whole blocks also at the end, a zero margin behind each, a region past
  // the medium's end.
  WindowPlan plan;
  plan.start = 4096;
  plan.end = kSize + 3 * 65536;
  plan.read_bytes = 65536;
  plan.clip_to_end = false;
  plan.step = 65536;
  plan.capacity = 65536 + 512;
  plan.device_size = kSize;
  WindowReader reader(dev, plan);
  int windows = 0;
  WindowReader::Window w;
  while (reader.Next(w)) {
    EXPECT_EQ(w.position, 4096 + windows * 65536);
    EXPECT_EQ(w.length, 65536);
    ExpectWindow(img, w, 65536 + 512);
    ++windows;
  }
  EXPECT_EQ(windows, 8);
}

TEST(WindowReader, FailedReadsAreZeroOrSalvagedAndAnEarlyEndDoesNotHang) {
  Image img;
  SourceDevice dev;
  dev.Open(synth::FaultyImageDevice(img.path, {ByteRange{70000, 70512}}));
  ASSERT_TRUE(dev.is_open());
  WindowPlan plan;
  plan.end = kSize;
  plan.read_bytes = plan.step = plan.capacity = 65536;
  plan.device_size = kSize;
  int salvaged = 0;
  WindowReader reader(dev, plan, [&](SourceDevice&, int64_t at, uint8_t* data, int32_t len) {
    ++salvaged;
    EXPECT_EQ(at, 65536);
    // What a salvage may do: put back what it could read.
    std::memcpy(data, img.bytes.data() + at, 100);
    EXPECT_EQ(len, 65536);
  });
  WindowReader::Window w;
  ASSERT_TRUE(reader.Next(w));
  EXPECT_TRUE(w.ok);
  ASSERT_TRUE(reader.Next(w));
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(std::memcmp(w.data, img.bytes.data() + 65536, 100), 0);
  EXPECT_EQ(w.data[100], 0);
  EXPECT_EQ(w.data[65535], 0);
  EXPECT_EQ(salvaged, 1);
  ASSERT_TRUE(reader.Next(w));
  EXPECT_TRUE(w.ok);
  // The scan stops here (a stop request): the reader ends with it.
}

// Windows alternate between two buffers: a read that stops in front of a bad
// sector must not leave the bytes of the window two steps earlier behind it,
// where a scan would find them a second time.
TEST(WindowReader, AReadStoppingAtABadSectorLeavesZerosBehindItNotOldBytes) {
  Image img;
  SourceDevice dev;
  dev.Open(synth::LinuxBadSectorImageDevice(img.path, {{(3 * 65536 + 4096) / 512, 1}}));
  WindowReader reader(dev, kSize, 0, kSize, 65536, 65536);
  WindowReader::Window w;
  int windows = 0;
  while (reader.Next(w)) {
    ++windows;
    if (w.position != 3 * 65536) {
      EXPECT_TRUE(w.ok);
      ExpectWindow(img, w, 65536);
      continue;
    }
    EXPECT_FALSE(w.ok);
    for (int32_t k = 0; k < 65536; ++k)
      ASSERT_EQ(w.data[k], k < 4096 ? img.bytes[static_cast<size_t>(w.position + k)] : 0) << k;
  }
  EXPECT_EQ(windows, 6);
}

// Whole windows of a size that is not a multiple of the sector: the one
// that reaches past the end holds the bytes up to it.
TEST(WindowReader, AnUnalignedWindowAcrossTheEndKeepsItsBytes) {
  synth::TempDir dir;
  const std::string path = dir.File("stream.img");
  std::vector<uint8_t> bytes(1'500'000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 251 + 1);
  {
    synth::SparseImage img(path, static_cast<int64_t>(bytes.size()));
    img.Write(0, bytes);
  }
  SourceDevice dev;
  dev.Open(synth::ImageDevice(path));
  WindowPlan plan;
  plan.end = 2'000'000;
  plan.read_bytes = plan.step = 1'000'000;
  plan.clip_to_end = false;
  plan.capacity = 1'000'512;
  plan.device_size = 1'500'000;
  WindowReader reader(dev, plan);
  WindowReader::Window w;
  ASSERT_TRUE(reader.Next(w));
  ASSERT_TRUE(reader.Next(w));
  EXPECT_EQ(w.position, 1'000'000);
  EXPECT_TRUE(w.ok);
  for (int32_t k = 0; k < plan.capacity; ++k)
    ASSERT_EQ(w.data[k], k < 500'000 ? bytes[static_cast<size_t>(1'000'000 + k)] : 0) << k;
  EXPECT_FALSE(reader.Next(w));
}

TEST(WindowReader, NoWindowsForAnEmptyRegionOrAStepOfZero) {
  Image img;
  SourceDevice dev;
  dev.Open(synth::ImageDevice(img.path));
  ASSERT_TRUE(dev.is_open());
  WindowReader::Window w;
  WindowReader empty(dev, kSize, 4096, 4096, 65536, 65536);
  EXPECT_FALSE(empty.Next(w));
  WindowPlan plan;
  plan.end = kSize;
  plan.read_bytes = plan.capacity = 4096;
  plan.step = 0;
  WindowReader stuck(dev, plan);
  EXPECT_FALSE(stuck.Next(w));
}

}  // namespace
}  // namespace orvane
