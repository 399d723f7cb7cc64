#pragma once
// The main window. It owns everything that lives as long as the program: the
// device list, the one ScanParameters block with the loaded recordings, the
// worker flags, the four panes and one instance of every dialog. Workers
// report to it through the notification sink; every report is handled on
// the GUI thread while the worker waits.

#include <QMainWindow>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "device/device_info.h"
#include "device/notify.h"
#include "recordings/audit_log.h"
#include "recordings/export_totals.h"
#include "scan/scan_parameters.h"
#include "scan/worker_flags.h"
#include "tool_services.h"

class QLabel;
class QProgressBar;
class QAction;
class QSplitter;
class QDialog;

namespace orvane::gui {

class CLogView;
class CDiskView;
class CPartitionView;
class CFileView;
class CScanDialog;
class CTaskDialog;
class CSetDlg;
class CExportDialog;
class CAutoDialog;
class CZnDlg;
class GuiSink;
class CBpDialg;
class CShutdownDialog;
class CUpdateDialog;
struct VersionCheckRun;

inline const char* const kFrameTitle = "Orvane[大华监控]录像恢复软件[网络版] V6.10";
inline const char* const kLogInfo = "信息";
inline const char* const kLogWarning = "警告";
inline const char* const kLogError = "错误";

// Command ids of the toolbar and the menus.
enum Command : int {
  CmdOpenImage = 32786,
  CmdRemoveImage = 32787,
  CmdCreateImage = 32788,
  CmdRefreshDevices = 32789,
  CmdParseVideo = 32790,
  CmdVideoPreview = 32791,
  CmdFilterFiles = 32792,
  CmdExportFiles = 32793,
  CmdTimedShutdown = 32794,
  CmdExit = 32795,
  CmdAbout = 32796,
  CmdAutoIdentify = 32819,
  CmdLoadTask = 32820,
  CmdSoftwareUpgrade = 32821,
  CmdSmartValue = 32835,
};

class CMainFrame : public QMainWindow {
  Q_OBJECT
 public:
  explicit CMainFrame(QWidget* parent = nullptr);
  ~CMainFrame() override;

  ScanParameters& params() { return params_; }
  WorkerFlags& flags() { return flags_; }
  std::vector<DeviceInfo>& devices() { return devices_; }
  bool busy() const { return flags_.worker_busy.load() != 0; }

  CLogView* log_view() const { return log_view_; }
  CDiskView* disk_view() const { return disk_view_; }
  CPartitionView* info_panel() const { return info_panel_; }
  CFileView* file_view() const { return file_view_; }
  CScanDialog* scan_dialog() const { return scan_dialog_; }
  CTaskDialog* task_dialog() const { return task_dialog_; }
  CSetDlg* filter_dialog() const { return filter_dialog_; }
  CExportDialog* export_dialog() const { return export_dialog_; }
  CAutoDialog* auto_dialog() const { return auto_dialog_; }
  CZnDlg* smart_value_dialog() const { return smart_value_dialog_; }
  QLabel* speed_label() const { return speed_label_; }
  QProgressBar* status_progress() const { return status_progress_; }
  QAction* action(Command id) const;

  void AddLogLine(const QString& type, const QString& text);
  // Every log line since the program started, also those the user cleared
  // from the pane; exports and backups leave it beside their files.
  const AuditLog& audit_log() const { return audit_log_; }
  void Warn(const QString& text) { AddLogLine(kLogWarning, text); }
  void Info(const QString& text) { AddLogLine(kLogInfo, text); }
  // The warning every start logs while a worker runs; true when refused.
  bool RefuseWhileBusy();

  // Runs one job on a thread of its own. The job sets and clears
  // worker_busy itself, as each kind of job does it at its own moments.
  void StartWorker(std::function<void()> job);
  // Processes events until no worker thread is alive; false on timeout.
  bool WaitForWorkers(int timeout_ms);
  int live_workers() const { return live_workers_.load(); }

  // The device the dialogs work on. A copy, so that removing an image or
  // refreshing the list never pulls it away from a running worker.
  void SetSource(const DeviceInfo* device);
  const DeviceInfo* source() const { return params_.source; }

  // Notification handling (GUI thread).
  void OnNotifyText(NotifyCode code, const QString& text);
  void OnNotifyFound(const ScanProgress& progress);
  void OnNotifyRange(int64_t steps);
  void OnNotifyPosition(int64_t step);
  void OnExportTotals(const ExportTotals& totals);
  // Whole seconds of a monotonic clock; tests set their own.
  std::function<int64_t()> now_seconds;
  int64_t job_start_second() const { return job_start_second_; }

  // Commands.
  void OpenImages();
  void OpenImageFiles(const QStringList& paths);
  void RemoveImage();
  void CreateImage();
  void RefreshDevices();
  void AutoIdentify();
  void LoadTask();
  void ParseVideo();
  void FilterFiles();
  void ExportFiles();
  void TimedShutdown();
  void About();
  void SoftwareUpgrade();
  void SmartValueSetting();
  // The parse and load dialogs on a device (the tree's commands).
  void OpenScanDialog(const DeviceInfo* device, int32_t preselected_brand);
  void OpenTaskDialog(const DeviceInfo* device);
  // Modal opening of a dialog; tests replace it to drive the dialog
  // without a nested event loop.
  std::function<void(QDialog*)> show_modal;
  // Devices found at start-up, run on the splash window's worker.
  void EnumerateAtStartUp();

  // Commands of the tools (imaging, hex view, timed shutdown, version
  // check). Their bodies live in tools_commands.cpp, except the hex view's,
  // which lives with its window in hex_dialog.cpp.
  void ShowImagingDialog(const DeviceInfo* device);
  void ShowHexView(const DeviceInfo* device);
  void ShowShutdownDialog();
  void StartVersionCheck();
  void OpenDownloadPage();

  // The file-open question of "打开镜像"; tests answer it themselves.
  std::function<QStringList()> ask_image_files;

  // The tools' dialogs (made on first use) and what the tools reach outside
  // through; a window starts with the services the program installed.
  CBpDialg* imaging_dialog() const { return imaging_dialog_; }
  CShutdownDialog* shutdown_dialog() const { return shutdown_dialog_; }
  CUpdateDialog* update_dialog() const { return update_dialog_; }
  ToolServices tools = InstalledToolServices();
  // The last version check's result once the window has seen it; -1 before.
  int32_t version_check_result() const { return version_check_result_; }
  // Asks the tools' workers (the mirror backup) to end after their block.
  void StopToolWorkers();

 protected:
  void closeEvent(QCloseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void BuildActions();
  void BuildToolBar();
  void BuildMenus();
  void BuildStatusBar();
  void BuildPanes();

  std::vector<DeviceInfo> devices_;
  DeviceInfo source_copy_;
  ScanParameters params_;
  WorkerFlags flags_;
  int64_t job_start_second_ = 0;
  std::atomic<int> live_workers_{0};
  std::unique_ptr<GuiSink> sink_;
  AuditLog audit_log_;

  CLogView* log_view_ = nullptr;
  CDiskView* disk_view_ = nullptr;
  CPartitionView* info_panel_ = nullptr;
  CFileView* file_view_ = nullptr;
  QSplitter* outer_ = nullptr;
  QSplitter* inner_top_ = nullptr;
  QSplitter* left_ = nullptr;
  QLabel* speed_label_ = nullptr;
  QProgressBar* status_progress_ = nullptr;
  std::vector<std::pair<Command, QAction*>> actions_;

  CScanDialog* scan_dialog_ = nullptr;
  CTaskDialog* task_dialog_ = nullptr;
  CSetDlg* filter_dialog_ = nullptr;
  CExportDialog* export_dialog_ = nullptr;
  CAutoDialog* auto_dialog_ = nullptr;
  CZnDlg* smart_value_dialog_ = nullptr;

  void ShowUpdateDialog(int32_t published);
  // A newer version learned before the window was on screen; offered once
  // it is (0: none waiting).
  int32_t pending_update_ = 0;
  CBpDialg* imaging_dialog_ = nullptr;
  CShutdownDialog* shutdown_dialog_ = nullptr;
  CUpdateDialog* update_dialog_ = nullptr;
  std::shared_ptr<VersionCheckRun> version_check_;
  int32_t version_check_result_ = -1;
};

// The frame's side of the notification sink.
class GuiSink final : public NotifySink {
 public:
  explicit GuiSink(CMainFrame* frame) : frame_(frame) {}
  void Text(NotifyCode code, std::string_view text) override;
  void Found(const ScanProgress& progress) override;
  void Range(int64_t steps) override;
  void Position(int64_t step) override;
  void Totals(const ExportTotals& totals) override;

 private:
  CMainFrame* frame_;
};

}  // namespace orvane::gui
