// The main frame: its commands, its handling of every notification, the
// device tree and the log.

#include <QAction>
#include <QDateTimeEdit>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSplitter>
#include <QToolBar>
#include <QTreeWidget>
#include <atomic>
#include <thread>

#include "device/device_label.h"
#include "device/notify.h"
#include "device_views.h"
#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_test_support.h"
#include "page_bar.h"
#include "scan_dialog.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

class FrameTest : public QObject {
  Q_OBJECT
 private slots:
  void TitleToolbarAndMenus() {
    auto f = MakeFrame();
    QCOMPARE(f->windowTitle(), QString("Orvane[大华监控]录像恢复软件[网络版] V6.10"));
    auto* bar = f->findChild<QToolBar*>("toolbar");
    QVERIFY(bar);
    QStringList texts;
    for (QAction* a : bar->actions()) {
      texts << a->text();
      QVERIFY(!a->icon().isNull());
    }
    QCOMPARE(texts, QStringList({"打开镜像", "移除镜像", "创建镜像", "刷新设备", "自动识别",
                                 "加载任务", "视频解析", "视频预览", "文件过滤", "文件导出",
                                 "定时关机", "退出程序", "Orvane软件"}));
    QCOMPARE(f->speed_label()->text(), QString("速度"));
    // The three splitters hold the four panes.
    auto* outer = f->findChild<QSplitter*>("outer_splitter");
    QVERIFY(outer && outer->count() == 2);
    QCOMPARE(outer->widget(1), static_cast<QWidget*>(f->log_view()));
  }

  void RangeAndPositionFollowTheJobKind() {
    auto f = MakeFrame();
    QProgressBar* parse_bar = f->scan_dialog()->progress();
    QProgressBar* export_bar = f->export_dialog()->progress();
    parse_bar->setRange(0, 100);
    export_bar->setRange(0, 100);
    parse_bar->setValue(0);
    f->flags().job_kind.store(JobTaskLoad);
    PostRange(7);
    PostPosition(3);
    QCOMPARE(parse_bar->maximum(), 100);
    QCOMPARE(export_bar->maximum(), 100);
    QCOMPARE(parse_bar->value(), 0);
    f->flags().job_kind.store(JobParse);
    PostRange(40);
    PostPosition(12);
    QCOMPARE(parse_bar->maximum(), 40);
    QCOMPARE(parse_bar->value(), 12);
    QCOMPARE(export_bar->maximum(), 100);
    f->flags().job_kind.store(JobExport);
    PostRange(9);
    PostPosition(4);
    QCOMPARE(export_bar->maximum(), 9);
    QCOMPARE(export_bar->value(), 4);
    QCOMPARE(parse_bar->maximum(), 40);
    // A count beyond what a bar holds fills it instead of wrapping round.
    PostRange(int64_t{1} << 33);
    QVERIFY(export_bar->maximum() > 0);
  }

  void SpeedTextWaitsForTheFirstSecond() {
    auto f = MakeFrame();
    int64_t now = 1000;
    f->now_seconds = [&now] { return now; };
    f->params().region_start = 0;
    f->params().region_end = 100 * 1048576;
    f->flags().job_kind.store(JobParse);
    PostRange(100);
    ScanProgress p;
    p.found_count = 3;
    p.found_bytes = 4096;
    p.processed_bytes = 10 * 1048576;
    PostFound(p);
    QCOMPARE(f->speed_label()->text(), QString("速度"));
    now = 1002;
    PostFound(p);
    QCOMPARE(f->speed_label()->text(), QString("速度: 5.0 MB/秒  剩余时间: 18 秒钟"));
    // No processed bytes: nothing is said.
    f->speed_label()->setText("速度");
    p.processed_bytes = 0;
    PostFound(p);
    QCOMPARE(f->speed_label()->text(), QString("速度"));
  }

  void ExportTotalsInTheStatusBar() {
    auto f = MakeFrame();
    int64_t now = 50;
    f->now_seconds = [&now] { return now; };
    ExportTotals t{10 * 1048576, 3, 0, 0};
    Sink().Totals(t);
    QCOMPARE(f->speed_label()->text(), QString("[10.0 MB / 3]"));
    QCOMPARE(f->status_progress()->maximum(), 5);
    t.done_size = 4 * 1048576;
    t.done_count = 1;
    Sink().Totals(t);
    QCOMPARE(f->speed_label()->text(), QString("[10.0 MB / 3]  [4.0 MB / 1]"));
    QCOMPARE(f->status_progress()->value(), 2);
    now = 52;
    Sink().Totals(t);
    QCOMPARE(f->speed_label()->text(), QString("[10.0 MB / 3]  [4.0 MB / 1]  [2.0 MB/s]"));
  }

  void TextsBecomeLogLinesAndWorkersWaitForThem() {
    auto f = MakeFrame();
    PostStatus("正在枚举设备中 ...");
    QCOMPARE(LastLog(*f, 0), QString("信息"));
    PostError("读取设备失败,可能存在坏道");
    QCOMPARE(LastLog(*f, 0), QString("错误"));
    QCOMPARE(LastLog(*f), QString("读取设备失败,可能存在坏道"));
    // A worker's post returns only after the GUI thread has shown it.
    std::atomic<int> rows_after_post{-1};
    CMainFrame* frame = f.get();
    f->StartWorker([&] {
      PostInfo("来自工作线程");
      rows_after_post.store(-2);  // set before the check below reads the log
      frame->flags().worker_busy.store(0);
    });
    QVERIFY(f->WaitForWorkers(10000));
    QVERIFY(LogHas(*f, "来自工作线程"));
    QVERIFY(!f->busy());
  }

  void ABusyWorkerRefusesOtherStarts() {
    auto f = MakeFrame();
    f->flags().worker_busy.store(1);
    f->ExportFiles();  // list empty: the list's own warning
    QCOMPARE(LastLog(*f), QString("文件列表中没有任何文件信息"));
    f->export_dialog()->Prepare(ExportMode::Ticked, -1);
    f->export_dialog()->ChooseFolder("/tmp");
    f->export_dialog()->Start();
    QCOMPARE(LastLog(*f), QString("请等待其他线程执行完成"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    // Closing a dialog while a worker runs only asks it to stop.
    f->export_dialog()->show();
    f->params().stop.store(0);
    f->export_dialog()->reject();
    QVERIFY(f->export_dialog()->isVisible());
    QCOMPARE(f->params().stop.load(), 1);
    f->flags().worker_busy.store(0);
    f->export_dialog()->reject();
    QVERIFY(!f->export_dialog()->isVisible());
  }

  void DeviceItemsAndTheirResolution() {
    DeviceInfo d;
    d.number = 10;
    d.name = "ST2000";
    d.serial = "Z1E2";
    d.size = 2000398934016;
    d.kind = kDeviceKindPhysical;
    QCOMPARE(QString::fromStdString(DeviceItemText(d, BrandTreeText(2))),
             QString("[#10] ST2000 [Z1E2] [1.8 TB] [大华]"));

    auto f = MakeFrame();
    PartitionRecord part;
    part.name = "Partition1";
    part.kind = 1;
    part.start = 1048576;
    part.length = 1073741824;
    d.partitions.push_back(part);
    f->devices().push_back(d);
    CDiskView* tree = f->disk_view();
    // The item as the tree builds it for a Dahua disk.
    auto* item = new QTreeWidgetItem(tree, {QString::fromStdString(DeviceItemText(d, "大华"))});
    auto* child = new QTreeWidgetItem(item, {QString::fromStdString(PartitionItemText(part))});
    QCOMPARE(child->text(0), QString("Partition1 [NTFS] [1.0 MB] [1.0 GB]"));
    const auto r = tree->ResolveTreeItem(child);
    QCOMPARE(r.device, &f->devices()[0]);
    QCOMPARE(r.brand_text, QString("大华"));
    QCOMPARE(PreselectedBrand("大华"), 2);
    QCOMPARE(PreselectedBrand("华亿"), 5);
    QCOMPARE(PreselectedBrand("unKnown"), 0);

    // The parse command from the partition item preselects the disk's brand.
    tree->setCurrentItem(child);
    tree->ParseSelected();
    QCOMPARE(f->scan_dialog()->checked_brand(), 2);
    QVERIFY(f->scan_dialog()->fast_radio()->isChecked());
    QCOMPARE(f->scan_dialog()->source_edit()->text(), QString("ST2000---Z1E2---#10"));
    f->scan_dialog()->hide();

    // The information panel, then the counters of a running job.
    f->info_panel()->ShowDeviceInfo(r.brand_text, r.device);
    QCOMPARE(f->info_panel()->Content(2), QString("1.8 TB"));
    QCOMPARE(f->info_panel()->Content(4), QString("等待解析..."));
    ScanProgress p{12, 3 * 1048576, 0};
    PostFound(p);
    QCOMPARE(f->info_panel()->Content(4), QString("12"));
    QCOMPARE(f->info_panel()->Content(5), QString("3.0 MB"));

    // "移除镜像" leaves a physical drive alone.
    tree->setCurrentItem(item);
    tree->RemoveImageSelected();
    QCOMPARE(f->devices().size(), size_t{1});
    QCOMPARE(tree->topLevelItemCount(), 1);
    // An item whose text leads nowhere resolves to no device.
    auto* stray = new QTreeWidgetItem(tree, {"no number here"});
    QVERIFY(!tree->ResolveTreeItem(stray).device);
  }

  void OpeningImagesAddsTreeItems() {
    auto f = MakeFrame();
    synth::TempDir dir;
    synth::SparseImage a(dir.File("first.img"), 4 * 1048576);
    synth::SparseImage b(dir.File("second.disk.dsk"), 2 * 1048576);
    f->ask_image_files = [&] {
      return QStringList{QString::fromStdString(dir.File("first.img")),
                         QString::fromStdString(dir.File("second.disk.dsk"))};
    };
    f->action(CmdOpenImage)->trigger();
    QCOMPARE(f->devices().size(), size_t{2});
    QCOMPARE(f->disk_view()->topLevelItemCount(), 2);
    QCOMPARE(f->devices()[1].serial, std::string("second.disk"));
    QCOMPARE(f->devices()[1].number, 10);
    QVERIFY(f->disk_view()->topLevelItem(1)->text(0).startsWith("[#10] "));
    QVERIFY(f->disk_view()->topLevelItem(1)->text(0).endsWith(" [2.0 MB] [unKnown]"));
    // A file that cannot be opened adds nothing.
    f->OpenImageFiles({QString::fromStdString(dir.File("missing.img"))});
    QCOMPARE(f->disk_view()->topLevelItemCount(), 2);
    QCOMPARE(LastLog(*f, 0), QString("错误"));
    // "移除镜像" removes an image with its item.
    f->disk_view()->setCurrentItem(f->disk_view()->topLevelItem(0));
    f->action(CmdRemoveImage)->trigger();
    QCOMPARE(f->devices().size(), size_t{1});
    QCOMPARE(f->disk_view()->topLevelItemCount(), 1);
    QCOMPARE(f->devices()[0].number, 10);
  }

  // The newest line is shown whole, however many came before it; a dialog
  // in front of the log repeats its warnings on its own status line.
  void LogKeepsTheLastLineInViewAndDialogsRepeatWarnings() {
    auto f = MakeFrame();
    CLogView* log = f->log_view();
    for (int i = 0; i < 300; ++i) f->Info(QString("行 %1").arg(i));
    QCoreApplication::processEvents();
    const QRect last = log->visualItemRect(log->item(log->rowCount() - 1, 2));
    QVERIFY(last.top() >= 0);
    QVERIFY2(last.bottom() < log->viewport()->height(), "last line cut");

    CSetDlg* filter = f->filter_dialog();
    filter->Open();
    QVERIFY(filter->StatusLine() && filter->StatusLine()->text().isEmpty());
    filter->end_picker()->setDateTime(filter->start_picker()->dateTime());
    filter->Confirm();
    QCOMPARE(filter->StatusLine()->text(), QString("警告: 参数设置错误，请重新设置"));
    f->Info("信息不重复");
    QCOMPARE(filter->StatusLine()->text(), QString("警告: 参数设置错误，请重新设置"));
    filter->hide();
    filter->Open();
    QVERIFY(filter->StatusLine()->text().isEmpty());
    filter->hide();
    // The parse dialog shows it on the line it has.
    f->OpenScanDialog(nullptr, 0);
    f->scan_dialog()->Start(false);
    QCOMPARE(f->scan_dialog()->status_line()->text(), "警告: " + LastLog(*f));
    f->scan_dialog()->hide();
  }

  // Speed and remaining time belong to a running job.
  void StatusTextClearedWhenAJobStops() {
    auto f = MakeFrame();
    CMainFrame* frame = f.get();
    f->StartWorker([frame] {
      while (frame->params().stop.load() == 0) std::this_thread::yield();
      frame->flags().worker_busy.store(0);
    });
    f->speed_label()->setText("速度: 5.0 MB/秒  剩余时间: 18 秒钟");
    f->params().stop.store(1);
    QVERIFY(f->WaitForWorkers(10000));
    QCOMPARE(f->speed_label()->text(), QString("速度"));
  }

  void SmallerThings() {
    auto f = MakeFrame();
    // The preview is offered in the toolbar and the menu alike.
    QVERIFY(f->action(CmdVideoPreview)->isEnabled());
    // Ten digits of pages fit the page fields.
    QLineEdit* total = f->file_view()->page_bar()->total_edit();
    total->setText("2147483647");
    QVERIFY(total->width() > total->fontMetrics().horizontalAdvance("2147483647") + 4);
    // The information panel forgets an image that is removed.
    synth::TempDir dir;
    synth::SparseImage a(dir.File("shown.img"), 1048576);
    f->OpenImageFiles({QString::fromStdString(dir.File("shown.img"))});
    QTreeWidgetItem* item = f->disk_view()->topLevelItem(0);
    f->disk_view()->setCurrentItem(item);
    QTest::mouseClick(f->disk_view()->viewport(), Qt::LeftButton, {},
                      f->disk_view()->visualItemRect(item).center());
    QCOMPARE(f->info_panel()->rowCount(), 6);
    f->action(CmdRemoveImage)->trigger();
    QCOMPARE(f->info_panel()->rowCount(), 0);
  }

  void LogClearAndExport() {
    auto f = MakeFrame();
    CLogView* log = f->log_view();
    log->AddLogLine("信息", "一");
    log->AddLogLine("警告", "二");
    QCOMPARE(log->row_counter(), 2);
    QVERIFY(QRegularExpression("^\\d{4}-\\d\\d-\\d\\d \\d\\d-\\d\\d-\\d\\d$")
                .match(log->item(0, 1)->text())
                .hasMatch());
    log->ClearLog();
    QCOMPARE(log->rowCount(), 0);
    log->AddLogLine("信息", "正在导出文件...");
    QCOMPARE(log->row_counter(), 1);
    log->item(0, 1)->setText("2019-05-01 08-00-00");
    log->AddLogLine("错误", "打开源设备失败");
    log->item(1, 1)->setText("2019-05-01 08-00-01");
    synth::TempDir dir;
    const QString path = QString::fromStdString(dir.File("日志.txt"));
    log->ask_save_path = [&] { return path; };
    log->ExportLog();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(),
             QByteArray("信息\t2019-05-01 08-00-00\t正在导出文件...\r\n"
                        "错误\t2019-05-01 08-00-01\t打开源设备失败\r\n"));
    // A file that cannot be created is given up without a word.
    QVERIFY(!log->ExportLogTo(QString::fromStdString(dir.File("no/such/dir/x.txt"))));
  }
};

QTEST_MAIN(FrameTest)
#include "frame_test.moc"
