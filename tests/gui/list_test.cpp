// The recording list: its model over the loaded entries, the tick commands
// and their statistics, the save commands.

#include <QItemSelectionModel>
#include <QTableView>

#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "export_dialog.h"
#include "filter_dialog.h"
#include "file_view.h"
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
