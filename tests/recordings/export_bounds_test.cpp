// The export of a recording whose fragments lie outside every device (a
// damaged task file): nothing is read there, and the recording does not
// count as exported.

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

#include "device/source_device.h"
#include "recordings/export.h"
#include "recordings/small_source.h"
#include "scan/scan_parameters.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

TEST(ExportRecording, FragmentsOutsideDeviceOffsetsAreRefused) {
  SmallSource source;
  synth::TempDir& dir = source.dir;
  ScanParameters& p = source.p;
  SourceDevice& dev = source.dev;
  synth::CapturingSink sink;
  ScopedNotifySink scoped(&sink);
  constexpr int64_t kMax = std::numeric_limits<int64_t>::max();
  for (const FragmentExtent bad : {FragmentExtent{-1, 100}, FragmentExtent{kMax - 50, 100},
                                   FragmentExtent{std::numeric_limits<int64_t>::min(), 512}}) {
    RecordingEntry e;
    e.fragments.push_back({0, 512});
    e.fragments.push_back(bad);
    e.size = 612;
    const ExportedFile r = ExportRecording(dir.File("out"), e, p, dev, 1);
    ASSERT_TRUE(r.created) << bad.offset;
    EXPECT_FALSE(r.complete) << bad.offset;
    EXPECT_EQ(std::filesystem::file_size(r.path), 512u) << bad.offset;
  }
  EXPECT_TRUE(sink.Has(kMsgReadFailed));
}

}  // namespace
}  // namespace orvane
