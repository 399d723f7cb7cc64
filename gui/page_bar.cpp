#include "page_bar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "scan/dispatch.h"
#include "scan/parse_job.h"

namespace orvane::gui {

CFilePageDialog::CFilePageDialog(CMainFrame* frame, QWidget* parent)
    : QWidget(parent), frame_(frame) {
  setObjectName("page_bar");
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(4, 0, 4, 0);
  // A page number has up to 10 digits (2,147,483,647 pages at most).
  const int number_width = fontMetrics().horizontalAdvance(QString(10, QChar('0'))) + 16;
  current_ = new QLineEdit(this);
  current_->setReadOnly(true);
  current_->setFixedWidth(std::max(70, number_width));
  total_ = new QLineEdit(this);
  total_->setReadOnly(true);
  total_->setFixedWidth(std::max(70, number_width));
  previous_ = new QPushButton("上一页", this);
  next_ = new QPushButton("下一页", this);
  status_ = new QLabel(this);
  row->addWidget(new QLabel("当前页:", this));
  row->addWidget(current_);
  row->addWidget(new QLabel("总页数:", this));
  row->addWidget(total_);
  row->addWidget(previous_);
  row->addWidget(next_);
  row->addWidget(status_, 1);
  setFixedHeight(25);
  for (auto* w : {static_cast<QWidget*>(current_), static_cast<QWidget*>(total_),
                  static_cast<QWidget*>(previous_), static_cast<QWidget*>(next_)})
    w->setFixedHeight(23);
  connect(previous_, &QPushButton::clicked, this, &CFilePageDialog::Previous);
  connect(next_, &QPushButton::clicked, this, &CFilePageDialog::Next);
}

void CFilePageDialog::SetPages(int32_t pages) {
  total_->setText(QString::number(pages));
  current_->setText("0");
  page_ = 0;
}

void CFilePageDialog::SetStatus(const QString& text) { status_->setText(text); }

void CFilePageDialog::Previous() {
  if (frame_->RefuseWhileBusy()) return;
  if (current_->text().isEmpty()) return;
  const int64_t p = EditValue(S(current_->text()));
  if (p > 0) {
    page_ = static_cast<int32_t>(p - 1);
    current_->setText(QString::number(page_));
    LoadPage();
  } else {
    frame_->Info("已经是第一页");
  }
}

void CFilePageDialog::Next() {
  if (frame_->RefuseWhileBusy()) return;
  if (current_->text().isEmpty() || total_->text().isEmpty()) return;
  const int64_t p = EditValue(S(current_->text()));
  const int64_t n = EditValue(S(total_->text()));
  if (p + 1 >= n) {
    frame_->Info("已经是最后一页");
    return;
  }
  page_ = static_cast<int32_t>(p + 1);
  current_->setText(QString::number(page_));
  LoadPage();
}

void CFilePageDialog::LoadPage() {
  CFileView* view = frame_->file_view();
  view->ClearList();
  frame_->params().stop.store(0);
  SetStatus(Q(kMsgLoadingTask));
  CMainFrame* frame = frame_;
  const int32_t page = page_;
  // Busy from the moment of the click, so that a second click is refused
  // even before the thread has started.
  frame_->flags().worker_busy.store(1);
  frame_->StartWorker([frame, view, page] {
    BusyScope busy(frame->flags());
    LoadTaskPage(frame->params(), page);
    RunOnGui([view] { view->FillRecordingList(); });
  });
}

}  // namespace orvane::gui
