#include "filter_dialog.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <climits>

#include "clock_offset_field.h"
#include "dialog_parts.h"
#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "recording_model.h"
#include "recordings/clock_offset.h"
#include "recordings/row_filter.h"

namespace orvane::gui {

namespace {
// The hour of a full time text, corrected by the clock offset; invalid for
// an empty or impossible text.
QDateTime HourOf(const QString& time_text, int64_t clock_offset) {
  QDateTime t = QDateTime::fromString(time_text.left(13), "yyyy-MM-dd HH");
  if (!t.isValid() || clock_offset == 0) return t;
  // Minutes and seconds decide the corrected hour; out-of-range ones roll
  // over, as in the list's corrected column.
  const int64_t into_hour = time_text.mid(14, 2).toInt() * 60 + time_text.mid(17, 2).toInt();
  // Recorder times know no daylight saving: shifted as plain calendar times.
  t.setTimeSpec(Qt::UTC);
  t = t.addSecs(into_hour - clock_offset);
  return QDateTime(t.date(), QTime(t.time().hour(), 0));
}

// The offset the field holds; 0 when it is empty or not ±HH:MM:SS.
int64_t FieldOffset(const QLineEdit* edit) {
  return ParseClockOffset(S(edit->text().trimmed())).value_or(0);
}
}  // namespace

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
    p->installEventFilter(this);
  }
  date_form->addRow("开始:", start_);
  date_form->addRow("结束:", end_);
  time_basis_ = new QLabel(date_box);
  time_basis_->setObjectName("time_basis");
  date_form->addRow(time_basis_);
  layout->addWidget(date_box);

  auto* channel_box = new QGroupBox("通道", this);
  auto* channel_form = new QFormLayout(channel_box);
  channels_ = new QLineEdit(channel_box);
  channel_form->addRow("通道号:", channels_);
  layout->addWidget(channel_box);
  clock_offset_ = AddClockOffsetRow(layout, this);
  connect(clock_offset_, &QLineEdit::textChanged, this, &CSetDlg::ShowTimeBasis);

  progress_ = AddProgressBar(layout, this);
  AddButtonRow(layout, this, {{"确定", &ok_}, {"停止", &stop_}});
  ok_->setAutoDefault(false);

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
  // The window opens on the loaded recordings: from the hour of the first
  // start to the hour of the last end, which the filter keeps whole.
  const RowTotals& t = frame_->file_view()->totals();
  const int64_t offset = frame_->params().clock_offset;
  QDateTime first = HourOf(Q(t.first_start), offset);
  QDateTime last = HourOf(Q(t.last_end), offset);
  if (!first.isValid() || !last.isValid()) {
    const QDateTime now = QDateTime::currentDateTime();
    first = QDateTime(now.date(), QTime(now.time().hour(), 0));
    last = first;
  }
  if (last <= first) last = first.addSecs(3600);
  start_->setDateTime(first);
  end_->setDateTime(last);
  clock_offset_->setText(ClockOffsetField(frame_->params()));
  ShowTimeBasis();
  progress_->setRange(0, 100);
  progress_->setValue(0);
}

bool CSetDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched != start_ && watched != end_) return WorkerDialog::eventFilter(watched, event);
  auto* picker = static_cast<QDateTimeEdit*>(watched);
  // Typing a date starts at the year, wherever the cursor happened to be.
  if (event->type() == QEvent::FocusIn) {
    QTimer::singleShot(0, picker,
                       [picker] { picker->setSelectedSection(QDateTimeEdit::YearSection); });
  } else if (event->type() == QEvent::KeyPress) {
    // A full field moves on by itself; the "-" or blank typed after it
    // would move on once more and put the next number in the wrong field.
    const QString text = static_cast<QKeyEvent*>(event)->text();
    const bool separator = text == "-" || text == " " || text == ":" || text == "/";
    if (separator && typed_picker_ == picker && picker->currentSectionIndex() != typed_section_) {
      typed_picker_ = nullptr;
      return true;
    }
    const bool digit = text.size() == 1 && text[0].isDigit();
    typed_picker_ = digit ? picker : nullptr;
    typed_section_ = picker->currentSectionIndex();
  }
  return WorkerDialog::eventFilter(watched, event);
}

void CSetDlg::Open() {
  Prepare();
  frame_->show_modal(this);
}

void CSetDlg::ShowTimeBasis() {
  time_basis_->setText(FieldOffset(clock_offset_) != 0 ? "按校正时间 (录像机时间 - 时钟偏差) 筛选"
                                                       : "按录像机时间筛选");
}

void CSetDlg::ModeClicked() {
  const bool by_date = date_->isChecked();
  start_->setEnabled(by_date);
  end_->setEnabled(by_date);
  channels_->setEnabled(!by_date);
  channels_->setText(by_date ? "xx-xx-xx" : "");
}

static int64_t KeyOf(const QDateTime& t) {
  if (!t.isValid()) return HourKey(0, 0, 0, -1);
  const QDateTime local = t.toLocalTime();
  return HourKey(local.date().year(), local.date().month(), local.date().day(),
                 local.time().hour());
}

void CSetDlg::Confirm() {
  if (frame_->RefuseWhileBusy()) return;
  frame_->params().stop.store(0);
  channel_list_.clear();
  mode_ = date_->isChecked() ? FilterByDate : FilterByChannel;
  FilterSettings settings;
  settings.mode = mode_;
  settings.start_key = KeyOf(start_->dateTime());
  settings.end_key = KeyOf(end_->dateTime());
  settings.channels = ParseChannelList(S(channels_->text()));
  channel_list_ = settings.channels;
  if (!settings.valid() || !ApplyClockOffsetField(clock_offset_, frame_)) {
    frame_->Warn(Q(kMsgFilterBadParameters));
    return;
  }
  settings.clock_offset = frame_->params().clock_offset;
  CMainFrame* frame = frame_;
  RecordingModel* model = frame_->file_view()->model();
  QProgressBar* bar = progress_;
  model->BeginRowRemoval();
  StartClosingJob([frame, model, bar, settings] {
    FilterHooks hooks;
    int64_t top_value = 0;
    hooks.range = [bar, &top_value](int64_t top) {
      top_value = top;
      const int t = static_cast<int>(std::min<int64_t>(top, INT_MAX));
      PostToGui([bar, t] {
        bar->setRange(0, t);
        bar->setValue(t);
      });
    };
    // One update per hundredth of the way keeps the GUI's queue short.
    int64_t shown = -1;
    hooks.position = [bar, &shown, &top_value](int64_t value) {
      if (shown >= 0 && shown - value < std::max<int64_t>(1, top_value / 100) && value != 0)
        return;
      shown = value;
      const int v = static_cast<int>(std::min<int64_t>(value, INT_MAX));
      PostToGui([bar, v] { bar->setValue(v); });
    };
    FilterRows(model->rows(), frame->params().head.time_kind, settings, &frame->params().stop,
               hooks);
    RunOnGui([model] { model->EndRowRemoval(); });
  });
}

void CSetDlg::Stop() { frame_->params().stop.store(1); }

}  // namespace orvane::gui
