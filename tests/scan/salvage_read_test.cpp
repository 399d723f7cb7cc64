// Block reads around bad sectors and the end of the medium: what was read
// is kept, only the failing sectors are zero, and nothing stale survives.

#include "scan/salvage_read.h"

#include <gtest/gtest.h>

#include <vector>

#include "device/source_device.h"
#include "synth/linux_bad_sector_backend.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

struct Image {
  synth::TempDir dir;
  std::string path = dir.File("disk.img");
  std::vector<uint8_t> bytes;
  explicit Image(int64_t size) : bytes(static_cast<size_t>(size)) {
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7 + i / 509 + 1);
    synth::SparseImage img(path, size);
    img.Write(0, bytes);
  }
};

TEST(ReadSalvaging, ShortReadsBeforeBadSectorsCostOnlyThoseSectors) {
  Image img(3 * kMiB);
  // One bad sector, then two in a row in a later 64 KiB piece.
  const std::vector<synth::BadSectors> bad = {{(kMiB + 4096) / 512, 1},
                                              {(kMiB + 200000) / 512, 2}};
  auto log = std::make_shared<synth::BadSectorLog>();
  SourceDevice dev;
  dev.Open(synth::LinuxBadSectorImageDevice(img.path, bad, log));
  std::vector<uint8_t> buf(2 * kMiB, 0xEE);
  EXPECT_FALSE(ReadSalvaging(dev, 512, buf.data(), 2 * kMiB));
  auto is_bad = [&](int64_t at) {
    for (const auto& b : bad)
      if (at / 512 >= b.first && at / 512 < b.first + b.count) return true;
    return false;
  };
  for (int64_t i = 0; i < 2 * kMiB; ++i) {
    const int64_t at = 512 + i;
    ASSERT_EQ(buf[i], is_bad(at) ? 0 : img.bytes[at]) << "byte " << at;
  }
  // Each bad sector is asked for twice at most: once behind the short count,
  // once on its own.
  EXPECT_LE(log->failed_calls, 6);

  // The same with the loss counted, the read made by the caller.
  std::fill(buf.begin(), buf.end(), 0xEE);
  dev.Read(0, buf.data(), 2 * kMiB);
  ASSERT_FALSE(dev.ok());
  EXPECT_EQ(RecoverFailedRead(dev, 0, buf.data(), 2 * kMiB), 3 * 512);
  EXPECT_EQ(buf[kMiB + 4096], 0);
  EXPECT_EQ(buf[kMiB + 4096 + 512], img.bytes[kMiB + 4096 + 512]);
}

TEST(ReadSalvaging, ReadsAcrossTheEndSucceedAndLeaveZerosBehindIt) {
  Image img(kMiB + 1000);
  SourceDevice dev;
  dev.Open(synth::ImageDevice(img.path));
  // Not a multiple of the sector: the tail sector lies wholly past the end.
  std::vector<uint8_t> buf(1'000'000, 0xEE);
  EXPECT_TRUE(ReadSalvaging(dev, 500'000, buf.data(), 1'000'000));
  const int64_t inside = kMiB + 1000 - 500'000;
  for (int64_t i = 0; i < 1'000'000; ++i)
    ASSERT_EQ(buf[i], i < inside ? img.bytes[500'000 + i] : 0) << "byte " << i;
}

TEST(ReadZeroed, ClearsEverythingBehindWhatWasActuallyRead) {
  Image img(kMiB + 1000);
  SourceDevice dev;
  dev.Open(synth::LinuxBadSectorImageDevice(img.path, {{(kMiB / 2 + 4096) / 512, 1}}));
  std::vector<uint8_t> buf(65536 + 512, 0xEE);
  // A device size that promises more than the medium holds (a size taken
  // from somewhere else): the bytes past the real end are still zero.
  EXPECT_TRUE(ReadZeroed(dev, 2 * kMiB, kMiB, buf.data(), 65536, buf.size()));
  for (size_t i = 0; i < buf.size(); ++i)
    ASSERT_EQ(buf[i], i < 1000 ? img.bytes[kMiB + i] : 0) << "byte " << i;
  // A read that stops in front of a bad sector keeps what it read.
  std::fill(buf.begin(), buf.end(), 0xEE);
  EXPECT_FALSE(ReadZeroed(dev, kMiB + 1000, kMiB / 2, buf.data(), 65536, buf.size()));
  for (size_t i = 0; i < buf.size(); ++i)
    ASSERT_EQ(buf[i], i < 4096 ? img.bytes[kMiB / 2 + i] : 0) << "byte " << i;
}

}  // namespace
}  // namespace orvane
