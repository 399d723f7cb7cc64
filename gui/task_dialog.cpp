#include "task_dialog.h"

#include <QFileDialog>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "device/device_label.h"
#include "dialog_parts.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "page_bar.h"
#include "scan/dispatch.h"
#include "scan/parse_job.h"
#include "scan/task_check.h"
#include "scan/task_head.h"

namespace orvane::gui {

CTaskDialog::CTaskDialog(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("加载任务");
  setObjectName("task_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  source_ = new QLineEdit(this);
  source_->setEnabled(false);
  task_ = new QLineEdit(this);
  task_->setReadOnly(true);
  browse_ = new QPushButton("...", this);
  browse_->setFixedWidth(32);
  auto* task_row = new QHBoxLayout;
  task_row->addWidget(task_);
  task_row->addWidget(browse_);
  form->addRow("源设备:", source_);
  form->addRow("任务:", task_row);
  layout->addLayout(form);
  AddButtonRow(layout, this, {{"确定", &ok_}, {"停止", &stop_}});
  ok_->setAutoDefault(false);
  resize(520, 120);

  ask_task_path = [this] {
    return QFileDialog::getOpenFileName(this, QString(), "zek.tak",
                                        "tak Files (*.tak);;All Files (*.*)");
  };
  show_warning = [this](const QString& text) { QMessageBox::warning(this, windowTitle(), text); };
  connect(browse_, &QPushButton::clicked, this, [this] {
    const QString path = ask_task_path ? ask_task_path() : QString();
    if (!path.isEmpty()) ChooseTaskFile(path);
  });
  connect(ok_, &QPushButton::clicked, this, &CTaskDialog::Confirm);
  connect(stop_, &QPushButton::clicked, this, &CTaskDialog::Stop);
}

void CTaskDialog::Prepare() {
  const DeviceInfo* d = frame_->source();
  source_->setText(d ? Q(SourceDeviceText(*d)) : QString());
  task_->setText(Q(kMsgNoTaskChosen));
}

void CTaskDialog::ChooseTaskFile(const QString& path) {
  ScanParameters& p = frame_->params();
  task_->setText(path);
  p.task_path = S(path);
  // Only a head that was read says anything about this file.
  if (!ReadTaskHead(p, false)) {
    frame_->file_view()->page_bar()->SetPages(0);
    return;
  }
  ApplyTaskHead(p);
  frame_->file_view()->page_bar()->SetPages(TaskPageCount(p));
}

void CTaskDialog::Confirm() {
  if (frame_->RefuseWhileBusy()) return;
  CFileView* view = frame_->file_view();
  ScanParameters& p = frame_->params();
  view->ClearList();
  p.stop.store(0);
  const std::string text = S(task_->text());
  p.task_path = text;
  if (text.size() >= 3 && text.compare(text.size() - 3, 3, "...") == 0) {
    frame_->Warn(Q(kMsgBadParameters));
    return;
  }
  // A file that is no task would load as an empty list, as if the disk held
  // nothing.
  if (CheckTaskFile(text) == TaskFileCheck::Invalid) {
    frame_->Warn(Q(kMsgTaskInvalid));
    if (show_warning) show_warning(Q(kMsgTaskInvalid));
    return;
  }
  frame_->flags().job_kind.store(JobTaskLoad);
  CMainFrame* frame = frame_;
  StartClosingJob([frame, view] {
    RunOnGui([view] { view->page_bar()->SetStatus(Q(kMsgLoadingTask)); });
    LoadTaskPage(frame->params(), 0);
    RunOnGui([view] { view->FillRecordingList(); });
  });
}

void CTaskDialog::Stop() { frame_->params().stop.store(1); }

}  // namespace orvane::gui
