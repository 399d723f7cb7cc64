// Key frames told from the first slice of a unit, for both codecs, whatever
// the slice data behind it holds.

#include "media/annexb.h"

#include <gtest/gtest.h>

#include "synth/h264_stream.h"

namespace orvane {
namespace {

using synth::Bytes;

Bytes Unit(std::initializer_list<Bytes> nals) {
  Bytes out;
  for (const Bytes& n : nals) {
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), n.begin(), n.end());
  }
  return out;
}

TEST(KeyUnit, EveryUnitOfTheTestStream) {
  int keys = 0;
  for (const Bytes& unit : synth::TestFrames()) {
    EXPECT_EQ(IsKeyUnit(VideoCodec::H264, unit.data(), unit.size()), synth::IsKeyFrame(unit));
    keys += synth::IsKeyFrame(unit) ? 1 : 0;
  }
  EXPECT_EQ(keys, 4);
}

TEST(KeyUnit, TheFirstSliceTellsForBothCodecs) {
  // SPS, PPS, SEI in front of an IDR slice; a slice whose data looks like
  // an IDR header after a three-byte code is still a P slice.
  const Bytes idr = Unit({{0x67, 0x42, 0x00}, {0x68, 0xCE}, {0x06, 0x05}, {0x65, 0x88, 0x84}});
  EXPECT_TRUE(IsKeyUnit(VideoCodec::H264, idr.data(), idr.size()));
  const Bytes p = Unit({{0x41, 0x9A, 0x00, 0x00, 0x01, 0x65, 0x11}});
  EXPECT_FALSE(IsKeyUnit(VideoCodec::H264, p.data(), p.size()));
  const Bytes none = Unit({{0x67, 0x42}, {0x68, 0xCE}});
  EXPECT_FALSE(IsKeyUnit(VideoCodec::H264, none.data(), none.size()));
  // A start code with nothing behind it, at the end.
  const Bytes cut{0x00, 0x00, 0x01};
  EXPECT_FALSE(IsKeyUnit(VideoCodec::H264, cut.data(), cut.size()));

  // H.265: VPS, SPS, PPS, then an IDR_W_RADL slice; a CRA is a key too; a
  // TRAIL_R is not.
  const Bytes irap = Unit({{0x40, 0x01}, {0x42, 0x01}, {0x44, 0x01}, {0x26, 0x01, 0xAF}});
  EXPECT_TRUE(IsKeyUnit(VideoCodec::H265, irap.data(), irap.size()));
  const Bytes cra = Unit({{0x2A, 0x01, 0xAF}});
  EXPECT_TRUE(IsKeyUnit(VideoCodec::H265, cra.data(), cra.size()));
  const Bytes trail = Unit({{0x4E, 0x01, 0x05}, {0x02, 0x01, 0xD0}});
  EXPECT_FALSE(IsKeyUnit(VideoCodec::H265, trail.data(), trail.size()));
  EXPECT_FALSE(IsKeyUnit(VideoCodec::Unknown, irap.data(), irap.size()));
}

}  // namespace
}  // namespace orvane
