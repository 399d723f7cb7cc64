#include "synth/h264_stream.h"

#include <gtest/gtest.h>

namespace orvane::synth {
namespace {

TEST(TestStream, FramesConcatenateToTheStream) {
  const auto& frames = TestFrames();
  ASSERT_EQ(frames.size(), 100u);
  Bytes joined;
  for (const auto& f : frames) joined.insert(joined.end(), f.begin(), f.end());
  EXPECT_EQ(joined, TestStream());
  EXPECT_TRUE(IsKeyFrame(frames[0]));
  EXPECT_FALSE(IsKeyFrame(frames[1]));
  EXPECT_TRUE(IsKeyFrame(frames[25]));
}

}  // namespace
}  // namespace orvane::synth
