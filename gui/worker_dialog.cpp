#include "worker_dialog.h"

#include "gui_thread.h"
#include "main_frame.h"
#include "scan/worker_flags.h"

namespace orvane::gui {

WorkerDialog::WorkerDialog(CMainFrame* frame, QWidget* parent) : QDialog(parent), frame_(frame) {
  setModal(true);
}

void WorkerDialog::reject() {
  if (frame_->busy()) {
    RequestStop();
    return;
  }
  QDialog::reject();
}

void WorkerDialog::RequestStop() { frame_->params().stop.store(1); }

void WorkerDialog::StartClosingJob(std::function<void()> job) {
  CMainFrame* frame = frame_;
  frame_->StartWorker([this, frame, job = std::move(job)] {
    frame->flags().worker_busy.store(1);
    job();
    frame->flags().worker_busy.store(0);
    CloseByWorker();
    PowerOffIfRequested(frame->flags());
  });
}

void WorkerDialog::CloseByWorker() {
  RunOnGui([this] {
    if (isVisible()) QDialog::done(QDialog::Accepted);
  });
}

}  // namespace orvane::gui
