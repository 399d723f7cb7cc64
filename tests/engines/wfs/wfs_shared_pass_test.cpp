// A WFS deep parse steps over what the alignment detection searched and
// found no start code in, and finds exactly what a parse that reads
// everything finds.

#include <gtest/gtest.h>

#include <string>

#include "engines/wfs/wfs_engine.h"
#include "scan/dispatch.h"
#include "synth/counting_device.h"
#include "synth/test_support.h"
#include "synth/wfs_disk.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

// 96 MiB of 4 MiB segments: a recording in segment 0 (inside the tenth the
// detection leaves out), free segments, a recording in segments 19-20.
struct Disk {
  synth::TempDir dir;
  synth::WfsDisk disk{dir.File("wfs.img")};
  Disk() {
    disk.Plant(1, synth::PackTime(2016, 5, 17, 10, 0, 0), {0});
    disk.Plant(2, synth::PackTime(2016, 5, 17, 12, 0, 0), {19, 20});
    disk.WipeIndex();
  }
  synth::CountedParse Parse(int32_t version, int64_t given_smart, const ByteRange& failing = {},
                            bool survey = true) {
    return synth::ParseCounted(disk.path(), BrandWfs, version, given_smart,
                               dir.File("t" + std::to_string(version) + "-" +
                                        std::to_string(given_smart) + (survey ? "" : "-one") +
                                        ".tak"),
                               failing, survey);
  }
};

TEST(WfsSharedPass, TheScanStepsOverWhatTheDetectionSearchedAndFindsTheSame) {
  Disk d;
  for (int32_t version : {1, 2}) {
    const synth::CountedParse detected = d.Parse(version, -1);
    ASSERT_TRUE(detected.shared);
    // The same smart value given by hand: no detection, every byte read.
    const synth::CountedParse given = d.Parse(version, detected.smart);
    ASSERT_FALSE(given.task.empty());
    EXPECT_EQ(detected.task, given.task) << "version " << version;
    // The free segments between the two were read once, by the detection.
    EXPECT_LT(detected.read, given.read + 40 * kMiB) << "version " << version;
  }
}

TEST(WfsSharedPass, WhatTheDetectionFailedToReadIsReadAgain) {
  Disk d;
  // The second recording's first segment fails while the detection reads it
  // and reads for the scan: the scan must read what the detection had as
  // zeros again and find the recording whole.
  const int64_t second = 0x400000 + 0x0A5600 + 19 * 0x400000;
  for (int32_t version : {1, 2}) {
    const synth::CountedParse detected =
        d.Parse(version, -1, ByteRange::FromLength(second, 0x400000));
    const synth::CountedParse given = d.Parse(version, detected.smart);
    EXPECT_EQ(detected.task, given.task) << "version " << version;
  }
}

// The detection and the scans read the same with a second thread surveying
// ahead as without one, and find the same.
TEST(WfsSharedPass, ASecondThreadChangesNothing) {
  Disk d;
  for (int32_t version : {1, 2}) {
    for (int64_t smart : {int64_t{-1}, d.Parse(version, -1).smart}) {
      const synth::CountedParse two = d.Parse(version, smart);
      const synth::CountedParse one = d.Parse(version, smart, {}, false);
      ASSERT_FALSE(one.task.empty());
      EXPECT_EQ(two.smart, one.smart) << "version " << version;
      EXPECT_EQ(two.task, one.task) << "version " << version << " smart " << smart;
    }
  }
}

}  // namespace
}  // namespace orvane
