// The timeline tab: its index and axis, the rows it draws, hit-testing,
// and its ties to the recording list.

#include <QImage>
#include <QItemSelectionModel>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QWheelEvent>

#include "file_view.h"
#include "gui_test_support.h"
#include "recording_model.h"
#include "scan/task_head.h"
#include "timeline_strip.h"
#include "timeline_view.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

namespace {

// Seconds since 1970 of 2019-05-01 00:00:00 as the index counts them.
const double kMay1 = DaysFromCivil(2019, 5, 1) * 86400.0;

uint32_t Packed(int d, int h, int mi, int s) {
  return (19u << 26) | (5u << 22) | (static_cast<uint32_t>(d) << 17) |
         (static_cast<uint32_t>(h) << 12) | (static_cast<uint32_t>(mi) << 6) |
         static_cast<uint32_t>(s);
}

RecordingEntry Entry(int64_t channel, uint32_t start, uint32_t end) {
  RecordingEntry e;
  e.channel = channel;
  e.start_time = start;
  e.end_time = end;
  e.size = 1024;
  e.fragments.push_back({0, 1024});
  return e;
}

std::unique_ptr<TimelineIndex> IndexOf(const std::vector<RecordingEntry>& entries,
                                       uint8_t kind = TimePacked) {
  return TimelineIndex::Build(
      static_cast<uint32_t>(entries.size()),
      [&entries](uint32_t row) -> const RecordingEntry& { return entries[row]; }, kind);
}

TimelineAxis Axis(int width, double begin, double span, double first, double last) {
  TimelineAxis a;
  a.SetWidth(width);
  a.SetExtent(first, last);
  a.Show(begin, span);
  return a;
}

void Load(CMainFrame& f, std::vector<RecordingEntry> entries) {
  f.file_view()->ClearList();
  f.params().recordings = std::move(entries);
  f.params().head.time_kind = TimePacked;
  f.file_view()->FillRecordingList();
}

// The timeline tab shown over a loaded page, its index built.
CTimelineView* ShowTimeline(CMainFrame& f) {
  CTimelineView* view = f.file_view()->timeline();
  auto* tabs = f.file_view()->findChild<QTabWidget*>("list_tabs");
  tabs->setCurrentWidget(view);
  if (!view->WaitForIndex(10000)) return nullptr;
  return view;
}

QImage Render(CTimelineView* view) {
  QImage image(view->viewport()->size(), QImage::Format_RGB32);
  QPainter p(&image);
  view->Paint(p, image.size());
  return image;
}

}  // namespace

class TimelineTest : public QObject {
  Q_OBJECT
 private slots:
  // Channels in ascending order, each sorted by start however the rows
  // came; a long recording keeps covering the columns after its start.
  void IndexOrdersAndCovers() {
    const std::vector<RecordingEntry> entries = {
        Entry(7, Packed(1, 10, 0, 0), Packed(1, 10, 5, 0)),
        Entry(2, Packed(1, 12, 0, 0), Packed(1, 12, 0, 0)),  // no length at all
        Entry(7, Packed(1, 8, 0, 0), Packed(1, 9, 59, 59)),  // two hours, listed late
        Entry(2, Packed(1, 11, 0, 0), Packed(1, 10, 0, 0)),  // ends before it starts
        Entry(7, Packed(1, 8, 30, 0), Packed(1, 8, 31, 0)),
    };
    auto index = IndexOf(entries);
    QCOMPARE(index->channel_count(), size_t{2});
    QCOMPARE(index->channel(0), int64_t{2});
    QCOMPARE(index->channel(1), int64_t{7});
    QCOMPARE(index->ChannelIndexOf(7), 1);
    QCOMPARE(index->ChannelIndexOf(3), -1);
    QCOMPARE(index->RowAt(index->begin(1)), 2u);
    QCOMPARE(index->RowAt(index->begin(1) + 1), 4u);
    QCOMPARE(index->RowAt(index->begin(1) + 2), 0u);
    QCOMPARE(index->EndOfRow(3), index->StartAt(index->PositionOfRow(3)));
    QCOMPARE(double(index->min_time()), kMay1 + 8 * 3600);
    QCOMPARE(double(index->longest(1)), 2 * 3600.0 - 1);

    // 09:00-09:01 lies only inside the two-hour recording, after a shorter
    // one that started later.
    QVERIFY(index->Covers(1, kMay1 + 9 * 3600, kMay1 + 9 * 3600 + 60));
    QVERIFY(!index->Covers(1, kMay1 + 10.5 * 3600, kMay1 + 11 * 3600));
    QVERIFY(index->Covers(0, kMay1 + 12 * 3600, kMay1 + 12 * 3600 + 1));
    QVERIFY(!index->Covers(0, kMay1 + 12 * 3600 + 1, kMay1 + 13 * 3600));

    index->SetTicked(4, true);
    const size_t p = index->PositionOfRow(4);
    QVERIFY(index->IsTickedAt(p) && index->AnyTicked(p, p + 1));
    QVERIFY(!index->AnyTicked(0, p) && !index->AnyTicked(p + 1, index->size()));

    // Seconds-counting kinds land where their broken-down fields say.
    for (uint32_t v : {0u, 951782400u, 1546300799u, 4102444800u, UINT32_MAX}) {
      uint32_t start = 0, end = 0;
      QVERIFY(TimelineSeconds(Entry(1, v, 0), TimeUnixUtc, start, end));
      CivilTime t;
      QVERIFY(DecodeTime(TimeUnixUtc, v, t));
      QCOMPARE(double(start), DaysFromCivil(t.year, t.month, t.day) * 86400.0 + t.hour * 3600 +
                                  t.minute * 60 + t.second);
      QCOMPARE(end, start);
    }
    // Times no kind decodes leave nothing to draw.
    QVERIFY(IndexOf(entries, TimeKindNone)->empty());
  }

  void ZoomStaysBetweenAMinuteAndAMonth() {
    TimelineAxis a = Axis(1000, kMay1, 86400, kMay1, kMay1 + 90 * 86400.0);
    const double anchor = a.TimeAt(250);
    a.ZoomAt(250, 0.5);
    QCOMPARE(a.span(), 43200.0);
    QVERIFY(std::abs(a.TimeAt(250) - anchor) < 1e-3);
    for (int i = 0; i < 100; ++i) a.ZoomAt(250, 0.5);
    QCOMPARE(a.span(), TimelineAxis::kMinSpan);
    QVERIFY(std::abs(a.TimeAt(250) - anchor) < 1e-3);
    for (int i = 0; i < 100; ++i) a.ZoomAt(700, 2);
    QCOMPARE(a.span(), TimelineAxis::kMaxSpan);
    a.Show(0, 1);
    QCOMPARE(a.span(), TimelineAxis::kMinSpan);
    // Dragging far off keeps the middle of the view on the recordings.
    a.PanPixels(-1e9);
    QCOMPARE(a.begin() + a.span() / 2, kMay1);
    a.PanPixels(1e9);
    QCOMPARE(a.begin() + a.span() / 2, kMay1 + 90 * 86400.0);

    // The wheel over the view does the same.
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries;
    for (int d = 1; d <= 28; ++d)
      entries.push_back(Entry(1, Packed(d, 8, 0, 0), Packed(d, 9, 0, 0)));
    Load(*f, std::move(entries));
    CTimelineView* view = ShowTimeline(*f);
    QVERIFY(view);
    for (int i = 0; i < 60; ++i) view->ZoomAtViewport(300, 120);
    QCOMPARE(view->axis().span(), TimelineAxis::kMinSpan);
    for (int i = 0; i < 60; ++i) view->ZoomAtViewport(300, -120);
    QCOMPARE(view->axis().span(), TimelineAxis::kMaxSpan);
    // A real notch of the wheel, towards the user: in, about the cursor.
    view->ShowSpan(kMay1 + 3 * 86400.0, 86400);
    const QPoint at(CTimelineView::kLabelWidth + 100, 40);
    const double under = view->axis().TimeAt(100);
    QWheelEvent wheel(at, view->viewport()->mapToGlobal(at), {}, {0, 120}, Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(view->viewport(), &wheel);
    QCOMPARE(view->axis().span(), 86400 * 0.8);
    QVERIFY(std::abs(view->axis().TimeAt(100) - under) < 1);
  }

  // Few recordings get a bar each; a month of one a minute is drawn a
  // column at a time, with the gaps left empty.
  void StripsAggregateWhatIsBelowAPixel() {
    std::vector<RecordingEntry> few = {Entry(1, Packed(1, 10, 0, 0), Packed(1, 10, 29, 59)),
                                       Entry(1, Packed(1, 10, 30, 0), Packed(1, 10, 59, 59))};
    auto index = IndexOf(few);
    TimelineAxis a = Axis(600, kMay1 + 9 * 3600, 3 * 3600, index->min_time(), index->max_time());
    auto strip = TimelineStrip(*index, 0, a);
    QCOMPARE(strip.size(), size_t{2});
    QVERIFY(strip[0].single && strip[1].single);
    QCOMPARE(strip[0].x0, 200);
    QCOMPARE(strip[0].x1, 300);
    QCOMPARE(strip[1].x0, 300);

    std::vector<RecordingEntry> many;
    for (int d = 1; d <= 28; ++d)
      for (int h = 0; h < 24; ++h) {
        if (d == 15) continue;  // a day without recordings
        for (int m = 0; m < 60; ++m)
          many.push_back(Entry(3, Packed(d, h, m, 0), Packed(d, h, m, 50)));
      }
    index = IndexOf(many);
    a = Axis(2800, kMay1, 28 * 86400.0, index->min_time(), index->max_time());
    strip = TimelineStrip(*index, 0, a);
    int covered = 0;
    for (const TimelineSegment& s : strip) {
      QVERIFY(!s.single);
      covered += s.x1 - s.x0;
      QVERIFY(s.x1 <= 1400 || s.x0 >= 1500);  // nothing on the fifteenth
    }
    QCOMPARE(covered, 2700);
    QVERIFY(strip.size() <= 2800);
  }

  void ClickHitsTheRecordingUnderIt() {
    const std::vector<RecordingEntry> entries = {
        Entry(1, Packed(1, 10, 0, 0), Packed(1, 10, 59, 59)),
        Entry(1, Packed(1, 10, 20, 0), Packed(1, 10, 30, 0)),  // inside the first
        Entry(1, Packed(1, 12, 0, 0), Packed(1, 12, 10, 0)),
        Entry(4, Packed(1, 10, 0, 0), Packed(1, 11, 0, 0)),
    };
    auto index = IndexOf(entries);
    TimelineAxis a = Axis(800, kMay1 + 9 * 3600, 4 * 3600, index->min_time(), index->max_time());
    auto x_of = [&](int h, int m) { return a.XOf(kMay1 + h * 3600 + m * 60); };
    QCOMPARE(TimelineHit(*index, 0, a, x_of(10, 10)), std::optional<uint32_t>(0));
    QCOMPARE(TimelineHit(*index, 0, a, x_of(10, 25)), std::optional<uint32_t>(1));
    QCOMPARE(TimelineHit(*index, 0, a, x_of(12, 5)), std::optional<uint32_t>(2));
    QCOMPARE(TimelineHit(*index, 1, a, x_of(10, 25)), std::optional<uint32_t>(3));
    QCOMPARE(TimelineHit(*index, 0, a, x_of(11, 30)), std::nullopt);
    // Within two pixels of a bar's end still counts.
    QCOMPARE(TimelineHit(*index, 0, a, a.XOf(kMay1 + 12 * 3600 + 600) + 1.5),
             std::optional<uint32_t>(2));
    QCOMPARE(TimelineHit(*index, 5, a, x_of(10, 10)), std::nullopt);
  }

  void SelectionFollowsBothWays() {
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries;
    for (int i = 0; i < 3000; ++i)
      entries.push_back(Entry(1 + i % 6, Packed(1 + i / 144, (i / 6) % 24, 0, 0),
                              Packed(1 + i / 144, (i / 6) % 24, 40, 0)));
    Load(*f, std::move(entries));
    CTimelineView* view = ShowTimeline(*f);
    QVERIFY(view);
    QTableView* table = f->file_view()->table();
    view->ShowSpan(kMay1, 6 * 3600);

    // A click on a bar selects its row and brings the row into the list.
    const int row = 2401;
    const QPoint at = view->RevealRow(row);
    QCOMPARE(view->RowAtPoint(at), row);
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(table->currentIndex().row(), row);
    QVERIFY(table->selectionModel()->isRowSelected(row, {}));
    QCOMPARE(table->selectionModel()->selectedRows().size(), 1);
    QVERIFY(table->verticalScrollBar()->value() > 0);
    QCOMPARE(view->selected_row(), row);
    // A double click on it goes to the list.
    auto* tabs = f->file_view()->findChild<QTabWidget*>("list_tabs");
    QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, at);
    QCOMPARE(tabs->currentWidget(), table);
    tabs->setCurrentWidget(view);

    // A row chosen in the list shows its bar: time and channel in view.
    const int other = 17;
    table->selectionModel()->setCurrentIndex(
        f->file_view()->model()->index(other, 0),
        QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    QCOMPARE(view->selected_row(), other);
    const RecordingEntry& e = f->params().recordings[other];
    uint32_t start = 0, end = 0;
    QVERIFY(TimelineSeconds(e, TimePacked, start, end));
    QVERIFY(view->axis().begin() <= start && end <= view->axis().end());
    const QPoint shown = view->RevealRow(other);
    QCOMPARE(view->RowAtPoint(shown), other);
    const QImage image = Render(view);
    QCOMPARE(image.pixelColor(shown.x(), shown.y() - CTimelineView::kRowHeight / 2 + 2).rgb(),
             kTimelineSelectionColour.rgb());

    // New rows (another page) drop the old index and build a new one.
    Load(*f, {Entry(9, Packed(2, 1, 0, 0), Packed(2, 2, 0, 0))});
    QVERIFY(view->WaitForIndex(10000));
    QCOMPARE(view->index()->channel(0), int64_t{9});
    QCOMPARE(view->selected_row(), -1);
  }

  // Closing the window while the index is being built: the builder reads
  // the list's rows until it has been stopped.
  void ClosingWhileTheIndexIsBuilt() {
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries;
    for (int i = 0; i < 400000; ++i)
      entries.push_back(Entry(1 + i % 8, Packed(1 + i / 20000, 0, 0, 0) + i % 20000,
                              Packed(1 + i / 20000, 0, 0, 0) + i % 20000 + 30));
    Load(*f, std::move(entries));
    f->file_view()
        ->findChild<QTabWidget*>("list_tabs")
        ->setCurrentWidget(f->file_view()->timeline());
    QVERIFY(!f->file_view()->timeline()->index());
    QStringList gone;
    connect(f->file_view()->timeline(), &QObject::destroyed, [&] { gone << "timeline"; });
    connect(f->file_view()->model(), &QObject::destroyed, [&] { gone << "model"; });
    f.reset();
    QCOMPARE(gone, QStringList({"timeline", "model"}));
  }

  void TickedRowsAreMarked() {
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries = {Entry(1, Packed(1, 10, 0, 0), Packed(1, 10, 20, 0)),
                                           Entry(1, Packed(1, 10, 30, 0), Packed(1, 10, 50, 0))};
    // Enough recordings on a second channel that it is drawn by columns.
    for (int d = 1; d <= 28; ++d)
      for (int h = 0; h < 24; ++h)
        for (int m = 0; m < 60; m += 6)
          entries.push_back(Entry(2, Packed(d, h, m, 0), Packed(d, h, m + 1, 0)));
    Load(*f, std::move(entries));
    CTimelineView* view = ShowTimeline(*f);
    QVERIFY(view);
    RecordingModel* m = f->file_view()->model();
    view->ShowSpan(kMay1 + 9.5 * 3600, 2 * 3600);
    const int strip_y = CTimelineView::kRulerHeight + 4 + 1;
    auto x_of = [&](double t) { return CTimelineView::kLabelWidth + int(view->axis().XOf(t)); };
    QVERIFY(m->setData(m->index(1, 0), Qt::Checked, Qt::CheckStateRole));
    QImage image = Render(view);
    QCOMPARE(image.pixelColor(x_of(kMay1 + 10.7 * 3600), strip_y).rgb(), kTimelineTickColour.rgb());
    QVERIFY(image.pixelColor(x_of(kMay1 + 10.2 * 3600), strip_y).rgb() !=
            kTimelineTickColour.rgb());
    // Below the strip the bar keeps its colour.
    QCOMPARE(image.pixelColor(x_of(kMay1 + 10.7 * 3600), strip_y + 8).rgb(),
             TimelineBarColour(f->params().recordings[1]).rgb());
    QVERIFY(m->setData(m->index(1, 0), Qt::Unchecked, Qt::CheckStateRole));
    image = Render(view);
    QVERIFY(image.pixelColor(x_of(kMay1 + 10.7 * 3600), strip_y).rgb() !=
            kTimelineTickColour.rgb());

    // Ticks of more rows than are copied at once are read again aside;
    // then also the columns of a channel drawn by columns carry them.
    f->file_view()->TickAll(true);
    QVERIFY(view->WaitForIndex(10000));
    view->ShowSpan(kMay1, 28 * 86400.0);
    image = Render(view);
    const int y2 = strip_y + CTimelineView::kRowHeight;
    int marked = 0;
    for (int x = CTimelineView::kLabelWidth; x < image.width(); ++x)
      marked += image.pixelColor(x, y2).rgb() == kTimelineTickColour.rgb();
    QVERIFY(marked > image.width() / 2);
    // Ticks already set when the index is built.
    view->BuildIndexNow();
    image = Render(view);
    int again = 0;
    for (int x = CTimelineView::kLabelWidth; x < image.width(); ++x)
      again += image.pixelColor(x, y2).rgb() == kTimelineTickColour.rgb();
    QCOMPARE(again, marked);
  }
};

QTEST_MAIN(TimelineTest)
#include "timeline_test.moc"
