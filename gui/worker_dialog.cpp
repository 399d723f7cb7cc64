#include "worker_dialog.h"

#include <QBoxLayout>
#include <QLabel>

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

void WorkerDialog::showEvent(QShowEvent* event) {
  if (!StatusLine() && !own_status_line_) {
    own_status_line_ = new QLabel(this);
    own_status_line_->setObjectName("status_line");
    own_status_line_->setTextFormat(Qt::PlainText);
    own_status_line_->setStyleSheet("color: #b00000;");
    // Every dialog here stacks its rows in one box; the line goes last.
    if (auto* box = qobject_cast<QBoxLayout*>(layout())) box->addWidget(own_status_line_);
  }
  // Each opening starts without the last one's complaints.
  if (own_status_line_) own_status_line_->clear();
  QDialog::showEvent(event);
}

void WorkerDialog::ShowStatus(const QString& type, const QString& text) {
  if (QLabel* line = StatusLine()) line->setText(type + ": " + text);
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
