// A Dahua-family deep parse steps over what the smart-value detection
// searched and found no magic in, and finds exactly what a parse that reads
// everything finds.

#include <gtest/gtest.h>

#include <string>

#include "engines/dahua/dahua_engine.h"
#include "scan/dispatch.h"
#include "synth/counting_device.h"
#include "synth/dahua_disk.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kMiB = 1 << 20;

// 96 MiB: one recording in blocks 1-2 (inside the tenth the detection leaves
// out), zeros, one recording in blocks 38-39 near the end.
std::string BuildDisk(const synth::TempDir& tmp) {
  const std::string path = tmp.File("d.img");
  synth::DahuaDisk disk(BrandDahua, path, 96 * kMiB);
  disk.AddArea(synth::TwoMiBBlockArea(40, 0x200000));
  for (uint8_t ch = 1; ch <= 2; ++ch) {
    synth::DahuaRecordingSpec r;
    r.channel = ch;
    r.blocks = ch == 1 ? std::vector<uint32_t>{1, 2} : std::vector<uint32_t>{38, 39};
    r.end = synth::BlockEnd::kPadded;
    r.start_time = synth::PackTime(2019, 5, 1, ch, 0, 0);
    disk.Plant(r);
  }
  disk.Finish();
  disk.WipeIndex();
  return path;
}

synth::CountedParse Parse(const std::string& image, const synth::TempDir& tmp, int32_t version,
                          int64_t given_smart, const ByteRange& failing = {}, bool survey = true) {
  return synth::ParseCounted(image, BrandDahua, version, given_smart,
                             tmp.File("t" + std::to_string(version) + "-" +
                                      std::to_string(given_smart) + (survey ? "" : "-one") +
                                      ".tak"),
                             failing, survey);
}

TEST(DahuaSharedPass, TheScanStepsOverWhatTheDetectionSearchedAndFindsTheSame) {
  synth::TempDir tmp;
  const std::string image = BuildDisk(tmp);
  for (int32_t version : {1, 2}) {
    const synth::CountedParse detected = Parse(image, tmp, version, -1);
    ASSERT_TRUE(detected.shared);
    // The same smart value given by hand: no detection, every byte read.
    const synth::CountedParse given = Parse(image, tmp, version, detected.smart);
    ASSERT_FALSE(given.task.empty());
    EXPECT_EQ(detected.task, given.task) << "version " << version;
    // Detection and scan together read less than the detection (most of
    // the disk) and a full scan would.
    EXPECT_LT(detected.read, given.read + 40 * kMiB) << "version " << version;
    EXPECT_LT(detected.read, 96 * kMiB + 24 * kMiB) << "version " << version;
  }
}

TEST(DahuaSharedPass, WhatTheDetectionFailedToReadIsReadAgain) {
  synth::TempDir tmp;
  const std::string image = BuildDisk(tmp);
  // Sectors early in the second recording fail while the detection reads
  // them and read for the scan. The detection searched zeros behind them:
  // the scan must read those again and find the recording whole.
  const int64_t second = 0x200000 + 0x200000 + 38 * 0x200000;  // block 38 of the area
  const ByteRange marginal = ByteRange::FromLength(second + 0x10000, 4096);
  for (int32_t version : {1, 2}) {
    const synth::CountedParse detected = Parse(image, tmp, version, -1, marginal);
    const synth::CountedParse given = Parse(image, tmp, version, detected.smart);
    EXPECT_EQ(detected.task, given.task) << "version " << version;
  }
}

// The detection and both scans read the same with a second thread surveying
// ahead as without one, and find the same: the chunk scan's records made on
// that thread included.
TEST(DahuaSharedPass, ASecondThreadChangesNothing) {
  synth::TempDir tmp;
  const std::string image = BuildDisk(tmp);
  for (int32_t version : {1, 2}) {
    for (int64_t smart : {int64_t{-1}, Parse(image, tmp, version, -1).smart}) {
      const synth::CountedParse two = Parse(image, tmp, version, smart);
      const synth::CountedParse one = Parse(image, tmp, version, smart, {}, false);
      ASSERT_FALSE(one.task.empty());
      EXPECT_EQ(two.smart, one.smart) << "version " << version;
      EXPECT_EQ(two.task, one.task) << "version " << version << " smart " << smart;
    }
  }
}

}  // namespace
}  // namespace orvane
