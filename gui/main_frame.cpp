#include "main_frame.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QScreen>
#include <QSplitter>
#include <QStatusBar>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <chrono>
#include <climits>
#include <thread>

#include "auto_dialog.h"
#include "core_links.h"
#include "device/device_label.h"
#include "device/device_list.h"
#include "device_views.h"
#include "dialog_parts.h"
#include "export_dialog.h"
#include "file_view.h"
#include "filter_dialog.h"
#include "gui_thread.h"
#include "icons.h"
#include "log_view.h"
#include "scan/parse_job.h"
#include "scan/speed_text.h"
#include "scan/status_texts.h"
#include "scan_dialog.h"
#include "task_dialog.h"
#include "worker_dialog.h"

namespace orvane::gui {

namespace {
const char* const kIdleSpeedText = "速度";

int64_t SteadySeconds() {
  using namespace std::chrono;
  return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
}

struct CommandText {
  Command id;
  const char* text;
};
const CommandText kToolbar[] = {
    {CmdOpenImage, "打开镜像"},      {CmdRemoveImage, "移除镜像"}, {CmdCreateImage, "创建镜像"},
    {CmdRefreshDevices, "刷新设备"}, {CmdAutoIdentify, "自动识别"}, {CmdLoadTask, "加载任务"},
    {CmdParseVideo, "视频解析"},     {CmdVideoPreview, "视频预览"}, {CmdFilterFiles, "文件过滤"},
    {CmdExportFiles, "文件导出"},    {CmdTimedShutdown, "定时关机"}, {CmdExit, "退出程序"},
    {CmdAbout, "Orvane软件"},
};
}  // namespace

CMainFrame::CMainFrame(QWidget* parent) : QMainWindow(parent) {
  setObjectName("main_frame");
  now_seconds = SteadySeconds;
  ask_image_files = [this] {
    return QFileDialog::getOpenFileNames(
        this, QString(), QString(),
        "IMG Files (*.img);;DSK Files (*.dsk);;E01 Files (*.E01);;All Files (*.*)");
  };
  show_modal = [](QDialog* d) { d->exec(); };
  StartVersionCheck();
  BuildActions();
  BuildToolBar();
  BuildMenus();
  BuildStatusBar();
  resize(1200, 800);
  if (QScreen* screen = QGuiApplication::primaryScreen()) {
    const QRect area = screen->availableGeometry();
    move(area.x() + (area.width() - width()) / 2, area.y() + (area.height() - height()) / 2);
  }
  BuildPanes();

  scan_dialog_ = new CScanDialog(this, this);
  task_dialog_ = new CTaskDialog(this, this);
  filter_dialog_ = new CSetDlg(this, this);
  export_dialog_ = new CExportDialog(this, this);
  auto_dialog_ = new CAutoDialog(this, this);
  smart_value_dialog_ = new CZnDlg(this);

  sink_ = std::make_unique<GuiSink>(this);
  SetNotifySink(sink_.get());
  setWindowTitle(QString::fromUtf8(kFrameTitle));
}

CMainFrame::~CMainFrame() {
  params_.stop.store(1);
  StopToolWorkers();
  WaitForWorkers(60000);
  if (&Sink() == sink_.get()) SetNotifySink(nullptr);
}

void CMainFrame::BuildActions() {
  auto add = [this](Command id, const char* text, void (CMainFrame::*slot)()) {
    auto* a = new QAction(CommandIcon(id), QString::fromUtf8(text), this);
    a->setObjectName(QString("cmd_%1").arg(id));
    a->setToolTip(a->text());
    if (slot) connect(a, &QAction::triggered, this, slot);
    actions_.emplace_back(id, a);
  };
  add(CmdOpenImage, "打开镜像", &CMainFrame::OpenImages);
  add(CmdRemoveImage, "移除镜像", &CMainFrame::RemoveImage);
  add(CmdCreateImage, "创建镜像", &CMainFrame::CreateImage);
  add(CmdRefreshDevices, "刷新设备", &CMainFrame::RefreshDevices);
  add(CmdAutoIdentify, "自动识别", &CMainFrame::AutoIdentify);
  add(CmdLoadTask, "加载任务", &CMainFrame::LoadTask);
  add(CmdParseVideo, "视频解析", &CMainFrame::ParseVideo);
  add(CmdVideoPreview, "视频预览", nullptr);
  connect(action(CmdVideoPreview), &QAction::triggered, this,
          [this] { file_view()->PreviewSelected(); });
  add(CmdFilterFiles, "文件过滤", &CMainFrame::FilterFiles);
  add(CmdExportFiles, "文件导出", &CMainFrame::ExportFiles);
  add(CmdTimedShutdown, "定时关机", &CMainFrame::TimedShutdown);
  add(CmdExit, "退出程序", nullptr);
  connect(action(CmdExit), &QAction::triggered, this, &QWidget::close);
  add(CmdAbout, "Orvane软件", &CMainFrame::About);
  add(CmdSoftwareUpgrade, "软件升级", &CMainFrame::SoftwareUpgrade);
  add(CmdSmartValue, "参数设置", &CMainFrame::SmartValueSetting);
}

QAction* CMainFrame::action(Command id) const {
  for (const auto& [cmd, a] : actions_)
    if (cmd == id) return a;
  return nullptr;
}

void CMainFrame::BuildToolBar() {
  auto* bar = addToolBar("toolbar");
  bar->setObjectName("toolbar");
  bar->setMovable(false);
  bar->setIconSize(QSize(32, 32));
  bar->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  for (const auto& c : kToolbar) {
    bar->addAction(action(c.id));
    if (auto* button = qobject_cast<QToolButton*>(bar->widgetForAction(action(c.id))))
      button->setMinimumSize(65, 55);
  }
}

void CMainFrame::BuildMenus() {
  QMenu* file = menuBar()->addMenu("文件");
  file->addAction(action(CmdOpenImage));
  file->addAction(action(CmdRemoveImage));
  file->addAction(action(CmdCreateImage));
  file->addSeparator();
  file->addAction(action(CmdExit));
  QMenu* functions = menuBar()->addMenu("功能");
  functions->addAction(action(CmdAutoIdentify));
  // The menu calls the task load "加载列表"; the command is the same.
  QAction* load_list = functions->addAction(action(CmdLoadTask)->icon(), "加载列表");
  connect(load_list, &QAction::triggered, this, &CMainFrame::LoadTask);
  functions->addAction(action(CmdParseVideo));
  functions->addAction(action(CmdVideoPreview));
  functions->addAction(action(CmdExportFiles));
  functions->addAction(action(CmdRefreshDevices));
  QMenu* settings = menuBar()->addMenu("设置");
  settings->addAction(action(CmdSmartValue));
  settings->addAction(action(CmdFilterFiles));
  settings->addAction(action(CmdTimedShutdown));
  QMenu* help = menuBar()->addMenu("帮助");
  help->addAction(action(CmdAbout));
  help->addAction(action(CmdSoftwareUpgrade));
}

void CMainFrame::BuildStatusBar() {
  status_progress_ = new QProgressBar(this);
  status_progress_->setObjectName("status_progress");
  status_progress_->setTextVisible(false);
  status_progress_->setRange(0, 100);
  status_progress_->setValue(0);
  speed_label_ = new QLabel(kIdleSpeedText, this);
  speed_label_->setObjectName("speed_text");
  // Two panes of equal width: the bar over the first, the texts in the second.
  statusBar()->addWidget(status_progress_, 1);
  statusBar()->addWidget(speed_label_, 1);
}

void CMainFrame::BuildPanes() {
  const int w = width();
  const int h = height();
  outer_ = new QSplitter(Qt::Vertical, this);
  inner_top_ = new QSplitter(Qt::Horizontal, outer_);
  left_ = new QSplitter(Qt::Vertical, inner_top_);
  disk_view_ = new CDiskView(this, left_);
  info_panel_ = new CPartitionView(left_);
  file_view_ = new CFileView(this, inner_top_);
  log_view_ = new CLogView(outer_);
  outer_->setObjectName("outer_splitter");
  inner_top_->setObjectName("inner_top_splitter");
  left_->setObjectName("left_splitter");
  for (auto* s : {outer_, inner_top_, left_}) s->setChildrenCollapsible(false);
  disk_view_->setMinimumHeight(30);
  inner_top_->setMinimumHeight(30);
  left_->setMinimumWidth(50);
  outer_->setSizes({h - h / 3, h / 3});
  inner_top_->setSizes({w / 2, w / 2});
  left_->setSizes({(h - h / 3) / 2, (h - h / 3) / 2});
  info_panel_->setColumnWidth(0, w / 2 / 4);
  setCentralWidget(outer_);
}

void CMainFrame::resizeEvent(QResizeEvent* event) { QMainWindow::resizeEvent(event); }

void CMainFrame::AddLogLine(const QString& type, const QString& text) {
  audit_log_.Add(S(type), S(text));
  log_view_->AddLogLine(type, text);
  if (type == kLogInfo) return;
  for (WorkerDialog* d : findChildren<WorkerDialog*>())
    if (d->isVisible() && d->isModal()) d->ShowStatus(type, text);
}

bool CMainFrame::RefuseWhileBusy() {
  if (!busy()) return false;
  Warn(Q(kMsgWorkerBusy));
  return true;
}

void CMainFrame::StartWorker(std::function<void()> job) {
  // Busy from this moment on, so that no second start slips in before the
  // thread has begun; the job clears the flag at its own moment.
  flags_.worker_busy.store(1);
  live_workers_.fetch_add(1);
  std::thread([this, job = std::move(job)] {
    job();
    // Speed and remaining time of a job that has ended would only mislead.
    RunOnGui([this] { speed_label_->setText(kIdleSpeedText); });
    live_workers_.fetch_sub(1);
  }).detach();
}

bool CMainFrame::WaitForWorkers(int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (live_workers_.load() > 0) {
    if (timer.elapsed() > timeout_ms) return false;
    // Workers wait on the GUI thread for their notifications.
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(1);
  }
  return true;
}

void CMainFrame::SetSource(const DeviceInfo* device) {
  if (device) {
    source_copy_ = *device;
    params_.source = &source_copy_;
  } else {
    params_.source = nullptr;
  }
}

void CMainFrame::closeEvent(QCloseEvent* event) {
  // A running worker is asked to stop and finishes its current block first:
  // it still writes what it found.
  if (live_workers_.load() > 0) {
    params_.stop.store(1);
    StopToolWorkers();
    WaitForWorkers(INT_MAX);
  }
  event->accept();
}

// Notifications.

void CMainFrame::OnNotifyText(NotifyCode code, const QString& text) {
  switch (code) {
    case NotifyCode::Status:
    case NotifyCode::Info:
      AddLogLine(kLogInfo, text);
      break;
    case NotifyCode::Error:
      AddLogLine(kLogError, text);
      break;
    default:
      break;
  }
}

void CMainFrame::OnNotifyFound(const ScanProgress& progress) {
  info_panel_->UpdateFoundCounters(progress);
  const int64_t elapsed = now_seconds() - job_start_second_;
  if (elapsed <= 0 || progress.processed_bytes <= 0) return;
  const std::string text = SpeedText(progress.processed_bytes,
                                     params_.region_end - params_.region_start,
                                     elapsed);
  if (!text.empty()) speed_label_->setText(Q(text));
}

void CMainFrame::OnNotifyRange(int64_t steps) {
  switch (flags_.job_kind.load()) {
    case JobParse:
      scan_dialog_->progress()->setRange(0, BarValue(steps));
      job_start_second_ = now_seconds();
      break;
    case JobExport:
      export_dialog_->OnRecordingStarted(steps);
      break;
    default:
      break;
  }
}

void CMainFrame::OnNotifyPosition(int64_t step) {
  switch (flags_.job_kind.load()) {
    case JobParse:
      scan_dialog_->progress()->setValue(BarValue(step));
      break;
    case JobExport:
      export_dialog_->OnPosition(step);
      break;
    default:
      break;
  }
}

void CMainFrame::OnExportTotals(const ExportTotals& t) {
  export_dialog_->OnTotals(t);
  if (t.done_size == 0 && t.done_count == 0) {
    speed_label_->setText(Q(ExportTotalsText(t, 0)));
    job_start_second_ = now_seconds();
    status_progress_->setRange(0, BarValue(t.total_size / kExportBarUnit));
    status_progress_->setValue(0);
    return;
  }
  speed_label_->setText(Q(ExportTotalsText(t, now_seconds() - job_start_second_)));
  status_progress_->setValue(BarValue(t.done_size / kExportBarUnit));
}

void GuiSink::Text(NotifyCode code, std::string_view text) {
  const QString t = Q(text);
  RunOnGui([this, code, &t] { frame_->OnNotifyText(code, t); });
}
void GuiSink::Found(const ScanProgress& progress) {
  RunOnGui([this, &progress] { frame_->OnNotifyFound(progress); });
}
void GuiSink::Range(int64_t steps) {
  RunOnGui([this, steps] { frame_->OnNotifyRange(steps); });
}
void GuiSink::Position(int64_t step) {
  RunOnGui([this, step] { frame_->OnNotifyPosition(step); });
}
void GuiSink::Totals(const ExportTotals& totals) {
  RunOnGui([this, &totals] { frame_->OnExportTotals(totals); });
}

// Commands.

void CMainFrame::OpenImages() { OpenImageFiles(ask_image_files ? ask_image_files() : QStringList()); }

void CMainFrame::OpenImageFiles(const QStringList& paths) {
  for (const QString& path : paths) {
    const QFileInfo info(path);
    const size_t before = devices_.size();
    const std::string full = S(info.absoluteFilePath());
    AddImageTo(devices_, full, ImageSecondText(full));
    if (devices_.size() > before) disk_view_->AddDeviceItem(devices_.back());
  }
}

void CMainFrame::RemoveImage() { disk_view_->RemoveImageSelected(); }
void CMainFrame::CreateImage() { disk_view_->CreateImageSelected(); }

void CMainFrame::RefreshDevices() {
  if (RefuseWhileBusy()) return;  // a worker may be reading one of them
  disk_view_->clear();
  info_panel_->setRowCount(0);
  RemoveDevicesExcept(devices_, 0);
  EnumerateInto(devices_);
  disk_view_->RebuildDeviceTree();
}

void CMainFrame::EnumerateAtStartUp() {
  BusyScope busy(flags_);
  EnumerateInto(devices_);
}

void CMainFrame::AutoIdentify() { auto_dialog_->Open(); }

void CMainFrame::LoadTask() { disk_view_->LoadTaskSelected(); }
void CMainFrame::ParseVideo() { disk_view_->ParseSelected(); }
void CMainFrame::FilterFiles() { file_view_->OpenFilter(); }
void CMainFrame::ExportFiles() { file_view_->SaveTicked(); }
void CMainFrame::TimedShutdown() { ShowShutdownDialog(); }
void CMainFrame::SoftwareUpgrade() { OpenDownloadPage(); }

void CMainFrame::About() {
  CZekDlg about(this);
  show_modal(&about);
}

void CMainFrame::SmartValueSetting() {
  smart_value_dialog_->edit()->clear();
  smart_value_dialog_->setResult(QDialog::Rejected);
  show_modal(smart_value_dialog_);
  params_.user_smart_value =
      smart_value_dialog_->result() == QDialog::Accepted ? smart_value_dialog_->ValueBytes() : -1;
}

void CMainFrame::OpenScanDialog(const DeviceInfo* device, int32_t preselected_brand) {
  // The parameters belong to a running worker until it ends.
  if (RefuseWhileBusy()) return;
  SetSource(device);
  params_.brand = preselected_brand;
  scan_dialog_->Prepare();
  show_modal(scan_dialog_);
}

void CMainFrame::OpenTaskDialog(const DeviceInfo* device) {
  if (RefuseWhileBusy()) return;
  SetSource(device);
  task_dialog_->Prepare();
  show_modal(task_dialog_);
}

}  // namespace orvane::gui
