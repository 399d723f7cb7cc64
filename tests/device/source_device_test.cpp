#include "device/source_device.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "synth/linux_bad_sector_backend.h"

namespace orvane {
namespace {

// Serves a pattern and records every underlying request.
class RecordingBackend final : public ReadBackend {
 public:
  struct Call {
    int64_t offset;
    size_t length;
    bool operator==(const Call&) const = default;
  };
  RecordingBackend(std::vector<Call>* calls, int64_t size) : calls_(calls), size_(size) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    calls_->push_back({offset, length});
    if (offset >= size_) return 0;
    const size_t n = static_cast<size_t>(std::min<int64_t>(length, size_ - offset));
    auto* out = static_cast<uint8_t*>(buffer);
    for (size_t i = 0; i < n; ++i) out[i] = Byte(offset + static_cast<int64_t>(i));
    return static_cast<int64_t>(n);
  }
  int64_t Size() override { return size_; }
  static uint8_t Byte(int64_t at) { return static_cast<uint8_t>((at * 7 + at / 512) & 0xFF); }

 private:
  std::vector<Call>* calls_;
  int64_t size_;
};

DeviceInfo RecordingDevice(std::vector<RecordingBackend::Call>* calls, int64_t size = 1 << 20) {
  DeviceInfo d;
  d.kind = kDeviceKindImage;
  d.name = "recording";
  d.backend = std::make_shared<const BackendFactory>(
      [calls, size] { return std::make_unique<RecordingBackend>(calls, size); });
  return d;
}

using Calls = std::vector<RecordingBackend::Call>;

void ExpectPattern(const std::vector<uint8_t>& got, int64_t offset) {
  for (size_t i = 0; i < got.size(); ++i)
    ASSERT_EQ(got[i], RecordingBackend::Byte(offset + static_cast<int64_t>(i))) << "byte " << i;
}

struct ReadCase {
  int64_t offset;
  int32_t length;
  Calls expected;
};

TEST(SourceDeviceRead, SplitsRequestsIntoHeadMiddleAndTail) {
  const ReadCase cases[] = {
      {512, 512, {{512, 512}}},
      {1000, 100, {{512, 512}, {1024, 512}}},
      {1000, 20, {{512, 512}}},
      {100, 1500, {{0, 512}, {512, 1024}, {1536, 512}}},
      {0, 1000, {{0, 512}, {512, 512}}},
      {0, 2 << 20, {{0, 2 << 20}}},
  };
  for (const auto& c : cases) {
    Calls calls;
    SourceDevice dev;
    dev.Open(RecordingDevice(&calls, 8 << 20));
    ASSERT_TRUE(dev.is_open());
    std::vector<uint8_t> buf(static_cast<size_t>(c.length), 0);
    dev.Read(c.offset, buf.data(), c.length);
    EXPECT_EQ(dev.status(), kStatusOk);
    EXPECT_EQ(calls, c.expected) << "offset " << c.offset << " length " << c.length;
    ExpectPattern(buf, c.offset);
  }
}

class ImageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    path_ = std::filesystem::temp_directory_path() /
            ("orvane_src_" + std::to_string(::getpid()) + ".img");
    std::ofstream out(path_, std::ios::binary);
    for (int i = 0; i < 4096; ++i) out.put(static_cast<char>(i & 0xFF));
  }
  void TearDown() override { std::filesystem::remove(path_); }
  DeviceInfo Device() const {
    DeviceInfo d;
    d.kind = kDeviceKindImage;
    d.name = path_.string();
    return d;
  }
  std::filesystem::path path_;
};

TEST_F(ImageFile, ReadsAcrossAndPastTheEnd) {
  SourceDevice dev;
  dev.Open(Device());
  ASSERT_TRUE(dev.ok());
  EXPECT_EQ(dev.Size(), 4096);

  // Straddling the end succeeds with the bytes that exist; the rest of the
  // caller's buffer keeps what it held.
  std::vector<uint8_t> buf(1024, 0xEE);
  dev.Read(3584, buf.data(), 1024);
  EXPECT_EQ(dev.status(), kStatusOk);
  EXPECT_EQ(buf[0], 3584 & 0xFF);
  EXPECT_EQ(buf[511], (3584 + 511) & 0xFF);
  EXPECT_EQ(buf[512], 0xEE);

  // Wholly past the end fails with the request's offset ...
  dev.Read(8192, buf.data(), 512);
  EXPECT_EQ(dev.status(), kStatusFailed);
  EXPECT_EQ(dev.failed_offset(), 8192);
  // ... also for an unaligned request whose head sector is the one missing.
  dev.Read(4100, buf.data(), 10);
  EXPECT_EQ(dev.status(), kStatusFailed);
  EXPECT_EQ(dev.failed_offset(), 4100);

  // The next good read clears the status.
  dev.Read(10, buf.data(), 5);
  EXPECT_EQ(dev.status(), kStatusOk);
  EXPECT_EQ(buf[0], 10);
}

TEST_F(ImageFile, UnalignedReadsAcrossTheEndReturnTheBytesUpToIt) {
  SourceDevice dev;
  dev.Open(Device());
  std::vector<uint8_t> buf(3000, 0);
  // {offset, length, bytes up to the end}: a head sector and a tail sector
  // past the end; an aligned start whose tail sector (a buffer that is not
  // whole sectors) lies past the end; a middle run that reaches past it.
  const int64_t cases[][3] = {{4000, 600, 96}, {3072, 1500, 1024}, {2048, 3000, 2048}};
  for (const auto& c : cases) {
    dev.Read(c[0], buf.data(), static_cast<int32_t>(c[1]));
    EXPECT_EQ(dev.status(), kStatusOk) << "offset " << c[0];
    EXPECT_EQ(dev.read_length(), c[2]) << "offset " << c[0];
    for (int64_t i = 0; i < c[2]; ++i) ASSERT_EQ(buf[i], (c[0] + i) & 0xFF) << c[0] << "+" << i;
  }
}

TEST_F(ImageFile, ReadMeetingABadSectorFailsAndKeepsTheBytesInFrontOfIt) {
  auto log = std::make_shared<synth::BadSectorLog>();
  SourceDevice dev;
  dev.Open(synth::LinuxBadSectorImageDevice(path_.string(), {{4, 1}}, log));  // bytes 2048..2559
  ASSERT_TRUE(dev.is_open());
  struct Case {
    int64_t offset;
    int32_t length;
    int32_t kept;
    bool ok;
  };
  const Case cases[] = {
      {0, 4096, 2048, false},    // one aligned read, short in front of the bad sector
      {100, 3000, 1948, false},  // the middle run of an unaligned one
      {2048, 512, 0, false},     // starting in it
      {2100, 10, 0, false},      // its head sector is the bad one
      {1000, 1048, 1048, true},  // ending right in front of it
      {2560, 1536, 1536, true},  // behind it
  };
  std::vector<uint8_t> buf(4096);
  for (const auto& c : cases) {
    std::fill(buf.begin(), buf.end(), 0xEE);
    dev.Read(c.offset, buf.data(), c.length);
    EXPECT_EQ(dev.ok(), c.ok) << "offset " << c.offset;
    EXPECT_EQ(dev.read_length(), c.kept) << "offset " << c.offset;
    if (!c.ok) {
      EXPECT_EQ(dev.failed_offset(), c.offset);
    }
    for (int32_t i = 0; i < c.kept; ++i) ASSERT_EQ(buf[i], (c.offset + i) & 0xFF) << c.offset;
  }
  // A healthy aligned read is still a single call.
  const int64_t before = log->calls;
  dev.Read(2560, buf.data(), 1536);
  EXPECT_EQ(log->calls - before, 1);
}

TEST(SourceDeviceOpen, MissingImageOrBadKindLeavesItClosed) {
  SourceDevice dev;
  DeviceInfo d;
  d.kind = kDeviceKindImage;
  d.name = "/nonexistent/orvane/disk.img";
  dev.Open(d);
  EXPECT_EQ(dev.status(), kStatusFailed);
  EXPECT_EQ(dev.kind(), kDeviceKindNone);
  dev.Close();
  EXPECT_EQ(dev.kind(), kDeviceKindNone);

  SourceDevice other;
  DeviceInfo none;
  none.name = "/dev/null";
  other.Open(none);
  EXPECT_EQ(other.status(), kStatusFailed);
  EXPECT_FALSE(other.is_open());
}

}  // namespace
}  // namespace orvane
