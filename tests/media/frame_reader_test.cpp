// A recording's bytes and the frame walks over them when the task or the
// stream is damaged: fragments at no device offset, lengths that promise
// more than the recording holds.

#include "media/frame_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "device/source_device.h"
#include "media/frame_source.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

class DamagedRecording : public ::testing::Test {
 protected:
  DamagedRecording() {
    data_.resize(4096);
    for (size_t k = 0; k < data_.size(); ++k) data_[k] = static_cast<uint8_t>(k * 7 + 1);
    {
      synth::SparseImage img(dir_.File("d.img"), 64 * 1024);
      img.Write(8192, data_);
    }
    info_ = synth::ImageDevice(dir_.File("d.img"));
    device_.Open(info_);
  }
  synth::TempDir dir_;
  std::vector<uint8_t> data_;
  DeviceInfo info_;
  SourceDevice device_;
};

TEST_F(DamagedRecording, FragmentsAtNoDeviceOffsetReadAsNothing) {
  RecordingEntry entry;
  entry.fragments.push_back({-4096, 4096});
  entry.fragments.push_back({std::numeric_limits<int64_t>::max() - 100, 4096});
  entry.fragments.push_back({8192, 4096});
  entry.fragments.push_back({-1, 100});
  RecordingBytes bytes(device_, entry);
  std::vector<uint8_t> out(4096 + 64, 0xEE);
  const size_t got = bytes.Read(out.data(), 4096);
  ASSERT_EQ(got, 4096u);
  EXPECT_TRUE(std::equal(data_.begin(), data_.end(), out.begin()));
  // The bytes behind what was asked for stay as they were.
  EXPECT_EQ(out[4096], 0xEE);
  EXPECT_EQ(bytes.Read(out.data(), 4096), 0u);
  EXPECT_EQ(bytes.loss().past_end, 4096 + 4096 + 100);
}

TEST_F(DamagedRecording, ALengthFromDamageDoesNotGrowTheWindowPastTheRecording) {
  RecordingEntry entry;
  entry.fragments.push_back({8192, 4096});
  RecordingBytes bytes(device_, entry);
  StreamWindow window(bytes);
  EXPECT_FALSE(window.Ensure(kMaxFrameBytes));
  EXPECT_LE(window.held(), 4096u);
  ASSERT_TRUE(window.Ensure(4096));
  EXPECT_TRUE(std::equal(data_.begin(), data_.end(), window.data()));
  EXPECT_LE(window.held(), 4096u);
}

}  // namespace
}  // namespace orvane
