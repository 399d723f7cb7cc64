// The parse dialog, the smart value, the help tree, the load-task dialog,
// the page bar and the export dialog, driven through their widgets.

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>

#include "export_dialog.h"
#include "file_view.h"
#include "gui_test_support.h"
#include "page_bar.h"
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
