#pragma once
// "加载任务": choose a task file and load its first page into the list.

#include <functional>

#include "worker_dialog.h"

class QLineEdit;
class QPushButton;

namespace orvane::gui {

class CTaskDialog : public WorkerDialog {
  Q_OBJECT
 public:
  CTaskDialog(CMainFrame* frame, QWidget* parent);

  void Prepare();
  // What choosing a file does (the open dialog already answered).
  void ChooseTaskFile(const QString& path);
  // "确定": starts the load worker.
  void Confirm();
  void Stop();

  QLineEdit* source_edit() const { return source_; }
  QLineEdit* task_edit() const { return task_; }
  QPushButton* browse_button() const { return browse_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* stop_button() const { return stop_; }

  std::function<QString()> ask_task_path;
  // A message box over the dialog; tests read it themselves.
  std::function<void(const QString& text)> show_warning;

 private:
  QLineEdit* source_;
  QLineEdit* task_;
  QPushButton* browse_;
  QPushButton* ok_;
  QPushButton* stop_;
};

}  // namespace orvane::gui
