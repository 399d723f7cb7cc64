#include "shutdown_dialog.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "dialog_parts.h"
#include "gui_thread.h"
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

CPowerOffCountdown::CPowerOffCountdown(PowerOff* inner, QWidget* parent)
    : QDialog(parent), inner_(inner) {
  setWindowTitle("定时关机");
  setObjectName("power_off_countdown");
  setWindowFlag(Qt::WindowStaysOnTopHint, true);
  auto* layout = new QVBoxLayout(this);
  text_ = new QLabel(this);
  layout->addWidget(text_);
  AddButtonRow(layout, this, {{"取消", &cancel_}});
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &CPowerOffCountdown::Tick);
  // Cancelling, closing or Esc: the machine stays on.
  connect(cancel_, &QPushButton::clicked, this, &QDialog::reject);
  connect(this, &QDialog::finished, timer_, &QTimer::stop);
}

bool CPowerOffCountdown::PowerOffMachine() {
  PostToGui([this] { Begin(); });
  return true;
}

void CPowerOffCountdown::Begin() {
  // Several jobs may end close together: one countdown covers them.
  if (timer_->isActive()) return;
  remaining_ = seconds;
  ShowRemaining();
  timer_->start(tick_ms);
  show();
  raise();
}

void CPowerOffCountdown::Tick() {
  if (--remaining_ > 0) {
    ShowRemaining();
    return;
  }
  timer_->stop();
  hide();
  if (inner_) inner_->PowerOffMachine();
}

void CPowerOffCountdown::ShowRemaining() {
  text_->setText(QString("任务已结束，%1 秒后关机").arg(remaining_));
}

}  // namespace orvane::gui
