// The timeline tab over a full page: 20,000,000 recordings on 16 channels,
// one a minute each, drawn into an offscreen image at every scale from a
// month down to a minute and at several places.
//
// Target: every frame in under 100 ms. The time to build the index the
// frames are drawn from, and a click's hit test, are printed alongside.
//
//   bench_gui_timeline [--records N]

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTabWidget>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "file_view.h"
#include "main_frame.h"
#include "scan/task_head.h"
#include "timeline_view.h"

using namespace orvane;
using namespace orvane::gui;

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  int64_t records = 20'000'000;
  for (int i = 1; i + 1 < argc; ++i)
    if (std::strcmp(argv[i], "--records") == 0) records = std::atoll(argv[i + 1]);
  QApplication app(argc, argv);

  CMainFrame frame;
  frame.show_modal = [](QDialog* d) { d->show(); };
  frame.resize(1600, 1000);
  frame.show();
  QApplication::processEvents();

  const uint32_t first = 1546300800;  // 2019-01-01 00:00:00
  auto& entries = frame.params().recordings;
  entries.reserve(static_cast<size_t>(records));
  for (int64_t i = 0; i < records; ++i) {
    RecordingEntry e;
    e.channel = 1 + i % 16;
    e.start_time = first + static_cast<uint32_t>(i / 16 * 60);
    e.end_time = e.start_time + 50;
    e.size = 1048576;
    e.fragments.push_back({i * 1048576, 1048576});
    entries.push_back(std::move(e));
  }
  frame.params().head.time_kind = TimeUnixUtc;
  frame.file_view()->FillRecordingList();
  frame.file_view()->TickAll(true);

  CTimelineView* view = frame.file_view()->timeline();
  frame.file_view()->findChild<QTabWidget*>("list_tabs")->setCurrentWidget(view);
  QElapsedTimer clock;
  clock.start();
  view->BuildIndexNow();
  std::printf("index of %lld recordings built in %lld ms\n", static_cast<long long>(records),
              static_cast<long long>(clock.elapsed()));

  // A full-screen timeline, larger than the tab of the window above.
  QImage image(1920, 1080, QImage::Format_RGB32);
  const double last = first + static_cast<double>(records / 16) * 60;
  struct Frame {
    const char* name;
    double begin, span;
  };
  const Frame frames[] = {
      {"month at the start", first, 31 * 86400.0},
      {"month in the middle", (first + last) / 2, 31 * 86400.0},
      {"week", (first + last) / 2, 7 * 86400.0},
      {"day", (first + last) / 2, 86400.0},
      {"hour", (first + last) / 2, 3600.0},
      {"ten minutes", (first + last) / 2, 600.0},
      {"minute", (first + last) / 2, 60.0},
      {"month at the end", last - 31 * 86400.0, 31 * 86400.0},
  };
  qint64 worst = 0;
  for (const Frame& f : frames) {
    view->ShowSpan(f.begin, f.span);
    qint64 best = INT64_MAX, slowest = 0;
    for (int repeat = 0; repeat < 3; ++repeat) {
      clock.start();
      QPainter p(&image);
      view->Paint(p, image.size());
      p.end();
      const qint64 ms = clock.elapsed();
      best = std::min(best, ms);
      slowest = std::max(slowest, ms);
    }
    clock.start();
    const int row = view->RowAtPoint(QPoint(image.width() / 2, CTimelineView::kRulerHeight + 5));
    std::printf("%-20s %dx%d: frame %lld ms (best %lld), hit test %lld ms (row %d)\n", f.name,
                image.width(), image.height(), static_cast<long long>(slowest),
                static_cast<long long>(best), static_cast<long long>(clock.elapsed()), row);
    worst = std::max(worst, slowest);
  }
  const bool ok = worst < 100;
  std::printf("slowest frame %lld ms (target under 100)\n%s\n", static_cast<long long>(worst),
              ok ? "PASS" : "FAIL");
  return ok ? 0 : 1;
}
