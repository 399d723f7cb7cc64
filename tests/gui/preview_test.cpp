// "视频预览": the key-frame strip of a planted recording with its times,
// playback from a thumbnail with pause and step, and the window's message
// for a recording without video; from the toolbar and by double-click.

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <memory>

#include "file_view.h"
#include "gui_test_support.h"
#include "preview_window.h"
#include "recording_model.h"
#include "scan/task_head.h"
#include "synth/hikvision_disk.h"
#include "synth/test_support.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

// A main frame listing two planted Hikvision recordings: row 0 plays, row 1
// lost its video.
struct TwoRecordings {
  TwoRecordings() : disk(dir.File("hik.img")) {
    const int64_t t0 = synth::UnixTime(2024, 6, 1, 10, 0, 0);
    const synth::HikPlanted good = disk.AddRecording(0, 0x100000, {1, t0, 100, 25});
    const synth::HikPlanted bad = disk.AddRecording(1, 0x100000, {2, t0 + 60, 30, 25});
    disk.image().Write(bad.offset, synth::Bytes(bad.bytes.size(), 0x5A));
    device = synth::ImageDevice(disk.path());
    f = MakeFrame();
    f->params().source = &device;
    f->params().brand = BrandHikvision;
    f->params().head.time_kind = TimeUnixUtc;
    std::vector<RecordingEntry> entries(2);
    for (int k = 0; k < 2; ++k) {
      const synth::HikPlanted& r = k == 0 ? good : bad;
      entries[k].channel = r.channel;
      entries[k].start_time = r.start_unix;
      entries[k].end_time = r.end_unix;
      entries[k].size = r.length();
      entries[k].fragments.push_back({r.offset, static_cast<uint32_t>(r.length())});
    }
    f->params().recordings = std::move(entries);
    f->file_view()->FillRecordingList();
  }
  synth::TempDir dir;
  synth::HikvisionDisk disk;
  DeviceInfo device;
  std::unique_ptr<CMainFrame> f;
};

class PreviewTest : public QObject {
  Q_OBJECT
 private slots:
  void StripPlaybackAndMessage() {
    TwoRecordings two;
    CMainFrame* f = two.f.get();

    QAction* preview = f->action(CmdVideoPreview);
    QVERIFY(preview->isEnabled());
    f->file_view()->table()->selectRow(0);
    preview->trigger();
    CPreviewWindow* w = f->file_view()->preview_window();
    QVERIFY(w->isVisible());
    QCOMPARE(w->windowTitle(), QString("视频预览"));
    // One key frame a second: four thumbnails, each with its time.
    QTRY_VERIFY_WITH_TIMEOUT(w->idle(), 10000);
    QCOMPARE(w->strip()->count(), 4);
    QCOMPARE(w->strip()->item(0)->text(), QString("2024-06-01 10-00-00"));
    QCOMPARE(w->strip()->item(3)->text(), QString("2024-06-01 10-00-03"));
    QCOMPARE(w->strip()->item(3)->icon().availableSizes().front(), QSize(160, 120));
    QVERIFY(w->message()->text().isEmpty());

    // Playing from the third thumbnail shows its second, then pauses and
    // steps one frame at a time.
    w->PlayFrom(w->strip()->item(2)->data(Qt::UserRole).toLongLong());
    QTRY_VERIFY_WITH_TIMEOUT(w->time_label()->text() == "2024-06-01 10-00-02", 5000);
    QVERIFY(!w->screen()->pixmap().isNull());
    QTest::mouseClick(w->step_button(), Qt::LeftButton);
    QCOMPARE(w->play_button()->text(), QString("播放"));
    QTest::qWait(200);
    const QString paused_at = w->time_label()->text();
    QTest::qWait(300);
    QCOMPARE(w->time_label()->text(), paused_at);
    QTest::mouseClick(w->play_button(), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w->time_label()->text() == "2024-06-01 10-00-03", 5000);
    QTRY_VERIFY_WITH_TIMEOUT(w->idle(), 5000);

    // A double-click on the damaged row: no thumbnails, the window says why.
    QTableView* table = f->file_view()->table();
    const QRect cell = table->visualRect(table->model()->index(1, 1));
    // A double-click is a press and release, then the second press.
    QTest::mouseClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QTest::mouseDClick(table->viewport(), Qt::LeftButton, Qt::NoModifier, cell.center());
    QCOMPARE(w->row(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(w->message()->text(), QString("该录像无法解码"), 10000);
    QCOMPARE(w->strip()->count(), 0);
    w->close();
  }

  // Thumbnails and pictures a stopped worker had posted before it stopped
  // are still in the event queue when the next recording opens: they must
  // not show up in its window.
  void QueuedPicturesOfAStoppedWorkerStayOut() {
    TwoRecordings two;
    CPreviewWindow* w = two.f->file_view()->preview_window();
    w->OpenFor(0);
    QTest::qSleep(3000);  // the strip's worker posts and ends; no event is handled
    w->OpenFor(1);
    QTRY_VERIFY_WITH_TIMEOUT(w->idle(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w->message()->text(), QString("该录像无法解码"), 10000);
    QCOMPARE(w->strip()->count(), 0);
    QVERIFY(w->screen()->pixmap().isNull());

    w->OpenFor(0);
    QTRY_VERIFY_WITH_TIMEOUT(w->idle(), 10000);
    QCOMPARE(w->strip()->count(), 4);
    w->PlayFrom(w->strip()->item(0)->data(Qt::UserRole).toLongLong());
    QTest::qSleep(1000);  // pictures of the playback wait in the queue
    w->OpenFor(1);
    QTRY_VERIFY_WITH_TIMEOUT(w->idle(), 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w->message()->text(), QString("该录像无法解码"), 10000);
    QCOMPARE(w->strip()->count(), 0);
    QVERIFY(w->time_label()->text().isEmpty());
    QVERIFY(w->screen()->pixmap().isNull());
    w->close();
  }
};

QTEST_MAIN(PreviewTest)
#include "preview_test.moc"
