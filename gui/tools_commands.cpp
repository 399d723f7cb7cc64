// The commands of the tools: mirror backup ("创建镜像"), the timed shutdown
// ("定时关机") and the version check with its download page ("软件升级").
// Each is one method of the main frame, called by the toolbar, the menus and
// the device tree's context menu. The hex view ("HEX查看") lives with its
// window in hex_dialog.cpp.

#include <QTimer>
#include <atomic>
#include <thread>

#include "backup_dialog.h"
#include "main_frame.h"
#include "shutdown_dialog.h"
#include "update_dialog.h"

namespace orvane::gui {

// What the version check's thread leaves for the window: written before
// `done`, read after it.
struct VersionCheckRun {
  std::atomic<bool> done{false};
  int32_t result = -1;
  int32_t published = 0;
};

// "创建镜像": the mirror backup dialog on `device` as its source (null when
// the tree item led to no device).
void CMainFrame::ShowImagingDialog(const DeviceInfo* device) {
  if (!imaging_dialog_) imaging_dialog_ = new CBpDialg(this, this);
  imaging_dialog_->OpenFor(device);
}

// "定时关机": the timed shutdown dialog; sets flags().shutdown_when_done.
void CMainFrame::ShowShutdownDialog() {
  if (!shutdown_dialog_) shutdown_dialog_ = new CShutdownDialog(this, this);
  shutdown_dialog_->Prepare();
  show_modal(shutdown_dialog_);
}

// Called once while the frame is built, before the panes exist; runs on a
// thread of its own and is not counted as a worker.
void CMainFrame::StartVersionCheck() {
  // Without a client or a reachability test there is nothing to ask with
  // (the tests' windows, unless a test gives them doubles).
  if (!tools.http || !tools.network) return;
  auto run = std::make_shared<VersionCheckRun>();
  version_check_ = run;
  version_check_result_ = -1;
  // The thread owns what it uses, so that it may outlive the window; it
  // touches no widget. The window looks for its answer on the GUI thread,
  // where the dialog has to be made.
  std::thread([run, http = tools.http, network = tools.network, sources = tools.version_sources] {
    int32_t published = 0;
    run->result = QueryPublishedVersion(*http, *network, sources, published);
    run->published = published;
    run->done.store(true, std::memory_order_release);
  }).detach();
  auto* poll = new QTimer(this);
  poll->setInterval(100);
  connect(poll, &QTimer::timeout, this, [this, poll, run] {
    if (!run->done.load(std::memory_order_acquire)) return;
    poll->stop();
    poll->deleteLater();
    if (run != version_check_) return;  // a newer check has taken over
    version_check_result_ = run->result;
    if (OffersUpdate(run->result, run->published)) ShowUpdateDialog(run->published);
  });
  poll->start();
}

void CMainFrame::ShowUpdateDialog(int32_t published) {
  // A modal box before the window is up runs its own event loop in front of
  // the start-up, which then never shows the window; it waits for the window.
  if (!isVisible()) {
    pending_update_ = published;
    return;
  }
  if (!update_dialog_) update_dialog_ = new CUpdateDialog(this, this);
  update_dialog_->SetVersions(kCurrentVersion, published);
  show_modal(update_dialog_);
}

void CMainFrame::showEvent(QShowEvent* event) {
  QMainWindow::showEvent(event);
  if (pending_update_ == 0) return;
  const int32_t published = pending_update_;
  pending_update_ = 0;
  // After the show has finished, so that the window is drawn behind the box.
  QTimer::singleShot(0, this, [this, published] { ShowUpdateDialog(published); });
}

void CMainFrame::StopToolWorkers() {
  if (imaging_dialog_) imaging_dialog_->RequestStop();
}

// "软件升级": opens the download page in the user's browser.
void CMainFrame::OpenDownloadPage() {
  if (tools.url_opener) ::orvane::OpenDownloadPage(*tools.url_opener);
}

}  // namespace orvane::gui
