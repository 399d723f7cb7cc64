// Through the windows: the clock-offset fields, the corrected-time columns
// of the list, and what an export and a backup leave beside their files.

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTreeWidget>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "backup_dialog.h"
#include "device_views.h"
#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_test_support.h"
#include "log_view.h"
#include "recording_model.h"
#include "scan_dialog.h"
#include "synth/hikvision_disk.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

int Shell(const std::string& command) {
  const int st = std::system(command.c_str());
  return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
}

}  // namespace

class EvidenceTest : public QObject {
  Q_OBJECT
 private slots:
  void ExportDialogOffsetListColumnsAndEvidence() {
    synth::TempDir dir;
    synth::HikvisionDiskOptions o;
    o.blocks = 2;
    synth::HikvisionDisk disk(dir.File("sample.img"), o);
    for (int b = 0; b < 2; ++b) {
      synth::HikRecordingSpec s;
      s.channel = 2 + b;
      s.start_unix = synth::UnixTime(2020, 2, 29, 0, b, 0);
      s.frames = 40;
      disk.AddRecording(b, 0x100000, s);
    }
    auto f = MakeFrame();
    f->OpenImageFiles({QString::fromStdString(disk.path())});
    f->disk_view()->setCurrentItem(f->disk_view()->topLevelItem(0));
    f->action(CmdParseVideo)->trigger();
    CScanDialog* scan = f->scan_dialog();
    scan->brand_radio(1)->click();
    scan->fast_radio()->click();
    scan->ask_task_path = [&](const QString&) { return QString::fromStdString(dir.File("s.tak")); };
    QTest::mouseClick(scan->browse_button(), Qt::LeftButton);
    QTest::mouseClick(scan->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    CFileView* view = f->file_view();
    QCOMPARE(view->row_count(), 2);
    QCOMPARE(view->model()->columnCount(), 6);
    // Lines the user clears from the pane still go into the audit log.
    f->Info("before the clear");
    f->log_view()->ClearLog();

    view->TickAll(true);
    f->action(CmdExportFiles)->trigger();
    CExportDialog* ex = f->export_dialog();
    QCOMPARE(ex->clock_offset_edit()->text(), QString("+00:00:00"));
    const std::string out = dir.File("out");
    ex->ask_folder = [&] { return QString::fromStdString(out); };
    QTest::mouseClick(ex->browse_button(), Qt::LeftButton);
    ex->clock_offset_edit()->setText("00:03");
    QTest::mouseClick(ex->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QCOMPARE(f->live_workers(), 0);
    ex->clock_offset_edit()->setText("+00:03:12");
    QTest::mouseClick(ex->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QVERIFY(!ex->isVisible());

    // The list shows the corrected times beside the recorder's.
    QCOMPARE(view->model()->columnCount(), 8);
    QCOMPARE(view->model()->headerData(6, Qt::Horizontal, Qt::DisplayRole).toString(),
             QString("校正开始时间"));
    QCOMPARE(view->model()->CellText(0, 3), QString("2020-02-29 00-00-00"));
    QCOMPARE(view->model()->CellText(0, 6), QString("2020-02-28 23-56-48"));

    for (const char* name :
         {"report.html", "report.csv", "report.json", "SHA256SUMS", "orvane-log.txt"})
      QVERIFY2(std::filesystem::exists(out + "/" + name), name);
    QCOMPARE(Shell("cd '" + out + "' && sha256sum --quiet -c SHA256SUMS"), 0);
    const std::string log = ReadText(out + "/orvane-log.txt");
    QVERIFY(log.find("before the clear") != std::string::npos);
    QVERIFY(log.find("导出文件任务结束") != std::string::npos);
    const std::string report = ReadText(out + "/report.json");
    QVERIFY(report.find("\"clock_offset\": \"+00:03:12\"") != std::string::npos);
    QVERIFY(report.find("\"found_by\":\"index\"") != std::string::npos);
    // File names keep the recorder's times.
    QVERIFY(std::filesystem::exists(out + "/channel 2/2020-02-29"));

    // The filter dialog shows the offset in force and can take it away.
    f->action(CmdFilterFiles)->trigger();
    CSetDlg* filter = f->filter_dialog();
    QCOMPARE(filter->clock_offset_edit()->text(), QString("+00:03:12"));
    filter->channel_radio()->click();
    filter->channel_edit()->setText("2-3");
    filter->clock_offset_edit()->setText("bad");
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QCOMPARE(f->params().clock_offset, int64_t{192});
    filter->clock_offset_edit()->setText("");
    QTest::mouseClick(filter->ok_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(60000));
    QCOMPARE(f->params().clock_offset, int64_t{0});
    QCOMPARE(view->model()->columnCount(), 6);
    QCOMPARE(view->row_count(), 2);
  }

  void BackupLeavesHashFilesAndTheLogBesideTheImage() {
    synth::TempDir dir;
    synth::SparseImage image(dir.File("src.img"), 3 << 20);
    image.FillNoise(0, image.size(), 9);
    DeviceInfo source = synth::ImageDevice(image.path());
    auto f = MakeFrame();
    f->ShowImagingDialog(&source);
    CBpDialg* d = f->imaging_dialog();
    std::filesystem::create_directory(dir.File("case"));
    const std::string target = dir.File("case/disk.img");
    d->ChooseTargetFile(QString::fromStdString(target));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(LastLog(*f), QString("镜像备份任务结束"));
    QCOMPARE(Shell("cd '" + dir.File("case") +
                   "' && sha256sum --quiet -c disk.img.sha256 && md5sum --quiet -c disk.img.md5"),
             0);
    const std::string log = ReadText(dir.File("case/orvane-log.txt"));
    QVERIFY(log.find("镜像备份任务结束") != std::string::npos);
    QVERIFY(log.find(ReadText(target + ".sha256").substr(0, 64)) != std::string::npos);
  }
};

QTEST_MAIN(EvidenceTest)
#include "evidence_test.moc"
