// The parse dialog, the smart value, the help tree, the load-task dialog,
// the page bar and the export dialog, driven through their widgets.

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <fstream>

#include "backup_dialog.h"
#include "device_views.h"
#include "elided_edit.h"
#include "export_dialog.h"
#include "file_view.h"
#include "gui_test_support.h"
#include "page_bar.h"
#include "qt_texts.h"
#include "recording_model.h"
#include "scan_dialog.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"
#include "task_dialog.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

namespace {

}  // namespace

class DialogsTest : public QObject {
  Q_OBJECT
  synth::TempDir dir_;
  DeviceInfo device_;

 private slots:
  void initTestCase() {
    synth::SparseImage image(dir_.File("disk.img"), 8 * 1048576);
    device_ = synth::ImageDevice(dir_.File("disk.img"));
    device_.number = 0;
    device_.serial = "disk";
  }

  void ParseDialogRefusals() {
    auto f = MakeFrame();
    f->OpenScanDialog(&device_, 0);
    CScanDialog* d = f->scan_dialog();
    // No brand preselected: deep parse checked, region open, nothing chosen.
    QVERIFY(d->deep_radio()->isChecked());
    QVERIFY(d->start_edit()->isEnabled());
    QCOMPARE(d->end_edit()->text(), QString("16384"));
    QCOMPARE(d->path_edit()->text(), QString("请选择任务文件......"));
    QVERIFY(!d->continue_button()->isVisible());
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));

    // Deep parse of an empty region.
    d->brand_radio(1)->click();
    d->ChooseTaskFile(QString::fromStdString(dir_.File("new.tak")));
    d->start_edit()->setText("1000");
    d->end_edit()->setText("1000");
    const int rows = LogRows(*f);
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LogRows(*f), rows + 1);
    QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));

    // Buffer 0 or empty.
    d->end_edit()->setText("2000");
    for (const char* buffer : {"0", ""}) {
      d->buffer_edit()->setText(buffer);
      QTest::mouseClick(d->start_button(), Qt::LeftButton);
      QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));
    }
    QVERIFY(!f->busy());
  }

  void ParseDialogRefusesTheSourceAsTaskAndARegionPastIt() {
    auto f = MakeFrame();
    f->OpenScanDialog(&device_, 0);
    CScanDialog* d = f->scan_dialog();
    const std::vector<uint8_t> before = synth::ReadWholeFile(device_.name);
    d->brand_radio(1)->click();
    d->ChooseTaskFile(QString::fromStdString(device_.name));
    d->start_edit()->setText("0");
    d->end_edit()->setText("16384");
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("任务文件不能位于源设备上"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    QVERIFY(!f->busy());
    QVERIFY(synth::ReadWholeFile(device_.name) == before);

    d->ChooseTaskFile(QString::fromStdString(dir_.File("region.tak")));
    d->start_edit()->setText("16384");
    d->end_edit()->setText("20000");
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));
    QVERIFY(!f->busy());
  }

  void ParseDialogPathNotChosenAndFastStart() {
    auto f = MakeFrame();
    f->OpenScanDialog(&device_, 1);
    CScanDialog* d = f->scan_dialog();
    QCOMPARE(d->checked_brand(), 1);
    QVERIFY(d->fast_radio()->isChecked());
    QVERIFY(!d->start_edit()->isEnabled());
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));
    // A fast parse does not look at the region: start = end still starts.
    d->start_edit()->setText("1000");
    d->end_edit()->setText("1000");
    d->ChooseTaskFile(QString::fromStdString(dir_.File("fast.tak")));
    const int rows = LogRows(*f);
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QVERIFY(!LogHas(*f, "请正确设置参数信息") || LogRows(*f) > rows);
    for (int r = rows; r < LogRows(*f); ++r)
      QVERIFY(f->log_view()->item(r, 2)->text() != "请正确设置参数信息");
    QVERIFY(LogHas(*f, "加载任务结束"));
    QVERIFY(!f->busy());
    QVERIFY(!d->isVisible());  // the worker closed it
  }

  void TaskFilesChooseTheButtons() {
    auto f = MakeFrame();
    f->OpenScanDialog(&device_, 0);
    CScanDialog* d = f->scan_dialog();
    const std::string deep = dir_.File("deep.tak");
    const std::string fast = dir_.File("fastmode.tak");
    WriteTaskHead(deep, 2, 3, 2048 * 512);
    WriteTaskHead(fast, 1, 1, 0);
    d->ChooseTaskFile(QString::fromStdString(deep));
    QVERIFY(d->continue_button()->isVisible());
    QCOMPARE(d->start_button()->text(), QString("重新开始"));
    QVERIFY(d->deep_radio()->isChecked());
    QCOMPARE(d->checked_brand(), 3);
    QVERIFY(d->version2_radio()->isChecked());
    QCOMPARE(d->start_edit()->text(), QString("2048"));
    QCOMPARE(d->end_edit()->text(), QString("4096"));
    QCOMPARE(d->buffer_edit()->text(), QString("1048576"));
    d->ChooseTaskFile(QString::fromStdString(fast));
    QVERIFY(!d->continue_button()->isVisible());
    QCOMPARE(d->start_button()->text(), QString("开始"));
    QVERIFY(d->fast_radio()->isChecked());
    QVERIFY(!d->start_edit()->isEnabled());
    // A file that does not exist yet is no error and offers no continuation.
    const int rows = LogRows(*f);
    d->ChooseTaskFile(QString::fromStdString(dir_.File("missing.tak")));
    QVERIFY(!d->continue_button()->isVisible());
    QCOMPARE(LogRows(*f), rows);
    // Deep mode resets the region to the whole device.
    d->deep_radio()->click();
    QCOMPARE(d->start_edit()->text(), QString("0"));
    QCOMPARE(d->end_edit()->text(), QString("16384"));
  }

  void HelpTreeAndSmartValue() {
    auto f = MakeFrame();
    CHelpDialog* help = f->scan_dialog()->help_dialog();
    help->show();
    help->hide();
    help->show();
    QTreeWidget* tree = help->tree();
    QCOMPARE(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* root = tree->topLevelItem(0);
    QCOMPARE(root->text(0), QString("参数设置方法"));
    QCOMPARE(root->childCount(), 8);
    QCOMPARE(root->child(1)->text(0), QString("海康监控"));
    QCOMPARE(root->child(1)->childCount(), 5);
    QCOMPARE(root->child(7)->text(0), QString("中维世纪"));
    help->hide();

    f->smart_value_dialog()->edit()->setText("100");
    QCOMPARE(f->smart_value_dialog()->ValueBytes(), int64_t{51200});
  }

  void PageBarAtBothEndsAndWhileBusy() {
    auto f = MakeFrame();
    CFilePageDialog* bar = f->file_view()->page_bar();
    f->params().brand = 1;
    f->params().task_path = dir_.File("none.tak");
    bar->SetPages(3);
    QCOMPARE(bar->current_edit()->text(), QString("0"));
    QTest::mouseClick(bar->previous_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("已经是第一页"));
    for (int page = 1; page <= 2; ++page) {
      QTest::mouseClick(bar->next_button(), Qt::LeftButton);
      QVERIFY(f->WaitForWorkers(10000));
      QCOMPARE(bar->current_edit()->text(), QString::number(page));
      QCOMPARE(bar->status()->text(), QString("加载任务结束"));
    }
    QTest::mouseClick(bar->next_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("已经是最后一页"));
    QCOMPARE(bar->current_edit()->text(), QString("2"));
    f->flags().worker_busy.store(1);
    QTest::mouseClick(bar->next_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请等待其他线程执行完成"));
    QTest::mouseClick(bar->previous_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请等待其他线程执行完成"));
    f->flags().worker_busy.store(0);
    // A task without pages cannot be turned.
    bar->SetPages(0);
    QTest::mouseClick(bar->next_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("已经是最后一页"));
  }

  void LoadTaskDialog() {
    auto f = MakeFrame();
    f->OpenTaskDialog(&device_);
    CTaskDialog* d = f->task_dialog();
    QCOMPARE(d->source_edit()->text(),
             QString::fromStdString(device_.name + "---disk---#0"));
    QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请正确设置参数信息"));
    // A missing file: the reader says so, the page count is 0.
    d->ChooseTaskFile(QString::fromStdString(dir_.File("gone.tak")));
    QCOMPARE(LastLog(*f), QString("打开任务文件失败"));
    QCOMPARE(f->file_view()->page_bar()->total_edit()->text(), QString("0"));
    const std::string task = dir_.File("deep-load.tak");
    WriteTaskHead(task, 2, 1, 2048 * 512);
    d->ChooseTaskFile(QString::fromStdString(task));
    QCOMPARE(f->params().region_start, int64_t{1048576});
    QCOMPARE(f->params().brand, 1);
    QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(10000));
    QCOMPARE(f->flags().job_kind.load(), int32_t{JobTaskLoad});
    QVERIFY(!d->isVisible());
    QCOMPARE(f->file_view()->page_bar()->status()->text(), QString("加载任务结束"));
  }

  // What the export dialog says while it works: the file, n / m, bytes
  // done of all, speed and time left; a recording under one 2 MiB step
  // still gets a bar that fills.
  void ExportDialogShowsItsProgress() {
    auto f = MakeFrame();
    int64_t now = 100;
    f->now_seconds = [&now] { return now; };
    RecordingEntry small;
    small.channel = 1;
    small.size = 1000;
    small.start_time = 0x4A8A1F3B;
    small.end_time = 0x4A8A1F3B;
    small.fragments.push_back({0, 1000});
    RecordingEntry big = small;
    big.size = 5 * 1048576;
    big.fragments = {};
    big.fragments.push_back({1048576, 5 * 1048576});
    f->params().recordings = {small, big};
    f->params().head.time_kind = 1;
    f->file_view()->FillRecordingList();
    f->file_view()->TickAll(true);
    f->SetSource(&device_);
    CExportDialog* d = f->export_dialog();
    d->OpenFor(ExportMode::Ticked, -1);
    d->ChooseFolder(QString::fromStdString(dir_.File("progress")));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(d->progress()->value(), d->progress()->maximum());
    QVERIFY2(d->progress_text()->text().contains("2 / 2"), qPrintable(d->progress_text()->text()));
    QVERIFY(d->progress_text()->text().contains("5.0 MB / 5.0 MB"));

    // The same reports one by one, as the export sends them.
    f->file_view()->TickAll(true);
    d->OpenFor(ExportMode::Ticked, -1);
    d->ChooseFolder(QString::fromStdString(dir_.File("progress")));
    d->OnTotals({5 * 1048576 + 1000, 2, 0, 0});
    d->OnRecordingStarted(0);
    QCOMPARE(d->progress()->maximum(), 1);
    QCOMPARE(d->progress()->value(), 0);
    QVERIFY(d->progress_text()->text().startsWith(
        "当前文件: 0-2018-10-05 01-60-59-2018-10-05 01-60-59.dav\n1 / 2"));
    d->OnFileDone(0, true);
    QCOMPARE(d->progress()->value(), 1);
    d->OnTotals({5 * 1048576 + 1000, 2, 1000, 1});
    now = 102;
    d->OnRecordingStarted(2);
    d->OnPosition(1);
    const QString text = d->progress_text()->text();
    QVERIFY2(text.contains("当前文件: 1-") && text.contains("2 / 2   2.0 MB / 5.0 MB"),
             qPrintable(text));
    QVERIFY2(text.contains("速度: 1.0 MB/秒  剩余时间: 2 秒钟"), qPrintable(text));
    d->hide();
  }

  // A task is reviewed without its disk: loaded from an empty device tree,
  // exported after the source is named.
  void TaskWithoutItsDisk() {
    const std::string image = dir_.File("later.img");
    {
      synth::SparseImage disk(image, 4 * 1048576);
      disk.FillNoise(0, disk.size(), 3);
    }
    const std::string task = dir_.File("nodisk.tak");
    WriteTaskHead(task, 1, 1, 0);
    auto f = MakeFrame();
    QCOMPARE(f->disk_view()->topLevelItemCount(), 0);
    f->action(CmdLoadTask)->trigger();
    CTaskDialog* t = f->task_dialog();
    QVERIFY(t->isVisible());
    QVERIFY(t->source_edit()->text().isEmpty());
    t->ChooseTaskFile(QString::fromStdString(task));
    QTest::mouseClick(t->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(10000));
    QCOMPARE(f->file_view()->page_bar()->status()->text(), QString("加载任务结束"));

    // The export asks for the source it does not have.
    RecordingEntry e;
    e.channel = 4;
    e.size = 4096;
    e.fragments.push_back({8192, 4096});
    f->params().recordings = {e};
    f->file_view()->FillRecordingList();
    f->file_view()->TickAll(true);
    CExportDialog* d = f->export_dialog();
    d->OpenFor(ExportMode::Ticked, -1);
    d->ChooseFolder(QString::fromStdString(dir_.File("nodisk-out")));
    int asked = 0;
    d->ask_source = [&] {
      ++asked;
      return QString();
    };
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(asked, 1);
    QCOMPARE(f->live_workers(), 0);
    d->ask_source = [&] {
      ++asked;
      return QString::fromStdString(image);
    };
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(asked, 2);
    QVERIFY(f->source() && f->source()->name == image);
    QCOMPARE(f->disk_view()->topLevelItemCount(), 1);
    QCOMPARE(f->file_view()->model()->TickedTotals().first, int64_t{0});
  }

  // Files that are no task: said in the log and in a box, nothing loaded.
  void FilesThatAreNoTask() {
    auto f = MakeFrame();
    CTaskDialog* t = f->task_dialog();
    QStringList boxes;
    t->show_warning = [&](const QString& text) { boxes << text; };
    const std::string random = dir_.File("random.tak");
    {
      std::ofstream out(random, std::ios::binary);
      for (int i = 0; i < 4096; ++i) out.put(static_cast<char>((i * 7919 + 13) % 251));
    }
    const std::string empty = dir_.File("empty.tak");
    std::ofstream(empty, std::ios::binary).flush();
    const std::string unknown = dir_.File("unknown.tak");
    WriteTaskHead(unknown, 1, 42, 0);
    for (const std::string& path : {random, empty, unknown}) {
      f->OpenTaskDialog(nullptr);
      t->ChooseTaskFile(QString::fromStdString(path));
      QTest::mouseClick(t->ok_button(), Qt::LeftButton);
      QCOMPARE(f->live_workers(), 0);
      QCOMPARE(LastLog(*f), QString("任务文件无效"));
      QVERIFY(t->isVisible());
      t->hide();
    }
    QCOMPARE(boxes, (QStringList{"任务文件无效", "任务文件无效", "任务文件无效"}));
  }

  // Long source texts show both their ends; the tooltip has all of it.
  void LongSourceTextsAreElidedInTheMiddle() {
    auto f = MakeFrame();
    DeviceInfo longer = device_;
    longer.serial = std::string(150, 'S') + "-END";
    f->OpenScanDialog(&longer, 0);
    auto* edit = qobject_cast<MiddleElidedEdit*>(f->scan_dialog()->source_edit());
    QVERIFY(edit);
    QVERIFY(edit->text().endsWith("---#0"));
    QCOMPARE(edit->toolTip(), edit->text());
    const QString shown = edit->ShownText();
    QVERIFY(shown.size() < edit->text().size());
    QVERIFY(shown.startsWith(edit->text().left(4)));
    QVERIFY(shown.endsWith("---#0"));
    QVERIFY(shown.contains(QChar(0x2026)));
    f->scan_dialog()->hide();
    f->ShowImagingDialog(&longer);
    auto* backup = qobject_cast<MiddleElidedEdit*>(f->imaging_dialog()->source_text());
    QVERIFY(backup && backup->ShownText().endsWith("---#0"));
    f->imaging_dialog()->hide();
  }

  void StandardDialogsSpeakChinese() {
    QVERIFY(InstallChineseQtTexts(*QCoreApplication::instance()));
    QDialogButtonBox box(QDialogButtonBox::Open | QDialogButtonBox::Save |
                         QDialogButtonBox::Cancel);
    QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QString("取消"));
    QCOMPARE(box.button(QDialogButtonBox::Open)->text(), QString("打开"));
  }

  void ExportDialogNeedsAFolder() {
    auto f = MakeFrame();
    CExportDialog* d = f->export_dialog();
    d->OpenFor(ExportMode::Ticked, -1);
    QVERIFY(d->path_edit()->text().isEmpty());
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    // A chosen folder, then a cancelled picker: empty again, refused again.
    d->ask_folder = [] { return QString("/tmp/out/"); };
    QTest::mouseClick(d->browse_button(), Qt::LeftButton);
    QCOMPARE(d->path_edit()->text(), QString("/tmp/out"));
    d->ask_folder = [] { return QString(); };
    QTest::mouseClick(d->browse_button(), Qt::LeftButton);
    QVERIFY(d->path_edit()->text().isEmpty());
    const int rows = LogRows(*f);
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LogRows(*f), rows + 1);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QVERIFY(!f->busy());
    d->hide();
  }
};

QTEST_MAIN(DialogsTest)
#include "dialogs_test.moc"
