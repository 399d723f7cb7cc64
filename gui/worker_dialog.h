#pragma once
// A dialog that starts a worker. While any worker runs, closing it (title
// bar, Escape, a close button) only asks the worker to stop; the worker
// closes the dialog itself when it is done.

#include <QDialog>
#include <functional>

namespace orvane::gui {

class CMainFrame;

class WorkerDialog : public QDialog {
  Q_OBJECT
 public:
  WorkerDialog(CMainFrame* frame, QWidget* parent);
  void reject() override;
  // Called by the worker at its end, from any thread.
  void CloseByWorker();

 protected:
  // What a close asks of the running worker; the parameters' stop flag
  // unless the dialog keeps a stop request of its own.
  virtual void RequestStop();
  // Runs `job` on a worker in the order every worker of a window keeps:
  // busy, the job, not busy, this dialog closed, the power-off when asked
  // for.
  void StartClosingJob(std::function<void()> job);
  CMainFrame* frame_;
};

}  // namespace orvane::gui
