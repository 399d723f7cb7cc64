#include "filter_dialog.h"

#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <algorithm>

#include "core_links.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "recording_model.h"

namespace orvane::gui {

CSetDlg::CSetDlg(CMainFrame* frame, QWidget* parent) : WorkerDialog(frame, parent) {
  setWindowTitle("过滤设置");
  setObjectName("filter_dialog");
  auto* layout = new QVBoxLayout(this);
  auto* cond = new QGroupBox("条件", this);
  auto* cond_row = new QHBoxLayout(cond);
  date_ = new QRadioButton("日期筛选", cond);
  channel_ = new QRadioButton("通道筛选", cond);
  cond_row->addWidget(date_);
  cond_row->addWidget(channel_);
  layout->addWidget(cond);

  auto* date_box = new QGroupBox("日期", this);
  auto* date_form = new QFormLayout(date_box);
  start_ = new QDateTimeEdit(date_box);
  end_ = new QDateTimeEdit(date_box);
  for (auto* p : {start_, end_}) {
    p->setDisplayFormat("yyyy-MM-dd HH");
    p->setCalendarPopup(true);
    p->setTimeSpec(Qt::LocalTime);
  }
  date_form->addRow("开始:", start_);
  date_form->addRow("结束:", end_);
  layout->addWidget(date_box);

  auto* channel_box = new QGroupBox("通道", this);
  auto* channel_form = new QFormLayout(channel_box);
  channels_ = new QLineEdit(channel_box);
  channel_form->addRow("通道号:", channels_);
  layout->addWidget(channel_box);

  progress_ = new QProgressBar(this);
  progress_->setTextVisible(false);
  layout->addWidget(progress_);
  auto* buttons = new QHBoxLayout;
  ok_ = new QPushButton("确定", this);
  stop_ = new QPushButton("停止", this);
  ok_->setAutoDefault(false);
  buttons->addStretch();
  buttons->addWidget(ok_);
  buttons->addWidget(stop_);
  layout->addLayout(buttons);

  connect(date_, &QRadioButton::clicked, this, &CSetDlg::ModeClicked);
  connect(channel_, &QRadioButton::clicked, this, &CSetDlg::ModeClicked);
  connect(ok_, &QPushButton::clicked, this, &CSetDlg::Confirm);
  connect(stop_, &QPushButton::clicked, this, &CSetDlg::Stop);
}

void CSetDlg::Prepare() {
  date_->setChecked(true);
  start_->setEnabled(true);
  end_->setEnabled(true);
  channels_->setEnabled(false);
  channels_->setText("xx-xx-xx");
  const QDateTime now = QDateTime::currentDateTime();
  const QDateTime hour(now.date(), QTime(now.time().hour(), 0));
  start_->setDateTime(hour);
  end_->setDateTime(hour.addSecs(3600));
  progress_->setRange(0, 100);
  progress_->setValue(0);
}

void CSetDlg::Open() {
  Prepare();
  frame_->show_modal(this);
}

void CSetDlg::ModeClicked() {
  const bool by_date = date_->isChecked();
  start_->setEnabled(by_date);
  end_->setEnabled(by_date);
  channels_->setEnabled(!by_date);
  channels_->setText(by_date ? "xx-xx-xx" : "");
}

static uint64_t KeyOf(const QDateTime& t) {
  if (!t.isValid()) return HourKeyOf(0, 0, 0, -1);
  return HourKeyOf(t.date().year(), t.date().month(), t.date().day(), t.time().hour());
}

void CSetDlg::Confirm() {
  if (frame_->RefuseWhileBusy()) return;
  frame_->params().stop.store(0);
  channel_list_.clear();
  mode_ = date_->isChecked() ? 1 : 2;
  start_key_ = KeyOf(start_->dateTime());
  end_key_ = KeyOf(end_->dateTime());
  channel_list_ = ChannelListOf(S(channels_->text()));
  if ((mode_ == 1 && start_key_ >= end_key_) || (mode_ == 2 && channel_list_.empty())) {
    frame_->Warn("参数设置错误，请重新设置");
    return;
  }
  RowFilter filter;
  filter.by_date = mode_ == 1;
  filter.start_key = start_key_;
  filter.end_key = end_key_;
  filter.channels = channel_list_;
  CMainFrame* frame = frame_;
  RecordingModel* model = frame_->file_view()->model();
  QProgressBar* bar = progress_;
  const int64_t rows = model->row_count();
  frame_->StartWorker([this, frame, model, bar, filter, rows] {
    frame->flags().worker_busy.store(1);
    RunOnGui([frame] { frame->Info("正在过滤文件中..."); });
    const int64_t last = rows - 1;
    const int top = static_cast<int>(std::max<int64_t>(last, 0) / 1000);
    PostToGui([bar, top] { bar->setRange(0, top); });
    int shown_value = top;
    std::vector<uint32_t> kept = FilterEntries(
        frame->params(), rows, [model](int64_t r) { return model->EntryOf(static_cast<int>(r)); },
        filter, [bar, &shown_value, top](int64_t row) {
          const int value = static_cast<int>(row / 1000);
          // One update per hundredth of the way keeps the GUI's queue short.
          if (shown_value - value >= std::max(1, top / 100) || value == 0) {
            shown_value = value;
            PostToGui([bar, value] { bar->setValue(value); });
          }
        });
    RunOnGui([model, &kept] { model->KeepEntries(std::move(kept)); });
    RunOnGui([frame] { frame->Info("过滤文件任务结束"); });
    frame->flags().worker_busy.store(0);
    CloseByWorker();
    PowerOffIfRequested(frame->flags());
  });
}

void CSetDlg::Stop() { frame_->params().stop.store(1); }

}  // namespace orvane::gui
