#include "shutdown_dialog.h"

#include <QCheckBox>
#include <QPushButton>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "main_frame.h"

namespace orvane::gui {

CShutdownDialog::CShutdownDialog(CMainFrame* frame, QWidget* parent)
    : QDialog(parent), frame_(frame) {
  setWindowTitle("定时关机");
  setObjectName("shutdown_dialog");
  setModal(true);
  auto* layout = new QVBoxLayout(this);
  box_ = new QCheckBox("所有任务结束后关机", this);
  layout->addWidget(box_);
  AddButtonRow(layout, this, {{"确定", &ok_}, {"取消", &cancel_}});
  connect(ok_, &QPushButton::clicked, this, &CShutdownDialog::Confirm);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CShutdownDialog::Prepare() { box_->setChecked(frame_->flags().shutdown_when_done.load()); }

void CShutdownDialog::Confirm() {
  frame_->flags().shutdown_when_done.store(box_->isChecked());
  accept();
}

}  // namespace orvane::gui
