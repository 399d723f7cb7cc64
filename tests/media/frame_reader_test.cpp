// A recording's bytes and the frame walks over them when the task or the
// stream is damaged: fragments at no device offset, lengths that promise
// more than the recording holds.

#include "media/frame_reader.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "device/source_device.h"
#include "media/frame_source.h"
#include "synth/h264_stream.h"
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

// A bare stream long enough to run across the walk's 1 MiB reads comes
// out as the units it was made of, 25 a second from the start; an H.265
// stream is cut at its own headers.
TEST(AnnexBWalk, CutsABareStreamIntoItsAccessUnits) {
  synth::TempDir dir;
  const std::vector<synth::Bytes>& units = synth::TestFrames();
  constexpr int kLoops = 80;
  synth::Bytes stream;
  for (int k = 0; k < kLoops; ++k)
    stream.insert(stream.end(), synth::TestStream().begin(), synth::TestStream().end());
  ASSERT_GT(stream.size(), 1u << 20);

  // H.265: VPS, SPS, PPS and an IDR picture of two slice segments, a suffix
  // SEI that stays with it, then a picture of one trailing slice.
  const synth::Bytes h265{0,    0,    0,    1, 0x40, 0x01, 0x0C, 0,    0,    0,    1,   0x42, 0x01,
                          0x01, 0,    0,    0, 1,    0x44, 0x01, 0xC1, 0,    0,    1,   0x26, 0x01,
                          0xAF, 0x09, 0,    0, 1,    0x26, 0x01, 0x2F, 0x11, 0,    0,   1,    0x50,
                          0x01, 0x05, 0x44, 0, 0,    0,    1,    0x02, 0x01, 0xD0, 0x33};
  {
    synth::SparseImage img(dir.File("s.img"), 4 << 20);
    img.Write(4096, stream);
    img.Write(3 << 20, h265);
  }
  const DeviceInfo info = synth::ImageDevice(dir.File("s.img"));
  SourceDevice device;
  device.Open(info);

  RecordingEntry entry;
  entry.fragments.push_back({4096, static_cast<uint32_t>(stream.size())});
  RecordingBytes bytes(device, entry);
  auto walk = OpenAnnexBWalk(bytes, VideoCodec::H264, 1'000'000);
  VideoFrame frame;
  size_t n = 0;
  for (; walk->Next(frame); ++n) {
    ASSERT_LT(n, units.size() * kLoops);
    ASSERT_EQ(frame.data, units[n % units.size()]) << n;
    ASSERT_EQ(frame.time_ms, 1'000'000 + static_cast<int64_t>(n) * 40);
  }
  EXPECT_EQ(n, units.size() * kLoops);

  RecordingEntry hevc;
  hevc.fragments.push_back({3 << 20, static_cast<uint32_t>(h265.size())});
  RecordingBytes hevc_bytes(device, hevc);
  auto hevc_walk = OpenAnnexBWalk(hevc_bytes, VideoCodec::H265, 0);
  ASSERT_TRUE(hevc_walk->Next(frame));
  EXPECT_EQ(frame.data, synth::Bytes(h265.begin(), h265.end() - 8));
  ASSERT_TRUE(hevc_walk->Next(frame));
  EXPECT_EQ(frame.data, synth::Bytes(h265.end() - 8, h265.end()));
  EXPECT_FALSE(hevc_walk->Next(frame));
}

}  // namespace
}  // namespace orvane
