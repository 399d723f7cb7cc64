#pragma once
// A dialog that starts a worker. While any worker runs, closing it (title
// bar, Escape, a close button) only asks the worker to stop; the worker
// closes the dialog itself when it is done.

#include <QDialog>
#include <functional>

class QLabel;

namespace orvane::gui {

class CMainFrame;

class WorkerDialog : public QDialog {
  Q_OBJECT
 public:
  WorkerDialog(CMainFrame* frame, QWidget* parent);
  void reject() override;
  // Called by the worker at its end, from any thread.
  void CloseByWorker();
  // A warning or error while the dialog is open: the log behind a modal
  // dialog cannot be read, so the dialog's status line repeats it.
  void ShowStatus(const QString& type, const QString& text);
  // The line that shows it; a dialog with a status line of its own gives
  // that one, the others get one under their rows when first shown.
  virtual QLabel* StatusLine() const { return own_status_line_; }

 protected:
  // What a close asks of the running worker; the parameters' stop flag
  // unless the dialog keeps a stop request of its own.
  virtual void RequestStop();
  // Runs `job` on a worker in the order every worker of a window keeps:
  // busy, the job, not busy, this dialog closed, the power-off when asked
  // for.
  void StartClosingJob(std::function<void()> job);
  void showEvent(QShowEvent* event) override;
  CMainFrame* frame_;

 private:
  QLabel* own_status_line_ = nullptr;
};

}  // namespace orvane::gui
