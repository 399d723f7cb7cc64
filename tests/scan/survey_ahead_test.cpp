#include "scan/survey_ahead.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

#include "synth/linux_bad_sector_backend.h"
#include "synth/test_support.h"

namespace orvane {
namespace {

constexpr int64_t kWindow = 64 << 10;
constexpr int kWindows = 96;
constexpr uint8_t kMark = 0xAB;

// An image of kWindows windows, zeros but for a mark in each window of
// `marked`.
std::string MarkedImage(synth::TempDir& dir, const std::vector<int>& marked) {
  std::vector<uint8_t> bytes(static_cast<size_t>(kWindow) * kWindows, 0);
  for (int w : marked) bytes[static_cast<size_t>(w) * kWindow + 1000] = kMark;
  const std::string path = dir.File("marked.img");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  return path;
}

SurveyAhead::Plan GridPlan() {
  SurveyAhead::Plan plan;
  plan.end = kWindow * kWindows;
  plan.read_bytes = static_cast<int32_t>(kWindow);
  plan.step = kWindow;
  plan.capacity = static_cast<int32_t>(kWindow);
  plan.device_size = kWindow * kWindows;
  return plan;
}

SurveyAhead::Survey MarkSurvey() {
  return [](const uint8_t* data, size_t length) {
    return std::memchr(data, kMark, length) != nullptr;
  };
}

// Whether the window at `position` holds a mark.
bool Marked(const std::vector<int>& marked, int64_t position) {
  for (int w : marked) {
    const int64_t mark = w * kWindow + 1000;
    if (mark >= position && mark < position + kWindow) return true;
  }
  return false;
}

bool TwoProcessors() { return std::thread::hardware_concurrency() >= 2; }

// What the scan spends on a window it reads and searches itself; the
// survey's thread gets ahead of it meanwhile.
void WorkOnAWindow() { std::this_thread::sleep_for(std::chrono::microseconds(300)); }

TEST(SurveyAhead, NeverCallsAWindowThatHoldsSomethingEmptyAndSparesTheScanMostOfTheRest) {
  synth::TempDir dir;
  const std::vector<int> marked = {5, 6, 40, 41, 77};
  const DeviceInfo image = synth::ImageDevice(MarkedImage(dir, marked));
  // A scan on a fixed grid, and a walk that leaves the grid behind every
  // window that holds something (as a frame walk does), each run twice.
  for (bool walk : {false, true}) {
    SurveyAhead ahead(&image, GridPlan(), MarkSurvey());
    EXPECT_EQ(ahead.running(), TwoProcessors());
    int spared = 0;
    for (int64_t p = 0; p < kWindow * kWindows;) {
      if (ahead.Empty(p)) {
        ASSERT_FALSE(Marked(marked, p)) << p;
        ++spared;
        p += kWindow;
        continue;
      }
      WorkOnAWindow();
      p += (walk && Marked(marked, p)) ? kWindow + 1234 : kWindow;
    }
    if (TwoProcessors()) {
      EXPECT_GT(spared, 0) << walk;
    } else {
      EXPECT_EQ(spared, 0);
    }
  }
}

TEST(SurveyAhead, WithNotesItHandsOverWhatItFoundAlsoAmongFullWindows) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no survey thread";
  synth::TempDir dir;
  // Most windows hold a mark: a survey with notes goes on among them.
  std::vector<int> marked;
  for (int w = 0; w < kWindows; ++w)
    if (w % 7 != 3) marked.push_back(w);
  const DeviceInfo image = synth::ImageDevice(MarkedImage(dir, marked));
  SurveyAhead ahead(&image, GridPlan(), MarkSurvey(),
                    [](const uint8_t* data, size_t length, int64_t, std::vector<uint8_t>& notes) {
                      for (size_t i = 0; i < length; ++i)
                        if (data[i] == kMark) notes.push_back(static_cast<uint8_t>(i / 8));
                    });
  int handed_over = 0;
  std::vector<uint8_t> notes;
  for (int64_t p = 0; p < kWindow * kWindows; p += kWindow) {
    if (!ahead.Surveyed(p, notes)) {
      WorkOnAWindow();
      continue;
    }
    ++handed_over;
    // The mark of a marked window sits at 1000: note 125; none otherwise.
    if (Marked(marked, p)) {
      ASSERT_EQ(notes, std::vector<uint8_t>{125}) << p;
    } else {
      ASSERT_TRUE(notes.empty()) << p;
    }
  }
  EXPECT_GT(handed_over, 0);
}

// A walk's windows lie off the sector grid. Each is read in one read of
// whole sectors, and what those hold outside the window counts for
// nothing: here a mark in the sector in front of every window and one in
// the sector behind it.
TEST(SurveyAhead, AWindowOffTheSectorGridIsReadInOneReadAndJudgedOnItsOwnBytes) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no survey thread";
  synth::TempDir dir;
  constexpr int64_t kOff = 300;  // where the windows start within a sector
  std::vector<uint8_t> bytes(static_cast<size_t>(kWindow) * kWindows, 0);
  for (int64_t w = 1; w + 1 < kWindows; ++w)
    bytes[static_cast<size_t>(w * kWindow + kOff - 1)] = kMark;
  const std::string path = dir.File("edges.img");
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()),
             static_cast<std::streamsize>(bytes.size()));
  auto log = std::make_shared<synth::BadSectorLog>();
  const DeviceInfo image = synth::LinuxBadSectorImageDevice(path, {}, log);
  SurveyAhead::Plan plan = GridPlan();
  plan.start = kOff;
  // Windows one byte short of the step: the byte behind each holds the
  // next window's front mark. The survey looks at all of the capacity,
  // which is zero behind the window.
  plan.read_bytes = static_cast<int32_t>(kWindow - 1);
  plan.capacity = static_cast<int32_t>(kWindow + 511);
  SurveyAhead ahead(&image, plan, [](const uint8_t* data, size_t) {
    return std::memchr(data, kMark, kWindow + 511) != nullptr;
  });
  int spared = 0, windows = 0;
  for (int64_t p = kOff; p + kWindow <= kWindow * kWindows; p += kWindow, ++windows) {
    if (ahead.Empty(p)) {
      ++spared;
    } else {
      WorkOnAWindow();
    }
  }
  EXPECT_GT(spared, 10);
  EXPECT_LE(log->calls.load(), windows);
}

TEST(SurveyAhead, AFailedReadIsNoVerdictAndEndsTheReadsAhead) {
  if (!TwoProcessors()) GTEST_SKIP() << "one processor: no survey thread";
  synth::TempDir dir;
  const std::string path = MarkedImage(dir, {});
  // Bad sectors in every window from 20 on: none of them is ever called
  // empty, for the survey could not read it.
  std::vector<synth::BadSectors> bad;
  for (int w = 20; w < kWindows; ++w) bad.push_back({w * kWindow / 512 + 7, 1});
  const DeviceInfo failing = synth::LinuxBadSectorImageDevice(path, bad);
  SurveyAhead ahead(&failing, GridPlan(), MarkSurvey());
  int spared_before = 0;
  for (int64_t p = 0; p < kWindow * kWindows; p += kWindow) {
    const bool empty = ahead.Empty(p);
    if (p >= 20 * kWindow) {
      ASSERT_FALSE(empty) << p;
    }
    spared_before += empty;
    if (!empty) WorkOnAWindow();
  }
  EXPECT_GT(spared_before, 0);

  // Stopped by the scan: no verdicts after.
  const DeviceInfo image = synth::ImageDevice(path);
  SurveyAhead stopped(&image, GridPlan(), MarkSurvey());
  for (int64_t p = 0; p < 10 * kWindow; p += kWindow)
    if (!stopped.Empty(p)) WorkOnAWindow();
  stopped.Stop();
  for (int64_t p = 10 * kWindow; p < kWindow * kWindows; p += kWindow) {
    // A verdict reached before the stop may still come; none is read after.
    const bool empty = stopped.Empty(p);
    if (p >= 20 * kWindow) {
      ASSERT_FALSE(empty) << p;
    }
  }
}

TEST(SurveyAhead, WithoutADeviceOrRoomItStaysOut) {
  SurveyAhead none(nullptr, GridPlan(), MarkSurvey());
  EXPECT_FALSE(none.running());
  EXPECT_FALSE(none.Empty(0));
  synth::TempDir dir;
  const DeviceInfo image = synth::ImageDevice(MarkedImage(dir, {}));
  SurveyAhead::Plan small = GridPlan();
  small.end = 3 * kWindow;  // a few windows are not worth a thread
  EXPECT_FALSE(SurveyAhead(&image, small, MarkSurvey()).running());
  DeviceInfo missing = image;
  missing.name = missing.path = dir.File("absent.img");
  EXPECT_FALSE(SurveyAhead(&missing, GridPlan(), MarkSurvey()).running());
}

}  // namespace
}  // namespace orvane
