// The reads of the frame walks: read ahead or not, a walk gets the bytes at
// the position it asks for, and only a read-ahead of the very window asked
// for is used.

#include "scan/walk_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/source_device.h"
#include "engines/dahua/walk_read.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

TEST(WalkReader, ReadAheadHitsMissesAndFailuresGiveTheMediumsBytes) {
  synth::TempDir dir;
  const std::string path = dir.File("disk.img");
  constexpr int64_t kSize = 1 << 20;
  std::vector<uint8_t> bytes(kSize);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 13 + i / 509);
  {
    synth::SparseImage img(path, kSize);
    img.Write(0, bytes);
  }
  const DeviceInfo info = synth::FaultyImageDevice(path, {ByteRange{600000, 600512}});
  SourceDevice dev;
  dev.Open(info);
  ASSERT_TRUE(dev.is_open());
  WalkReader reader(
      dev, &info, [](SourceDevice& d, int64_t at, size_t len, std::vector<uint8_t>& buf, bool& ok) {
        return ReadForWalk(d, kSize, at, len, buf, ok);
      });

  auto expect = [&](int64_t at, size_t len, bool want_ok) {
    bool ok = false;
    const uint8_t* data = reader.Read(at, len, ok);
    EXPECT_EQ(ok, want_ok) << at;
    if (!want_ok) return;
    for (size_t k = 0; k < len; ++k)
      ASSERT_EQ(data[k], bytes[static_cast<size_t>(at) + k]) << at << " + " << k;
    for (size_t k = len; k < len + 64; ++k) ASSERT_EQ(data[k], 0) << "behind " << at;
  };
  expect(1001, 100000, true);  // nothing read ahead
  reader.ReadAhead(101001, 100000);
  expect(101001, 100000, true);  // the window read ahead
  reader.ReadAhead(201001, 100000);
  expect(250003, 100000, true);  // another one: read anew
  reader.ReadAhead(350003, 100000);
  expect(350003, 90000, true);  // same place, other length: read anew
  reader.ReadAhead(550000, 100000);
  expect(550000, 100000, false);  // the read ahead failed, and says so
  expect(700000, 4000, true);
  reader.ReadAhead(800000, 1000);  // never asked for: the reader still ends
}

TEST(WalkReader, WithoutASourceEveryReadIsMadeDirectly) {
  synth::TempDir dir;
  const std::string path = dir.File("disk.img");
  std::vector<uint8_t> bytes(8192, 0x5A);
  {
    synth::SparseImage img(path, 8192);
    img.Write(0, bytes);
  }
  SourceDevice dev;
  dev.Open(synth::ImageDevice(path));
  ASSERT_TRUE(dev.is_open());
  WalkReader reader(dev, nullptr,
                    [](SourceDevice& d, int64_t at, size_t len, std::vector<uint8_t>& buf,
                       bool& ok) { return ReadForWalk(d, 8192, at, len, buf, ok); });
  reader.ReadAhead(4096, 100);
  bool ok = false;
  const uint8_t* data = reader.Read(4100, 100, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(data[0], 0x5A);
  EXPECT_EQ(data[100], 0);
}

}  // namespace
}  // namespace orvane
