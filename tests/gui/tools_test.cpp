// The mirror backup and its disk picker, the timed shutdown and the version
// check, driven through their windows. Nothing here powers the machine off,
// touches a real disk or reaches beyond the loopback.

#include <QAction>
#include <QCheckBox>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTableWidget>
#include <QThread>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>

#include "auto_dialog.h"
#include "backup_device_dialog.h"
#include "backup_dialog.h"
#include "device/format_text.h"
#include "device/source_device.h"
#include "device_views.h"
#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_test_support.h"
#include "imaging/rescue_double.h"
#include "rescue_map_view.h"
#include "scan_dialog.h"
#include "shutdown_dialog.h"
#include "synth/loopback_http_server.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"
#include "synth/tool_doubles.h"
#include "task_dialog.h"
#include "tools/scrambled_text.h"
#include "update_dialog.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;
using synth::FixedReachability;
using synth::RecordingPowerOff;

namespace {

class RecordingOpener final : public UrlOpener {
 public:
  bool OpenUrl(const std::string& url) override {
    std::lock_guard lock(mu);
    urls.push_back(url);
    return true;
  }
  std::vector<std::string> Urls() {
    std::lock_guard lock(mu);
    return urls;
  }
  std::mutex mu;
  std::vector<std::string> urls;
};

// Reads of an image that hold at the first read until the test lets go,
// so that a stop lands in the middle of a copy.
struct Gate {
  std::atomic<int> reads{0};
  std::atomic<bool> open{false};
};

class GatedBackend final : public ReadBackend {
 public:
  GatedBackend(std::unique_ptr<ReadBackend> inner, std::shared_ptr<Gate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    gate_->reads.fetch_add(1);
    while (!gate_->open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return inner_->ReadAt(offset, buffer, length);
  }
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::shared_ptr<Gate> gate_;
};

// Lets the copy through until the trim reaches the fourth bad area of
// BackupShowsTheMapWhileItCopies (sector reads from 31 MiB on): the first
// such read is slow, the next waits for the gate.
class TrimGate final : public ReadBackend {
 public:
  TrimGate(std::unique_ptr<ReadBackend> inner, std::shared_ptr<Gate> gate)
      : inner_(std::move(inner)), gate_(std::move(gate)) {}
  int64_t ReadAt(int64_t offset, void* buffer, size_t length) override {
    if (length <= 512 && offset >= 31 * 1048576) {
      if (gate_->reads.fetch_add(1) == 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
      else
        while (!gate_->open.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return inner_->ReadAt(offset, buffer, length);
  }
  int64_t Size() override { return inner_->Size(); }

 private:
  std::unique_ptr<ReadBackend> inner_;
  std::shared_ptr<Gate> gate_;
};

DeviceInfo GatedDevice(const std::string& path, std::shared_ptr<Gate> gate) {
  DeviceInfo d = synth::ImageDevice(path);
  d.backend =
      std::make_shared<const BackendFactory>([path, gate]() -> std::unique_ptr<ReadBackend> {
        auto inner = FileBackend::Open(path);
        if (!inner) return nullptr;
        return std::make_unique<GatedBackend>(std::move(inner), gate);
      });
  return d;
}

QByteArray Digest(const std::string& path, int64_t offset = 0, int64_t length = -1) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  f.seek(offset);
  return QCryptographicHash::hash(length < 0 ? f.readAll() : f.read(length),
                                  QCryptographicHash::Sha256);
}

int64_t FileLength(const std::string& path) { return QFile(QString::fromStdString(path)).size(); }

bool LogHasTyped(CMainFrame& f, const QString& type, const QString& text) {
  CLogView* log = f.log_view();
  for (int r = 0; r < log->rowCount(); ++r)
    if (log->item(r, 0)->text() == type && log->item(r, 2)->text() == text) return true;
  return false;
}

}  // namespace

class ToolsTest : public QObject {
  Q_OBJECT
  synth::TempDir dir_;
  std::string source_path_;
  DeviceInfo source_;

 private slots:
  void initTestCase() {
    // One 2 MiB block and one sector: the copy's both kinds of block.
    source_path_ = dir_.File("source.img");
    synth::SparseImage image(source_path_, 4097 * 512);
    image.FillNoise(0, image.size(), 7);
    source_ = synth::ImageDevice(source_path_);
    source_.number = 30;
    source_.serial = "source";
  }

  void BackupCopiesImageToFileAndToDrive() {
    auto f = MakeFrame();
    f->ShowImagingDialog(&source_);
    CBpDialg* d = f->imaging_dialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->source_text()->text(), QString::fromStdString(source_path_ + "---source---#30"));
    QCOMPARE(d->source_offset_edit()->text(), QString("0"));
    QCOMPARE(d->source_size_edit()->text(), QString("4097"));
    QCOMPARE(d->target_offset_edit()->text(), QString("0"));
    QCOMPARE(d->target_size_edit()->text(), QString("4097"));
    QVERIFY(d->target_size_edit()->isReadOnly());

    const std::string copy = dir_.File("copy.img");
    d->ask_target_file = [&] { return QString::fromStdString(copy); };
    QTest::mouseClick(d->target_file_button(), Qt::LeftButton);
    QCOMPARE(d->target_text()->text(), QString::fromStdString(copy));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QVERIFY(!f->busy());
    QVERIFY(!d->isVisible());  // the worker closed it
    QCOMPARE(FileLength(copy), int64_t{4097 * 512});
    QCOMPARE(Digest(copy), Digest(source_path_));
    QVERIFY(LogHasTyped(*f, "信息", "正在进行镜像备份..."));
    QCOMPARE(LastLog(*f, 0), QString("信息"));
    QCOMPARE(LastLog(*f), QString("镜像备份任务结束"));
    QCOMPARE(d->progress()->maximum(), 1);
    QCOMPARE(d->progress()->value(), 1);

    // Onto a "drive" (an image of the device list) behind 2,048 sectors,
    // from a source file chosen by its own button; the bytes around the
    // written range stay.
    const std::string drive_path = dir_.File("drive.img");
    {
      synth::SparseImage drive(drive_path, 8 * 1048576);
      drive.FillNoise(0, drive.size(), 11);
    }
    DeviceInfo drive = synth::ImageDevice(drive_path);
    drive.number = 40;
    drive.serial = "drive";
    const QByteArray head_before = Digest(drive_path, 0, 1048576);
    f->ShowImagingDialog(nullptr);
    QVERIFY(d->source_text()->text().isEmpty());
    QCOMPARE(d->target_text()->text(), QString::fromStdString(copy));  // kept from before
    d->ask_source_file = [&] { return QString::fromStdString(source_path_); };
    QTest::mouseClick(d->source_file_button(), Qt::LeftButton);
    QCOMPARE(d->source().kind, kEndpointFile);
    QCOMPARE(d->source_text()->text(), QString::fromStdString(source_path_));
    QCOMPARE(d->source_size_edit()->text(), QString("4097"));
    d->ask_drive = [&]() -> std::optional<DeviceInfo> { return drive; };
    QTest::mouseClick(d->target_disk_button(), Qt::LeftButton);
    QCOMPARE(d->target_text()->text(), QString::fromStdString(drive_path + "---drive---#40"));
    d->target_offset_edit()->setText("2048");
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(FileLength(drive_path), int64_t{8 * 1048576});
    QCOMPARE(Digest(drive_path, 1048576, 4097 * 512), Digest(source_path_));
    QCOMPARE(Digest(drive_path, 0, 1048576), head_before);
    QCOMPARE(LastLog(*f), QString("镜像备份任务结束"));

    // A source file that ends inside a sector shows the sector it ends in,
    // and its copy is the file to the byte.
    const std::string odd_path = dir_.File("odd.img");
    {
      synth::SparseImage odd(odd_path, 1000001);
      odd.FillNoise(0, odd.size(), 12);
    }
    f->ShowImagingDialog(nullptr);
    d->ask_source_file = [&] { return QString::fromStdString(odd_path); };
    QTest::mouseClick(d->source_file_button(), Qt::LeftButton);
    QCOMPARE(d->source_size_edit()->text(), QString("1954"));
    QTest::mouseClick(d->target_file_button(), Qt::LeftButton);
    // The image of the first copy is there: replacing it is asked first,
    // and a "no" leaves it whole.
    QStringList asked;
    d->ask_replace = [&](const QString& path) {
      asked << path;
      return false;
    };
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(asked, QStringList{QString::fromStdString(copy)});
    QCOMPARE(f->live_workers(), 0);
    QCOMPARE(Digest(copy), Digest(source_path_));
    d->ask_replace = [&](const QString& path) {
      asked << path;
      return true;
    };
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(asked.size(), 2);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(FileLength(copy), int64_t{1000001});
    QCOMPARE(Digest(copy), Digest(odd_path));
    QCOMPARE(LastLog(*f), QString("镜像备份任务结束"));
  }

  // A failing source is copied to the end and the dialog draws its map:
  // bad cells where the bad sectors are, the rest rescued.
  void BackupDrawsTheMapOfAFailingSource() {
    auto f = MakeFrame();
    auto plan = std::make_shared<rescue_test::FaultPlan>();
    plan->size = 48 * 1048576;
    plan->bad = {ByteRange::FromLength(12 * 1048576, 512 * 1024),
                 ByteRange::FromLength(30 * 1048576 + 4096, 512)};
    DeviceInfo failing = rescue_test::FaultyDevice(plan);
    failing.serial = "failing";
    f->ShowImagingDialog(&failing);
    CBpDialg* d = f->imaging_dialog();
    QVERIFY(d->map_view()->isVisible());
    const std::string target = dir_.File("rescued.img");
    d->ChooseTargetFile(QString::fromStdString(target));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCoreApplication::processEvents();
    const auto& picture = d->map_view()->picture();
    QVERIFY2(picture.caption.startsWith("已读出 98.9"), qPrintable(picture.caption));
    QVERIFY(picture.caption.contains("坏区 2 个"));
    const int cells = RescueMapView::kColumns * RescueMapView::kRows;
    QCOMPARE(static_cast<int>(picture.cells.size()), cells);
    for (int i = 0; i < cells; ++i) {
      const int64_t from = plan->size * i / cells, to = plan->size * (i + 1) / cells;
      bool bad = false;
      for (const ByteRange& r : plan->bad) bad = bad || (r.begin < to && r.end > from);
      QCOMPARE(picture.cells[static_cast<size_t>(i)], bad ? kAreaBadSector : kAreaFinished);
    }
  }

  // While the copy works on a failing source the map is drawn as it goes:
  // mid-trim it shows the trimmed areas' bad edges and unscraped middles,
  // the areas still to trim, and the pass in the caption. With
  // ORVANE_SHOT_DIR set, the dialog is also saved there as backup-map.png.
  void BackupShowsTheMapWhileItCopies() {
    auto f = MakeFrame();
    auto plan = std::make_shared<rescue_test::FaultPlan>();
    plan->size = 64 * 1048576;
    plan->bad = {ByteRange::FromLength(5 * 1048576 + 102400, 307200),
                 ByteRange::FromLength(14 * 1048576, 1536 * 1024),
                 ByteRange::FromLength(23 * 1048576 + 8192, 512),
                 ByteRange::FromLength(31 * 1048576, 3 * 1048576),
                 ByteRange::FromLength(45 * 1048576 + 716800, 204800),
                 ByteRange::FromLength(55 * 1048576 + 4096, 2048)};
    // The trim of the fourth area waits: its first sector read comes back
    // late enough to be drawn, the next holds until the test lets go.
    auto gate = std::make_shared<Gate>();
    DeviceInfo failing = rescue_test::FaultyDevice(plan);
    const BackendFactory faulty = *failing.backend;
    failing.backend = std::make_shared<const BackendFactory>([faulty, gate] {
      return std::unique_ptr<ReadBackend>(std::make_unique<TrimGate>(faulty(), gate));
    });
    failing.serial = "failing";
    f->ShowImagingDialog(&failing);
    CBpDialg* d = f->imaging_dialog();
    d->ChooseTargetFile(QString::fromStdString(dir_.File("live.img")));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(gate->reads.load() >= 2, 20000);
    // Three areas trimmed, the fourth begun.
    QTRY_VERIFY2_WITH_TIMEOUT(
        d->map_view()->picture().caption.contains(QRegularExpression("修剪 第 1 遍 .*坏区 5 个")),
        qPrintable(d->map_view()->picture().caption), 5000);
    const auto& live = d->map_view()->picture();
    auto cells_of = [&](char status) {
      return std::count(live.cells.begin(), live.cells.end(), status);
    };
    QVERIFY(cells_of(kAreaFinished) > 0);
    QVERIFY(cells_of(kAreaBadSector) > 0);
    QVERIFY(cells_of(kAreaNonScraped) > 0);
    QVERIFY(cells_of(kAreaNonTrimmed) > 0);
    QCOMPARE(cells_of(kAreaNonTried), 0);
    if (const char* shots = std::getenv("ORVANE_SHOT_DIR")) {
      d->raise();
      QTest::qWait(300);
      QVERIFY(d->grab().save(QString::fromUtf8(shots) + "/backup-map.png"));
    }
    gate->open.store(true);
    QVERIFY(f->WaitForWorkers(60000));
    QCoreApplication::processEvents();
    QVERIFY2(d->map_view()->picture().caption.contains("结束"),
             qPrintable(d->map_view()->picture().caption));
  }

  void BackupRefusals() {
    auto f = MakeFrame();
    f->ShowImagingDialog(&source_);
    CBpDialg* d = f->imaging_dialog();
    const std::string target = dir_.File("refused.img");
    d->ChooseTargetFile(QString::fromStdString(target));

    f->flags().worker_busy.store(1);
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("请等待其他线程执行完成"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    QCOMPARE(f->live_workers(), 0);
    f->flags().worker_busy.store(0);

    d->source_size_edit()->setText("0");
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    QCOMPARE(f->live_workers(), 0);
    QVERIFY(!QFile::exists(QString::fromStdString(target)));

    // The source as its own target, as a file and as the device itself.
    const QByteArray before = Digest(source_path_);
    d->source_size_edit()->setText("4097");
    d->ChooseTargetFile(QString::fromStdString(source_path_));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    d->ask_drive = [&]() -> std::optional<DeviceInfo> { return source_; };
    QTest::mouseClick(d->target_disk_button(), Qt::LeftButton);
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QCOMPARE(LastLog(*f), QString("参数设置错误，请重新设置"));
    QCOMPARE(f->live_workers(), 0);
    QCOMPARE(Digest(source_path_), before);

    // A source file that cannot be opened leaves the source as it was.
    const QString text = d->source_text()->text();
    d->ChooseSourceFile(QString::fromStdString(dir_.File("missing.img")));
    QCOMPARE(LastLog(*f), QString("当前文件被占用状态"));
    QCOMPARE(LastLog(*f, 0), QString("警告"));
    QCOMPARE(d->source_text()->text(), text);
    QCOMPARE(d->source().kind, kEndpointDrive);
    // Idle, "停止" just closes the dialog.
    QTest::mouseClick(d->stop_button(), Qt::LeftButton);
    QVERIFY(!d->isVisible());
  }

  void StopAndCloseDuringACopyEndAfterTheBlockAndPowerOff() {
    auto f = MakeFrame();
    RecordingPowerOff power;
    f->flags().power_off = &power;
    f->flags().shutdown_when_done.store(true);
    auto gate = std::make_shared<Gate>();
    const std::string big_path = dir_.File("big.img");
    synth::SparseImage big(big_path, 16 * 1048576);
    DeviceInfo gated = GatedDevice(big_path, gate);
    f->ShowImagingDialog(&gated);
    CBpDialg* d = f->imaging_dialog();
    const std::string target = dir_.File("stopped.img");
    d->ChooseTargetFile(QString::fromStdString(target));
    QTest::mouseClick(d->start_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(gate->reads.load() >= 1, 10000);
    // Closing the window while it copies only asks for the stop.
    d->reject();
    QVERIFY(d->isVisible());
    QVERIFY(d->stop_requested());
    QTest::mouseClick(d->stop_button(), Qt::LeftButton);
    QVERIFY(d->isVisible());
    gate->open.store(true);
    QVERIFY(f->WaitForWorkers(30000));
    QVERIFY(!d->isVisible());
    QCOMPARE(gate->reads.load(), 1);
    // The image has its full length; what was not copied stays zero, and
    // the map beside it says so.
    QCOMPARE(FileLength(target), int64_t{16 * 1048576});
    QVERIFY(std::filesystem::exists(target + ".map"));
    QCOMPARE(LastLog(*f), QString("镜像备份任务结束"));
    QCOMPARE(power.calls.load(), 1);
  }

  void DiskPickerKeepsOneTick() {
    auto f = MakeFrame();
    f->OpenImageFiles({QString::fromStdString(source_path_)});
    std::vector<DeviceInfo> devices;
    for (int i = 0; i < 3; ++i) {
      DeviceInfo d;
      d.kind = kDeviceKindPhysical;
      d.name = "Disk " + std::to_string(i);
      d.serial = "S" + std::to_string(i);
      d.number = i;
      d.size = int64_t{1} << (30 + i);
      devices.push_back(d);
    }
    CBpdeviceDialog picker(nullptr);
    picker.Prepare(devices);
    picker.show();
    QTableWidget* list = picker.list();
    QCOMPARE(list->rowCount(), 3);
    QCOMPARE(list->item(2, 1)->text(), QString("S2"));
    QCOMPARE(list->item(2, 2)->text(), QString("#2"));
    QCOMPARE(list->item(2, 3)->text(), QString::fromStdString(FormatSize(int64_t{1} << 32)));
    QVERIFY(list->isColumnHidden(4));

    auto click = [&](int row) {
      const QRect cell = list->visualItemRect(list->item(row, 1));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
    };
    QCOMPARE(picker.CheckedRow(), -1);
    click(1);
    QCOMPARE(picker.CheckedRow(), 1);
    click(2);
    QCOMPARE(picker.CheckedRow(), 2);
    QCOMPARE(list->item(1, 0)->checkState(), Qt::Unchecked);
    // A click on a box toggles it; a tick clears the other boxes.
    auto click_box = [&](int row) {
      QStyleOptionViewItem option;
      option.initFrom(list);
      option.rect = list->visualItemRect(list->item(row, 0));
      option.features |= QStyleOptionViewItem::HasCheckIndicator;
      const QRect box =
          list->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, list);
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, box.center());
    };
    click_box(0);
    QCOMPARE(picker.CheckedRow(), 0);
    QCOMPARE(list->item(2, 0)->checkState(), Qt::Unchecked);
    click_box(0);
    QCOMPARE(picker.CheckedRow(), -1);
    click(2);
    // The same through the items, as the keyboard toggles them.
    list->item(0, 0)->setCheckState(Qt::Checked);
    QCOMPARE(list->item(2, 0)->checkState(), Qt::Unchecked);
    QCOMPARE(picker.CheckedRow(), 0);
    list->item(0, 0)->setCheckState(Qt::Unchecked);
    QCOMPARE(picker.CheckedRow(), -1);
    QTest::mouseClick(picker.ok_button(), Qt::LeftButton);
    QVERIFY(picker.isVisible());
    QVERIFY(!picker.chosen());
    click(1);
    QTest::mouseClick(picker.ok_button(), Qt::LeftButton);
    QVERIFY(!picker.isVisible());
    QCOMPARE(picker.result(), int(QDialog::Accepted));
    QVERIFY(picker.chosen());
    QCOMPARE(picker.chosen()->name, std::string("Disk 1"));

    // Through the backup dialog's own "Disk": the picker lists the device
    // list, and its choice becomes the source.
    // "创建镜像" opens it on the device of the tree's current item.
    f->disk_view()->setCurrentItem(f->disk_view()->topLevelItem(0));
    f->action(CmdCreateImage)->trigger();
    CBpDialg* d = f->imaging_dialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->source_text()->text(),
             QString::fromStdString(EndpointText(DriveEndpoint(f->devices().front()))));
    d->ChooseSourceFile(QString::fromStdString(source_path_));
    auto show = f->show_modal;
    f->show_modal = [&](QDialog* dialog) {
      if (dialog != d->device_picker()) return show(dialog);
      CBpdeviceDialog* p = d->device_picker();
      QCOMPARE(p->list()->rowCount(), static_cast<int>(f->devices().size()));
      p->list()->item(0, 0)->setCheckState(Qt::Checked);
      p->Confirm();
    };
    QTest::mouseClick(d->source_disk_button(), Qt::LeftButton);
    QCOMPARE(d->source().kind, kEndpointDrive);
    QCOMPARE(d->source().device.name, f->devices().front().name);
    QCOMPARE(d->source_size_edit()->text(), QString("4097"));
    d->hide();
  }

  void ShutdownDialogSetsOrKeepsTheFlag() {
    auto f = MakeFrame();
    f->action(CmdTimedShutdown)->trigger();
    CShutdownDialog* d = f->shutdown_dialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->windowTitle(), QString("定时关机"));
    QVERIFY(!d->check_box()->isChecked());
    d->check_box()->setChecked(true);
    QTest::mouseClick(d->cancel_button(), Qt::LeftButton);
    QVERIFY(!f->flags().shutdown_when_done.load());
    f->action(CmdTimedShutdown)->trigger();
    QVERIFY(!d->check_box()->isChecked());
    d->check_box()->setChecked(true);
    QTest::mouseClick(d->ok_button(), Qt::LeftButton);
    QVERIFY(!d->isVisible());
    QVERIFY(f->flags().shutdown_when_done.load());
    f->action(CmdTimedShutdown)->trigger();
    QVERIFY(d->check_box()->isChecked());
    d->check_box()->setChecked(false);
    QTest::mouseClick(d->cancel_button(), Qt::LeftButton);
    QVERIFY(f->flags().shutdown_when_done.load());
  }

  // Each worker of the windows powers off once at its end when asked, the
  // page turning never does.
  void EveryWorkerPowersOffOnceWhenAsked() {
    auto f = MakeFrame();
    RecordingPowerOff power;
    power.flags = &f->flags();
    f->flags().power_off = &power;
    f->flags().shutdown_when_done.store(true);
    f->OpenImageFiles({QString::fromStdString(source_path_)});
    int expected = 0;
    auto finished = [&] {
      if (!f->WaitForWorkers(30000)) return false;
      return power.calls.load() == ++expected;
    };

    f->OpenScanDialog(&source_, 1);
    f->scan_dialog()->ChooseTaskFile(QString::fromStdString(dir_.File("power.tak")));
    QTest::mouseClick(f->scan_dialog()->start_button(), Qt::LeftButton);
    QVERIFY2(finished(), "parse");

    const std::string task = dir_.File("power-load.tak");
    WriteTaskHead(task, 1, 1, 0);
    f->OpenTaskDialog(&source_);
    f->task_dialog()->ChooseTaskFile(QString::fromStdString(task));
    QTest::mouseClick(f->task_dialog()->ok_button(), Qt::LeftButton);
    QVERIFY2(finished(), "task load");

    f->params().recordings.clear();
    RecordingEntry e;
    e.channel = 1;
    e.size = 512;
    e.fragments.push_back({0, 512});
    f->params().recordings.push_back(e);
    f->file_view()->FillRecordingList();
    f->filter_dialog()->Open();
    QTest::mouseClick(f->filter_dialog()->ok_button(), Qt::LeftButton);
    QVERIFY2(finished(), "filter");

    f->export_dialog()->OpenFor(ExportMode::Ticked, -1);
    f->export_dialog()->ChooseFolder(QString::fromStdString(dir_.File("power-export")));
    QTest::mouseClick(f->export_dialog()->start_button(), Qt::LeftButton);
    QVERIFY2(finished(), "export");

    f->auto_dialog()->Open();
    f->auto_dialog()->list()->item(0, 0)->setCheckState(Qt::Checked);
    QTest::mouseClick(f->auto_dialog()->start_button(), Qt::LeftButton);
    QVERIFY2(finished(), "auto-identify");
    f->auto_dialog()->hide();

    f->ShowImagingDialog(&source_);
    f->imaging_dialog()->ChooseTargetFile(QString::fromStdString(dir_.File("power.img")));
    QTest::mouseClick(f->imaging_dialog()->start_button(), Qt::LeftButton);
    QVERIFY2(finished(), "mirror backup");

    f->flags().shutdown_when_done.store(false);
    f->ShowImagingDialog(&source_);
    f->imaging_dialog()->ask_replace = [](const QString&) { return true; };
    QTest::mouseClick(f->imaging_dialog()->start_button(), Qt::LeftButton);
    QVERIFY(f->WaitForWorkers(30000));
    QCOMPARE(power.calls.load(), expected);
    QCOMPARE(power.while_busy.load(), 0);
  }

  // A power-off gives a minute's notice that "取消" ends; the power-off
  // double is reached only when the countdown runs out.
  void PowerOffCountdownCanBeCancelled() {
    auto f = MakeFrame();
    RecordingPowerOff power;
    auto* countdown = new CPowerOffCountdown(&power, f.get());
    std::thread([countdown] { countdown->PowerOffMachine(); }).join();
    QTRY_VERIFY(countdown->isVisible());
    QCOMPARE(countdown->remaining(), 60);
    QCOMPARE(countdown->text_label()->text(), QString("任务已结束，60 秒后关机"));
    QCOMPARE(countdown->cancel_button()->text(), QString("取消"));
    countdown->tick_ms = 5;
    QTest::mouseClick(countdown->cancel_button(), Qt::LeftButton);
    QVERIFY(!countdown->isVisible());
    QTest::qWait(1200);
    QCOMPARE(power.calls.load(), 0);

    // Two jobs ending together: one countdown, one power-off.
    countdown->PowerOffMachine();
    countdown->PowerOffMachine();
    QTRY_COMPARE(power.calls.load(), 1);
    QVERIFY(!countdown->isVisible());
    QTest::qWait(50);
    QCOMPARE(power.calls.load(), 1);
  }

  // The start-up builds the window, enumerates the drives behind the splash
  // and only then shows the window; the answer may come at any moment.
  void UpdateBoxComesOnlyAfterTheWindowIsShown() {
    synth::LoopbackHttpServer server;
    server.RespondBody("/a/version.zip", "611");
    for (const bool answer_first : {true, false}) {
      CMainFrame frame;
      frame.resize(800, 600);
      bool window_up_when_asked = false;
      int shown = 0;
      frame.show_modal = [&](QDialog* d) {
        window_up_when_asked = frame.isVisible();
        ++shown;
        d->show();
      };
      frame.tools.http = std::make_shared<SocketHttpClient>(3000);
      frame.tools.network = std::make_shared<FixedReachability>(true);
      frame.tools.version_sources = {ScrambleText(server.Base() + "/a/"),
                                     ScrambleText(server.Base() + "/b/")};
      if (!answer_first) frame.show();
      frame.StartVersionCheck();
      QTRY_VERIFY_WITH_TIMEOUT(frame.version_check_result() >= 0, 10000);
      if (answer_first) {
        QTest::qWait(50);
        QCOMPARE(shown, 0);
        QVERIFY(!frame.update_dialog() || !frame.update_dialog()->isVisible());
        frame.show();
      }
      QTRY_COMPARE(shown, 1);
      QVERIFY(window_up_when_asked);
      QVERIFY(frame.isVisible());
      QVERIFY(frame.update_dialog()->isVisible());
      QCOMPARE(frame.update_dialog()->newest_edit()->text(), QString("6.11"));
      // Shown again later (minimised and back), the window offers nothing twice.
      frame.hide();
      frame.show();
      QTest::qWait(20);
      QCOMPARE(shown, 1);
    }
  }

  void VersionCheckShowsTheDialogOnlyForANewerVersion() {
    synth::LoopbackHttpServer server;
    server.RespondBody("/a/version.zip", "611");
    server.RespondBody("/same/version.zip", "610");
    auto opener = std::make_shared<RecordingOpener>();
    auto f = MakeFrame();
    QVERIFY(!f->update_dialog());
    f->tools.http = std::make_shared<SocketHttpClient>(3000);
    f->tools.network = std::make_shared<FixedReachability>(true);
    f->tools.url_opener = opener;
    f->tools.version_sources = {ScrambleText(server.Base() + "/a/"),
                                ScrambleText(server.Base() + "/b/")};
    f->StartVersionCheck();
    QTRY_VERIFY_WITH_TIMEOUT(f->version_check_result() >= 0, 10000);
    QCOMPARE(f->version_check_result(), 0);
    CUpdateDialog* d = f->update_dialog();
    QVERIFY(d && d->isVisible());
    QCOMPARE(d->thread(), QApplication::instance()->thread());
    QCOMPARE(d->windowTitle(), QString("版本升级"));
    QVERIFY(d->windowFlags() & Qt::WindowStaysOnTopHint);
    QCOMPARE(d->current_edit()->text(), QString("6.10"));
    QCOMPARE(d->newest_edit()->text(), QString("6.11"));
    QTest::mouseClick(d->download_button(), Qt::LeftButton);
    QCOMPARE(opener->Urls(), std::vector<std::string>{DownloadPageAddress()});
    QVERIFY(d->isVisible());
    d->hide();

    // The published version of this very program: nothing to offer.
    f->tools.version_sources = {ScrambleText(server.Base() + "/same/"),
                                ScrambleText(server.Base() + "/b/")};
    f->StartVersionCheck();
    QTRY_VERIFY_WITH_TIMEOUT(f->version_check_result() >= 0, 10000);
    QCOMPARE(f->version_check_result(), 0);
    QVERIFY(!d->isVisible());

    // Offline: not a single request.
    const int requests = server.TotalRequests();
    f->tools.network = std::make_shared<FixedReachability>(false);
    f->StartVersionCheck();
    QTRY_VERIFY_WITH_TIMEOUT(f->version_check_result() >= 0, 10000);
    QCOMPARE(f->version_check_result(), 1);
    QCOMPARE(server.TotalRequests(), requests);

    // "软件升级" opens the page and asks no server.
    f->action(CmdSoftwareUpgrade)->trigger();
    QCOMPARE(opener->Urls().size(), size_t{2});
    QCOMPARE(opener->Urls().back(), DownloadPageAddress());
    QCOMPARE(server.TotalRequests(), requests);
  }
};

QTEST_MAIN(ToolsTest)
#include "tools_test.moc"
