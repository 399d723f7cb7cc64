#pragma once
// The parse dialog "解析视频", the smart-value dialog "参数设置" and the
// parameter help "Orvane软件".

#include <QDialog>

#include <functional>

#include "worker_dialog.h"

class QButtonGroup;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace orvane::gui {

class CHelpDialog;

class CScanDialog : public WorkerDialog {
  Q_OBJECT
 public:
  CScanDialog(CMainFrame* frame, QWidget* parent);

  // The set-up on opening, from the parameters' brand and source device.
  void Prepare();
  // What choosing a task file does (the save dialog already answered).
  void ChooseTaskFile(const QString& path);
  // "开始" (continue_run false) and "继续扫描" (true).
  void Start(bool continue_run);
  void Stop();
  void ShowHelp();

  QProgressBar* progress() const { return progress_; }
  QPushButton* start_button() const { return start_; }
  QPushButton* continue_button() const { return continue_; }
  QPushButton* stop_button() const { return stop_; }
  QPushButton* help_button() const { return help_; }
  QPushButton* browse_button() const { return browse_; }
  QLineEdit* start_edit() const { return start_edit_; }
  QLineEdit* end_edit() const { return end_edit_; }
  QLineEdit* buffer_edit() const { return buffer_edit_; }
  QLineEdit* path_edit() const { return path_edit_; }
  QLineEdit* source_edit() const { return source_edit_; }
  QLabel* status_line() const { return status_line_; }
  QLabel* StatusLine() const override { return status_line_; }
  QRadioButton* brand_radio(int code) const;
  QRadioButton* fast_radio() const { return fast_; }
  QRadioButton* deep_radio() const { return deep_; }
  QRadioButton* version1_radio() const { return version1_; }
  QRadioButton* version2_radio() const { return version2_; }
  int checked_brand() const;
  CHelpDialog* help_dialog() const { return help_dialog_; }

  // The task-file question; tests answer it themselves.
  std::function<QString(const QString& proposed)> ask_task_path;

 private:
  void ModeChanged();
  void SetEditsEnabled(bool on);
  void CheckBrand(int code);

  QButtonGroup* brands_;
  QRadioButton* fast_;
  QRadioButton* deep_;
  QRadioButton* version1_;
  QRadioButton* version2_;
  QLineEdit* source_edit_;
  QLineEdit* start_edit_;
  QLineEdit* end_edit_;
  QLineEdit* buffer_edit_;
  QLineEdit* path_edit_;
  QPushButton* browse_;
  QLabel* status_line_;
  QProgressBar* progress_;
  QPushButton* start_;
  QPushButton* continue_;
  QPushButton* stop_;
  QPushButton* help_;
  CHelpDialog* help_dialog_;
};

class CZnDlg : public QDialog {
  Q_OBJECT
 public:
  explicit CZnDlg(QWidget* parent);
  QLineEdit* edit() const { return edit_; }
  // The edit's sectors in bytes.
  int64_t ValueBytes() const;

 private:
  QLineEdit* edit_;
};

class CHelpDialog : public QDialog {
  Q_OBJECT
 public:
  explicit CHelpDialog(QWidget* parent);
  // Fills the tree anew; done on every opening.
  void BuildTree();
  QTreeWidget* tree() const { return tree_; }

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  QTreeWidget* tree_;
};

}  // namespace orvane::gui
