// The reads of the frame walks: a walk gets the bytes at the position it asks
// for, zeros behind them, and a read that meets a bad sector says so.

#include "scan/walk_reader.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/source_device.h"
#include "scan/walk_read.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

TEST(WalkReader, WindowsAnywhereGiveTheMediumsBytesAndFailuresSaySo) {
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
      dev, [](SourceDevice& d, int64_t at, size_t len, ScanBytes& buf, bool& ok) {
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
  expect(1001, 100000, true);
  expect(101001, 100000, true);
  expect(250003, 100000, true);  // a walk may jump
  expect(350003, 90000, true);   // or read less; nothing stale stays behind
  expect(550000, 100000, false);  // the bad sector at 600000
  expect(700000, 4000, true);     // and reads after it are whole again
}

}  // namespace
}  // namespace orvane
