#include "shutdown_dialog.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

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
  auto* buttons = new QHBoxLayout;
  ok_ = new QPushButton("确定", this);
  cancel_ = new QPushButton("取消", this);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(cancel_);
  layout->addLayout(buttons);
  connect(ok_, &QPushButton::clicked, this, &CShutdownDialog::Confirm);
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
}

void CShutdownDialog::Prepare() { box_->setChecked(frame_->flags().shutdown_when_done.load()); }

void CShutdownDialog::Confirm() {
  frame_->flags().shutdown_when_done.store(box_->isChecked());
  accept();
}

}  // namespace orvane::gui
