// An MP4 export asked of a program without the media libraries is not lost:
// the recording is written as the recorder's own stream and the log says why.

#include "recordings/export_formats.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "device/source_device.h"
#include "recordings/small_source.h"
#include "scan/scan_parameters.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

ExportedFile FakeMp4(const std::string&, const RecordingEntry&, ScanParameters&, SourceDevice&,
                     int64_t) {
  ExportedFile f;
  f.path = "lent";
  return f;
}

TEST(ExportFormats, Mp4WithoutTheMediaLibrariesFallsBackToRawAndSaysSo) {
  SmallSource source;
  synth::TempDir& dir = source.dir;
  ScanParameters& p = source.p;
  SourceDevice& dev = source.dev;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  RecordingEntry e;
  e.fragments.push_back({0, 4096});
  e.size = 4096;

  ASSERT_FALSE(Mp4ExportAvailable());
  const ExportedFile raw = ExportRecordingAs(ExportFormat::Mp4, dir.File("out"), e, p, dev, 1);
  ASSERT_TRUE(raw.created);
  EXPECT_EQ(std::filesystem::file_size(raw.path), 4096u);
  EXPECT_TRUE(sink.Has(std::string(kMsgMp4Fallback) + std::string(kReasonNoMediaLibraries) +
                       " 文件:" + raw.path));

  // A program with them lends its remux to every export.
  SetMp4Exporter(&FakeMp4);
  EXPECT_EQ(ExportRecordingAs(ExportFormat::Mp4, dir.File("out"), e, p, dev, 1).path, "lent");
  EXPECT_NE(ExportRecordingAs(ExportFormat::Raw, dir.File("out"), e, p, dev, 1).path, "lent");
  SetMp4Exporter(nullptr);
}

}  // namespace
}  // namespace orvane
