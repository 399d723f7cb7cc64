// The whole road through the windows: open a disk image, parse it fast, the
// list fills, tick all, export into a folder; the files hold the planted
// bytes. Then the filter dialog narrows the list by channel and by date.

#include <QComboBox>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <filesystem>

#include "device_views.h"
#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_test_support.h"
#include "page_bar.h"
#include "recording_model.h"
#include "scan_dialog.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

class EndToEndTest : public QObject {
  Q_OBJECT
 private slots:
  void ParseListTickExport() {
    synth::TempDir dir;
    synth::HikvisionDiskOptions o;
    o.blocks = 2;
    synth::HikvisionDisk disk(dir.File("sample.img"), o);
    synth::HikRecordingSpec s;
    s.channel = 3;
    s.start_unix = synth::UnixTime(2019, 5, 1, 8, 0, 0);
    s.frames = 100;
    const synth::HikPlanted a = disk.AddRecording(0, 0x300000, s);
    s.channel = 5;
    s.start_unix = synth::UnixTime(2019, 5, 2, 9, 0, 0);
    s.frames = 50;
    const synth::HikPlanted b = disk.AddRecording(1, 0x10000, s);

    auto f = MakeFrame();
    f->OpenImageFiles({QString::fromStdString(disk.path())});
    QCOMPARE(f->disk_view()->topLevelItemCount(), 1);
    f->disk_view()->setCurrentItem(f->disk_view()->topLevelItem(0));
    f->action(CmdParseVideo)->trigger();
    CScanDialog* scan = f->scan_dialog();
    QVERIFY(scan->isVisible());
    scan->brand_radio(1)->click();
    scan->fast_radio()->click();
    scan->ask_task_path = [&](const QString&) { return QString::fromStdString(dir.File("s.tak")); };
    QTest::mouseClick(scan->browse_button(), Qt::LeftButton);
    QTest::mouseClick(scan->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QVERIFY(!scan->isVisible());
    QVERIFY(LogHas(*f, "加载任务结束"));

    CFileView* view = f->file_view();
    QCOMPARE(view->row_count(), 2);
    QCOMPARE(view->page_bar()->total_edit()->text(), QString("1"));
    QCOMPARE(view->model()->CellText(0, 1), QString("3"));
    QCOMPARE(view->model()->CellText(0, 3), QString("2019-05-01 08-00-00"));

    view->TickAll(true);
    f->action(CmdExportFiles)->trigger();
    CExportDialog* ex = f->export_dialog();
    QVERIFY(ex->isVisible());
    QCOMPARE(ex->mode(), ExportMode::Ticked);
    const std::string out = dir.File("out");
    ex->ask_folder = [&] { return QString::fromStdString(out); };
    QTest::mouseClick(ex->browse_button(), Qt::LeftButton);
    QTest::mouseClick(ex->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QVERIFY(!ex->isVisible());
    QCOMPARE(f->flags().job_kind.load(), int32_t{JobExport});
    QVERIFY(LogHas(*f, "导出文件任务结束"));
    // Every file written, every row unticked; the job's totals and speed
    // left the status bar with the job, the export dialog counted to the end.
    QCOMPARE(view->model()->TickedTotals().first, int64_t{0});
    QCOMPARE(f->speed_label()->text(), QString("速度"));
    QVERIFY(ex->progress_text()->text().contains("2 / 2"));
    std::vector<std::string> files;
    for (const auto& e : std::filesystem::recursive_directory_iterator(out))
      if (e.is_regular_file() && e.path().extension() == ".dav") files.push_back(e.path().string());
    std::sort(files.begin(), files.end());
    QCOMPARE(files.size(), size_t{2});
    QVERIFY(files[0].find("/channel 3/2019-05-01/0-2019-05-01 08-00-00-") != std::string::npos);
    QVERIFY(synth::ReadWholeFile(files[0]) == a.bytes);
    QVERIFY(synth::ReadWholeFile(files[1]) == b.bytes);

    // The same recordings again, remuxed into MP4 files.
    view->TickAll(true);
    f->action(CmdExportFiles)->trigger();
    QCOMPARE(ex->format_box()->currentText(), QString("原始格式"));
    ex->format_box()->setCurrentIndex(ex->format_box()->findText("MP4"));
    const std::string mp4_out = dir.File("mp4");
    ex->ask_folder = [&] { return QString::fromStdString(mp4_out); };
    QTest::mouseClick(ex->browse_button(), Qt::LeftButton);
    QTest::mouseClick(ex->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    std::vector<std::string> mp4s;
    for (const auto& e : std::filesystem::recursive_directory_iterator(mp4_out))
      if (e.is_regular_file() && e.path().extension() == ".mp4") mp4s.push_back(e.path().string());
    std::sort(mp4s.begin(), mp4s.end());
    QCOMPARE(mp4s.size(), size_t{2});
    QVERIFY(mp4s[0].ends_with("-2019-05-01 08-00-03.mp4"));
    const std::vector<uint8_t> head = synth::ReadWholeFile(mp4s[0]);
    QVERIFY(head.size() > 8 && std::string(head.begin() + 4, head.begin() + 8) == "ftyp");

    // The filter: channel 5 only, then a date window that leaves nothing.
    f->action(CmdFilterFiles)->trigger();
    CSetDlg* filter = f->filter_dialog();
    QVERIFY(filter->isVisible());
    QCOMPARE(filter->channel_edit()->text(), QString("xx-xx-xx"));
    QVERIFY(!filter->channel_edit()->isEnabled());
    filter->channel_radio()->click();
    QVERIFY(filter->channel_edit()->text().isEmpty());
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    filter->channel_edit()->setText("1-5");
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QVERIFY(!filter->isVisible());
    QVERIFY(LogHas(*f, "过滤文件任务结束"));
    QCOMPARE(view->row_count(), 1);
    QCOMPARE(view->model()->CellText(0, 0), QString("1"));

    f->action(CmdFilterFiles)->trigger();
    QVERIFY(filter->date_radio()->isChecked());
    const QDateTime at(QDate(2019, 5, 2), QTime(9, 0));
    filter->start_picker()->setDateTime(at);
    filter->end_picker()->setDateTime(at);
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    // The recording's start hour 09 lies in [08, 10): it stays.
    filter->start_picker()->setDateTime(QDateTime(QDate(2019, 5, 2), QTime(8, 0)));
    filter->end_picker()->setDateTime(QDateTime(QDate(2019, 5, 2), QTime(10, 0)));
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QCOMPARE(view->row_count(), 1);
    f->action(CmdFilterFiles)->trigger();
    filter->start_picker()->setDateTime(QDateTime(QDate(2019, 5, 2), QTime(10, 0)));
    filter->end_picker()->setDateTime(QDateTime(QDate(2019, 5, 2), QTime(12, 0)));
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QCOMPARE(view->row_count(), 0);
  }
};

QTEST_MAIN(EndToEndTest)
#include "end_to_end_test.moc"
