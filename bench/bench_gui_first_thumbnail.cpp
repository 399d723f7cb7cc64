// The first thumbnail of a recording on screen after the click on
// "视频预览": the preview window opened for a row of a page-cached image
// until its strip shows the first key frame, painted. Recordings of 64 MiB
// of a 1920x1080 H.264 stream at 25 frames a second, a key frame a second
// (made with the ffmpeg program; the committed 320x240 stream where there
// is none), of Hikvision, Dahua and Jovision, five rows of each, every
// click on a row not opened before.
//
// Target: every click under 300 ms.
//
//   bench_gui_first_thumbnail [folder]

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QListWidget>
#include <QTableView>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <vector>

#include "device/source_device.h"
#include "file_view.h"
#include "main_frame.h"
#include "media/frame_source.h"
#include "media/recording_bytes.h"
#include "media_disk.h"
#include "plain_read.h"
#include "preview_window.h"
#include "synth/test_support.h"

namespace fs = std::filesystem;
using namespace orvane;
using namespace orvane::bench;
using namespace orvane::gui;

namespace {

// The access units of a full-HD stream from the ffmpeg program; empty when
// it cannot make one.
std::vector<synth::Bytes> FullHdUnits(const fs::path& folder) {
  const fs::path path = folder / ("bench-first-thumbnail-" + std::to_string(::getpid()) + ".h264");
  const std::string command =
      "ffmpeg -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -t 4 -c:v libx264 "
      "-preset ultrafast -g 25 -pix_fmt yuv420p -f h264 -y '" +
      path.string() + "' < /dev/null";
  std::vector<synth::Bytes> units;
  if (std::system(command.c_str()) != 0) return units;
  const DeviceInfo info = synth::ImageDevice(path.string());
  SourceDevice device;
  device.Open(info);
  RecordingEntry entry;
  entry.fragments.push_back({0, static_cast<uint32_t>(info.size)});
  RecordingBytes bytes(device, entry);
  auto walk = OpenAnnexBWalk(bytes, VideoCodec::H264, 0);
  for (VideoFrame frame; walk->Next(frame);) units.push_back(frame.data);
  device.Close();
  fs::remove(path);
  return units;
}

constexpr int kRows = 5;
constexpr int64_t kRecordingBytes = 64 << 20;
constexpr qint64 kTargetMs = 300;

// Milliseconds from the click on a row to its first thumbnail painted;
// negative when none comes within ten seconds.
qint64 ClickToFirstThumbnail(CMainFrame& frame, int row) {
  frame.file_view()->table()->selectRow(row);
  QElapsedTimer clock;
  clock.start();
  frame.action(CmdVideoPreview)->trigger();
  CPreviewWindow* w = frame.file_view()->preview_window();
  while (w->strip()->count() == 0) {
    if (clock.elapsed() > 10'000) return -1;
    QApplication::processEvents(QEventLoop::AllEvents, 5);
  }
  w->strip()->viewport()->repaint();
  const qint64 ms = clock.elapsed();
  w->close();
  return ms;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  const fs::path folder = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path();
  QApplication app(argc, argv);

  std::vector<synth::Bytes> units = FullHdUnits(folder);
  const bool full_hd = !units.empty();
  if (!full_hd) units = synth::TestFrames();
  std::printf("stream %s, %zu frames\n", full_hd ? "1920x1080" : "320x240 (no ffmpeg program)",
              units.size());
  std::vector<MediaSet> sets = MediaSets();
  const fs::path image = folder / ("bench-first-thumbnail-" + std::to_string(::getpid()) + ".img");
  {
    const int64_t each = kRows * kRecordingBytes;
    synth::SparseImage img(image.string(), static_cast<int64_t>(sets.size()) * each + (1 << 20));
    int64_t at = 1 << 20;
    for (MediaSet& set : sets)
      at = PlantMediaRecordings(img, at, each, kRecordingBytes, set, units);
  }
  const DeviceInfo device = synth::ImageDevice(image.string());
  PlainRead(device);  // into the page cache

  CMainFrame frame;
  frame.show_modal = [](QDialog* d) { d->show(); };
  frame.resize(1200, 800);
  frame.show();
  QApplication::processEvents();

  bool ok = true;
  for (const MediaSet& set : sets) {
    frame.params().source = &device;
    frame.params().brand = set.brand;
    frame.params().head.time_kind = set.time_kind;
    frame.params().recordings = set.recordings;
    frame.file_view()->FillRecordingList();
    QApplication::processEvents();
    std::vector<qint64> times;
    for (int row = 0; row < static_cast<int>(set.recordings.size()); ++row)
      times.push_back(ClickToFirstThumbnail(frame, row));
    std::vector<qint64> sorted = times;
    std::sort(sorted.begin(), sorted.end());
    const qint64 median = sorted[sorted.size() / 2];
    const bool pass = sorted.front() >= 0 && sorted.back() < kTargetMs;
    std::printf("%-10s clicks:", set.label);
    for (qint64 t : times) std::printf(" %lld", static_cast<long long>(t));
    std::printf(" ms  median %lld, slowest %lld ms (target under %lld) %s\n",
                static_cast<long long>(median), static_cast<long long>(sorted.back()),
                static_cast<long long>(kTargetMs), pass ? "ok" : "SLOW");
    ok = ok && pass;
  }
  fs::remove(image);
  return ok ? 0 : 1;
}
