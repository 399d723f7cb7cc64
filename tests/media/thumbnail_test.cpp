// Pictures of recordings: the frame at a time into a planted stream decodes
// to an image of the stream's size; a stream without video gives none.

#include "media/thumbnail.h"

#include <gtest/gtest.h>

#include "cli/cli_run.h"
#include "device/source_device.h"
#include "media/picture_decoder.h"
#include "media/video_frame.h"
#include "scan/dispatch.h"
#include "scan/task_head.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

using cli_test::Quote;
using cli_test::RunCli;

class Thumbnail : public ::testing::Test {
 protected:
  Thumbnail() {
    synth::HikvisionDisk disk(dir_.File("hik.img"));
    disk.AddRecording(0, 0x100000, {1, synth::UnixTime(2024, 6, 1, 10, 0, 0), 100, 25});
    const synth::HikPlanted broken =
        disk.AddRecording(1, 0x400000, {2, synth::UnixTime(2024, 6, 1, 11, 0, 0), 30, 25});
    disk.image().Write(broken.offset, synth::Bytes(broken.bytes.size(), 0x5A));
    image_ = disk.path();
    device_ = synth::ImageDevice(image_);
    p_.source = &device_;
    p_.task_path = dir_.File("t.tak");
    p_.brand = BrandHikvision;
    p_.mode = ScanModeFast;
    p_.region_end = device_.size;
    RunParse(p_);
    ReadTaskHead(p_, true);
    ApplyTaskHead(p_);
    LoadTaskPage(p_, 0);
    dev_.Open(device_);
  }
  synth::TempDir dir_;
  synth::CapturingSink sink_;
  ScopedNotifySink scoped_{&sink_};
  std::string image_;
  DeviceInfo device_;
  ScanParameters p_;
  SourceDevice dev_;
};

TEST_F(Thumbnail, TheFrameAtATimeDecodesAtTheStreamsSize) {
  ASSERT_EQ(p_.recordings.size(), 2u);
  int64_t start = 0;
  ASSERT_TRUE(RecorderTimeMs(p_.head.time_kind, p_.recordings[0].start_time, start));
  Picture first, later, beyond;
  ASSERT_TRUE(DecodePictureAt(p_, dev_, p_.recordings[0], 0, first));
  EXPECT_EQ(first.width, 320);
  EXPECT_EQ(first.height, 240);
  EXPECT_EQ(first.rgb.size(), 320u * 240 * 3);
  EXPECT_EQ(first.time_ms, start);
  // 2.5 s in: the first frame at or after it, 63 frames of 40 ms on, decoded
  // from the key frame a second before it.
  ASSERT_TRUE(DecodePictureAt(p_, dev_, p_.recordings[0], 2500, later));
  EXPECT_EQ(later.time_ms, start + 2520);
  EXPECT_NE(later.rgb, first.rgb);
  // Past the end: the last frame.
  ASSERT_TRUE(DecodePictureAt(p_, dev_, p_.recordings[0], 60'000, beyond));
  EXPECT_EQ(beyond.time_ms, start + 3960);

  Picture none;
  EXPECT_FALSE(DecodePictureAt(p_, dev_, p_.recordings[1], 0, none));
}

// The strip's thumbnails come scaled into their box, proportions kept;
// without a box, at the stream's size.
TEST_F(Thumbnail, KeyFramesScaledIntoABox) {
  ASSERT_EQ(p_.recordings.size(), 2u);
  std::vector<std::pair<int, int>> sizes;
  auto keep = [&](Picture&& picture) {
    EXPECT_EQ(picture.rgb.size(), static_cast<size_t>(picture.width) * picture.height * 3);
    sizes.emplace_back(picture.width, picture.height);
    return true;
  };
  EXPECT_EQ(KeyFramePictures(p_, dev_, p_.recordings[0], keep, 100, 100), 4);
  EXPECT_EQ(KeyFramePictures(p_, dev_, p_.recordings[0], keep), 4);
  EXPECT_EQ(KeyFramePictures(p_, dev_, p_.recordings[0], keep, 640, 480), 4);
  ASSERT_EQ(sizes.size(), 12u);
  EXPECT_EQ(sizes[0], std::make_pair(100, 75));
  EXPECT_EQ(sizes[4], std::make_pair(320, 240));
  EXPECT_EQ(sizes[8], std::make_pair(320, 240));  // never scaled up
}

TEST_F(Thumbnail, CliWritesAPngOrSaysTheRecordingCannotBeDecoded) {
  const std::string common = "thumbnail " + Quote(p_.task_path) + " --source " + Quote(image_);
  const std::string png = dir_.File("row0.png");
  auto r = RunCli(common + " --row 0 --at 1.5 --out " + Quote(png), dir_);
  ASSERT_EQ(r.status, 0) << r.err;
  const auto probe = cli_test::RunShell(
      "ffprobe -v error -show_entries "
      "stream=codec_name,width,height -of csv=p=0 " +
      Quote(png));
  EXPECT_EQ(probe.out, "png,320,240\n");

  r = RunCli(common + " --row 1 --out " + Quote(dir_.File("row1.png")), dir_);
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find(kMsgCannotDecode), std::string::npos) << r.err;
  r = RunCli(common + " --row 7 --out " + Quote(dir_.File("row7.png")), dir_);
  EXPECT_EQ(r.status, 2);
  r = RunCli(common + " --row 0 --at -3 --out " + Quote(dir_.File("neg.png")), dir_);
  EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace orvane
