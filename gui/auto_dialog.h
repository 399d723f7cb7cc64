#pragma once
// "自动识别": samples the recorded data of the ticked devices and names the
// brand whose frame signatures it finds.

#include <atomic>

#include "worker_dialog.h"

class QProgressBar;
class QPushButton;
class QTableWidget;

namespace orvane::gui {

class CAutoDialog : public WorkerDialog {
  Q_OBJECT
 public:
  CAutoDialog(CMainFrame* frame, QWidget* parent);

  void Open();
  // One row per device of the list, all showing "未知监控".
  void Prepare();
  void Start();
  void Stop();

  QTableWidget* list() const { return list_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* start_button() const { return start_; }
  QPushButton* stop_button() const { return stop_; }

 protected:
  void RequestStop() override;

 private:
  QTableWidget* list_;
  QProgressBar* progress_;
  QPushButton* start_;
  QPushButton* stop_;
  std::atomic<bool> stop_request_{false};
};

// The splash window shown while the devices are enumerated.
class CSplashDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CSplashDialog(CMainFrame* frame);
  // Starts the enumeration worker and waits, with the window shown, until it
  // has filled the device tree.
  void Run();

 private:
  CMainFrame* frame_;
};

// The about box.
class CZekDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CZekDlg(QWidget* parent);
};

}  // namespace orvane::gui
