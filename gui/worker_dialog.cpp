#include "worker_dialog.h"

#include "gui_thread.h"
#include "main_frame.h"

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

void WorkerDialog::CloseByWorker() {
  RunOnGui([this] {
    if (isVisible()) QDialog::done(QDialog::Accepted);
  });
}

}  // namespace orvane::gui
