// The recording list: its model over the loaded entries, the tick commands
// and their statistics, the save commands.

#include <QDateTimeEdit>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_test_support.h"
#include "recording_model.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

namespace {

RecordingEntry Entry(int64_t channel, int64_t size, uint32_t start = 0, uint32_t end = 0) {
  RecordingEntry e;
  e.channel = channel;
  e.size = size;
  e.start_time = start;
  e.end_time = end;
  e.fragments.push_back({channel * 4096, static_cast<uint32_t>(size)});
  return e;
}

void Load(CMainFrame& f, std::vector<RecordingEntry> entries, uint8_t kind = 1) {
  f.file_view()->ClearList();
  f.params().recordings = std::move(entries);
  f.params().head.time_kind = kind;
  f.file_view()->FillRecordingList();
}

uint32_t Packed(int y, int mo, int d, int h, int mi, int s) {
  return (static_cast<uint32_t>(y - 2000) << 26) | (static_cast<uint32_t>(mo) << 22) |
         (static_cast<uint32_t>(d) << 17) | (static_cast<uint32_t>(h) << 12) |
         (static_cast<uint32_t>(mi) << 6) | static_cast<uint32_t>(s);
}

// The index texts of the rows, top to bottom.
QStringList ShownIndexes(CMainFrame& f) {
  QStringList out;
  RecordingModel* m = f.file_view()->model();
  for (int r = 0; r < m->rowCount(); ++r) out << m->CellText(r, 0);
  return out;
}

void ClickHeader(CMainFrame& f, int column) {
  QHeaderView* h = f.file_view()->table()->horizontalHeader();
  QTest::mouseClick(h->viewport(), Qt::LeftButton, {},
                    QPoint(h->sectionViewportPosition(column) + 4, h->height() / 2));
}

// The channels of the rows the list shows, top to bottom.
QStringList ShownChannels(CMainFrame& f) {
  QStringList out;
  RecordingModel* m = f.file_view()->model();
  for (int r = 0; r < m->rowCount(); ++r) out << m->CellText(r, 1);
  return out;
}

void RunFilter(CMainFrame& f) {
  QTest::mouseClick(f.filter_dialog()->ok_button(), Qt::LeftButton);
  QVERIFY(f.WaitForWorkers(60000));
  QCoreApplication::processEvents();
}

}  // namespace

class ListTest : public QObject {
  Q_OBJECT
 private slots:
  void CellTexts() {
    auto f = MakeFrame();
    Load(*f, {Entry(3, 0, 0x4A8A1F3B, 0x4A8A1F3B), Entry(255, 1536)});
    RecordingModel* m = f->file_view()->model();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->headerData(1, Qt::Horizontal, Qt::DisplayRole).toString(), QString("视频通道"));
    QCOMPARE(m->CellText(0, 0), QString("0"));
    QCOMPARE(m->CellText(0, 1), QString("3"));
    QCOMPARE(m->CellText(0, 2), QString());  // a size of 0 shows nothing
    QCOMPARE(m->CellText(0, 3), QString("2018-10-05 01-60-59"));
    QCOMPARE(m->CellText(1, 2), QString("1.5 KB"));
    Load(*f, {Entry(1, 10)}, 3);
    QCOMPARE(m->CellText(0, 3), QString("1970-01-01 00-00-00"));
    QCOMPARE(f->file_view()->page_bar() != nullptr, true);
  }

  void TicksStatisticsAndSelection() {
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries;
    for (int i = 0; i < 10; ++i) entries.push_back(Entry(i, (i + 1) * 1048576));
    Load(*f, std::move(entries));
    CFileView* view = f->file_view();
    RecordingModel* m = view->model();
    view->TickStatistics();
    QCOMPARE(LastLog(*f), QString("勾选文件数量: 0   勾选文件大小: "));
    // Ticking through the check box of the cells, as a click does.
    QVERIFY(m->setData(m->index(0, 0), Qt::Checked, Qt::CheckStateRole));
    QVERIFY(m->setData(m->index(2, 0), Qt::Checked, Qt::CheckStateRole));
    view->TickStatistics();
    QCOMPARE(LastLog(*f), QString("勾选文件数量: 2   勾选文件大小: 4.0 MB"));
    QCOMPARE(LastLog(*f, 0), QString("信息"));

    QItemSelectionModel* sel = view->table()->selectionModel();
    sel->select(m->index(7, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    sel->select(m->index(4, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    view->TickSelected(true);
    QVERIFY(m->IsTicked(4) && m->IsTicked(7) && !m->IsTicked(5));
    QCOMPARE(m->TickedTotals().first, int64_t{4});
    view->TickSelected(false);
    QCOMPARE(m->TickedTotals().first, int64_t{2});
    view->TickAll(true);
    QCOMPARE(m->TickedTotals().first, int64_t{10});
    QCOMPARE(m->TickedTotals().second, int64_t{55} * 1048576);
    view->TickAll(false);
    QCOMPARE(m->TickedTotals().first, int64_t{0});

    // "单项保存" exports the lowest selected row.
    view->SaveSelected();
    CExportDialog* d = f->export_dialog();
    QCOMPARE(d->mode(), ExportMode::Single);
    QCOMPARE(d->row(), 4);
    d->hide();
    // Nothing ticked: said in the log, no dialog with empty totals.
    view->SaveTicked();
    QCOMPARE(LastLog(*f), QString("文件列表中没有勾选任何文件"));
    QVERIFY(!d->isVisible());
    m->SetTicked(3, true);
    view->SaveTicked();
    QCOMPARE(d->mode(), ExportMode::Ticked);
    d->hide();
    sel->clearSelection();
    view->SaveSelected();
    QCOMPARE(LastLog(*f), QString("文件列表中没有任何文件信息"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
  }

  // The date window takes a row whose start hour lies in [start, end) or
  // whose end hour lies in (start, end]; a row spanning the window has
  // neither and goes.
  void FilterDialogDateWindowAndChannels() {
    auto f = MakeFrame();
    auto at = [](int h, int mi) { return Packed(2019, 5, 1, h, mi, 0); };
    Load(*f,
         {Entry(1, 10, at(8, 0), at(8, 30)), Entry(2, 10, at(9, 0), at(9, 59)),
          Entry(3, 10, at(10, 0), at(10, 20)), Entry(4, 10, at(7, 30), at(8, 10)),
          Entry(5, 10, at(7, 0), at(11, 0)), Entry(6, 10, 0, 0)},
         1);
    CSetDlg* d = f->filter_dialog();
    f->file_view()->OpenFilter();
    QVERIFY(d->isVisible());
    QVERIFY(d->date_radio()->isChecked());
    QCOMPARE(d->start_picker()->displayFormat(), QString("yyyy-MM-dd HH"));
    d->start_picker()->setDateTime(QDateTime(QDate(2019, 5, 1), QTime(8, 0)));
    d->end_picker()->setDateTime(QDateTime(QDate(2019, 5, 1), QTime(8, 59)));
    // Minutes play no part: 08:00 to 08:59 is an empty window.
    QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    QCOMPARE(ShownChannels(*f).size(), 6);

    d->end_picker()->setDateTime(QDateTime(QDate(2019, 5, 1), QTime(10, 0)));
    RunFilter(*f);
    QCOMPARE(ShownChannels(*f), (QStringList{"1", "2", "3"}));
    QVERIFY(LogHas(*f, "正在过滤文件中..."));
    QCOMPARE(LastLog(*f), QString("过滤文件任务结束"));

    // The channel filter on what the date filter left.
    f->file_view()->OpenFilter();
    d->channel_radio()->click();
    QVERIFY(!d->start_picker()->isEnabled());
    QVERIFY(d->channel_edit()->isEnabled());
    d->channel_edit()->setText("1-3");
    RunFilter(*f);
    QCOMPARE(ShownChannels(*f), (QStringList{"1", "3"}));
    // The entries themselves are untouched: binding again shows all six.
    QCOMPARE(f->params().recordings.size(), size_t{6});
  }

  // With a clock offset the window means corrected time, the dialog says so,
  // and it opens on the corrected hours of the loaded recordings.
  void FilterDialogWindowIsOfCorrectedTimesWithAnOffset() {
    auto f = MakeFrame();
    auto at = [](int h, int mi) { return Packed(2019, 5, 1, h, mi, 0); };
    // Corrected by +00:03:12: 09:57:48 to 11:26:48, and 07:58:48 to 08:26:48.
    Load(*f, {Entry(1, 10, at(10, 1), at(11, 30)), Entry(2, 10, at(8, 2), at(8, 30))});
    CSetDlg* d = f->filter_dialog();
    f->file_view()->OpenFilter();
    QCOMPARE(d->time_basis_label()->text(), QString("按录像机时间筛选"));
    QCOMPARE(d->start_picker()->dateTime(), QDateTime(QDate(2019, 5, 1), QTime(8, 0)));
    d->clock_offset_edit()->setText("+00:03:12");
    QCOMPARE(d->time_basis_label()->text(), QString("按校正时间 (录像机时间 - 时钟偏差) 筛选"));
    d->end_picker()->setDateTime(QDateTime(QDate(2019, 5, 1), QTime(10, 0)));
    RunFilter(*f);
    // By recorder time channel 2 would stay and channel 1 go.
    QCOMPARE(ShownChannels(*f), (QStringList{"1"}));
    RecordingModel* m = f->file_view()->model();
    QCOMPARE(m->columnCount(), 8);
    QCOMPARE(m->CellText(0, 3), QString("2019-05-01 10-01-00"));
    QCOMPARE(m->CellText(0, 6), QString("2019-05-01 09-57-48"));

    f->file_view()->OpenFilter();
    QCOMPARE(d->time_basis_label()->text(), QString("按校正时间 (录像机时间 - 时钟偏差) 筛选"));
    QCOMPARE(d->start_picker()->dateTime(), QDateTime(QDate(2019, 5, 1), QTime(9, 0)));
    QCOMPARE(d->end_picker()->dateTime(), QDateTime(QDate(2019, 5, 1), QTime(11, 0)));
    d->clock_offset_edit()->setText("");
    QCOMPARE(d->time_basis_label()->text(), QString("按录像机时间筛选"));
    d->close();
  }

  // Header clicks sort by each column, the second click the other way;
  // equal keys keep their order, ticks and index numbers stay with their
  // recordings.
  void HeaderClicksSortAndKeepTicks() {
    auto f = MakeFrame();
    auto at = [](int d, int h) { return Packed(2024, 5, d, h, 0, 0); };
    std::vector<RecordingEntry> e = {
        Entry(2, 300, at(2, 8), at(2, 9)), Entry(1, 100, at(1, 8), at(3, 9)),
        Entry(2, 200, at(1, 10), at(1, 11)), Entry(1, 100, at(3, 8), at(3, 8))};
    e[2].fragments.push_back({1 << 20, 10});
    Load(*f, std::move(e));
    RecordingModel* m = f->file_view()->model();
    QCOMPARE(m->columnCount(), 6);
    QCOMPARE(m->headerData(5, Qt::Horizontal, Qt::DisplayRole).toString(), QString("片段"));
    QCOMPARE(m->CellText(2, 5), QString("2"));
    m->SetTicked(1, true);

    ClickHeader(*f, 1);
    QCOMPARE(ShownIndexes(*f), (QStringList{"1", "3", "0", "2"}));
    ClickHeader(*f, 1);
    QCOMPARE(ShownIndexes(*f), (QStringList{"0", "2", "1", "3"}));
    ClickHeader(*f, 2);
    QCOMPARE(ShownIndexes(*f), (QStringList{"1", "3", "2", "0"}));
    f->file_view()->SortByColumn(3, Qt::AscendingOrder);
    QCOMPARE(ShownIndexes(*f), (QStringList{"1", "2", "0", "3"}));
    f->file_view()->SortByColumn(4, Qt::AscendingOrder);
    QCOMPARE(ShownIndexes(*f), (QStringList{"2", "0", "3", "1"}));
    f->file_view()->SortByColumn(5, Qt::DescendingOrder);
    QCOMPARE(ShownIndexes(*f), (QStringList{"2", "0", "3", "1"}));
    f->file_view()->SortByColumn(0, Qt::DescendingOrder);
    QCOMPARE(ShownIndexes(*f), (QStringList{"3", "2", "1", "0"}));
    QVERIFY(m->IsTicked(2));
    QCOMPARE(m->TickedTotals(), std::make_pair(int64_t{1}, int64_t{100}));
    QCOMPARE(&m->Entry(2), &f->params().recordings[1]);

    // A worker reads the rows by position: no sort under it.
    f->flags().worker_busy.store(1);
    ClickHeader(*f, 2);
    QCOMPARE(LastLog(*f), QString("请等待其他线程执行完成"));
    QCOMPARE(ShownIndexes(*f), (QStringList{"3", "2", "1", "0"}));
    QCOMPARE(f->file_view()->table()->horizontalHeader()->sortIndicatorSection(), 0);
    f->flags().worker_busy.store(0);

    // A filter on the sorted rows keeps their order.
    f->file_view()->OpenFilter();
    f->filter_dialog()->channel_radio()->click();
    f->filter_dialog()->channel_edit()->setText("1");
    RunFilter(*f);
    QCOMPARE(ShownIndexes(*f), (QStringList{"3", "1"}));
  }

  void TotalsLineFollowsRowsAndTicks() {
    auto f = MakeFrame();
    auto at = [](int d, int h) { return Packed(2024, 5, d, h, 0, 0); };
    Load(*f, {Entry(2, 1048576, at(2, 8), at(2, 9)), Entry(7, 3 * 1048576, at(1, 8), at(3, 9)),
              Entry(2, 10, 0, 0)});
    QLabel* line = f->file_view()->totals_line();
    QCOMPARE(line->text(),
             QString("本页录像: 3   已勾选: 0   通道: 2   时间: 2024-05-01 08-00-00 ~ "
                     "2024-05-03 09-00-00"));
    f->file_view()->TickAll(true);
    f->file_view()->model()->SetTicked(2, false);
    QCoreApplication::processEvents();
    QVERIFY(line->text().contains("已勾选: 2 (4.0 MB)"));
    f->file_view()->ClearList();
    QCOMPARE(line->text(), QString("本页录像: 0   已勾选: 0   通道: 0"));
  }

  // The time columns show their whole text after a load, at the default
  // size and maximised, and the user can still narrow them.
  void TimeColumnsFitTheirText() {
    auto f = MakeFrame();
    Load(*f, {Entry(1, 1048576, Packed(2024, 5, 1, 8, 0, 0), Packed(2024, 5, 1, 9, 0, 0))});
    QTableView* t = f->file_view()->table();
    const int text = t->fontMetrics().horizontalAdvance("2024-05-01 08-00-00");
    auto fits = [&] {
      for (int c : {3, 4})
        if (t->columnWidth(c) < text + 6) return false;
      return true;
    };
    QVERIFY(fits());
    f->resize(1600, 1000);
    QCoreApplication::processEvents();
    QVERIFY(fits());
    QCOMPARE(t->horizontalHeader()->sectionResizeMode(3), QHeaderView::Interactive);
    t->horizontalHeader()->resizeSection(3, 40);
    QCOMPARE(t->columnWidth(3), 40);
  }

  // The pickers open on the hours of the loaded recordings (a damaged time
  // word left out), and a date typed in goes into them whole.
  void FilterOpensOnTheLoadedTimes() {
    auto f = MakeFrame();
    Load(*f, {Entry(1, 10, Packed(2019, 5, 1, 8, 30, 0), Packed(2019, 5, 1, 9, 10, 0)),
              Entry(2, 10, 0, 0),
              Entry(3, 10, Packed(2019, 5, 3, 22, 0, 0), Packed(2019, 5, 3, 23, 40, 0))});
    CSetDlg* d = f->filter_dialog();
    f->file_view()->OpenFilter();
    QCOMPARE(d->start_picker()->dateTime(), QDateTime(QDate(2019, 5, 1), QTime(8, 0)));
    QCOMPARE(d->end_picker()->dateTime(), QDateTime(QDate(2019, 5, 3), QTime(23, 0)));
    RunFilter(*f);
    QCOMPARE(ShownChannels(*f), (QStringList{"1", "3"}));

    f->file_view()->OpenFilter();
    QApplication::setActiveWindow(d);
    d->start_picker()->setFocus();
    QTRY_VERIFY(d->start_picker()->hasFocus());
    QTest::qWait(10);
    QTest::keyClicks(d->start_picker(), "2020-06-07 05");
    QCOMPARE(d->start_picker()->dateTime(), QDateTime(QDate(2020, 6, 7), QTime(5, 0)));
    d->hide();
  }

  void FilteredRowsKeepTheirEntriesAndTicks() {
    auto f = MakeFrame();
    std::vector<RecordingEntry> entries;
    for (int i = 0; i < 6; ++i) entries.push_back(Entry(i % 3, 1000 + i));
    Load(*f, std::move(entries));
    RecordingModel* m = f->file_view()->model();
    m->SetTicked(4, true);
    m->BeginRowRemoval();
    QCOMPARE(m->rowCount(), 0);  // the view looks away while rows go
    m->rows().RemoveRows([](size_t r) { return r == 1 || r == 4; });
    m->EndRowRemoval();
    QCOMPARE(m->rowCount(), 2);
    QCOMPARE(m->CellText(1, 0), QString("4"));  // the index text stays the entry's
    QCOMPARE(&m->Entry(1), &f->params().recordings[4]);
    QVERIFY(m->IsTicked(1));
    m->SetAllTicked(true);
    QCOMPARE(m->TickedTotals(), std::make_pair(int64_t{2}, int64_t{1001 + 1004}));
    m->Bind();
    QCOMPARE(m->rowCount(), 6);
    QCOMPARE(m->TickedTotals().first, int64_t{0});
    m->Clear();
    QCOMPARE(m->rowCount(), 0);
    QCOMPARE(f->file_view()->FirstSelectedRow(), -1);
  }
};

QTEST_MAIN(ListTest)
#include "list_test.moc"
