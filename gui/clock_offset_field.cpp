#include "clock_offset_field.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>

#include "file_view.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "recording_model.h"
#include "recordings/clock_offset.h"

namespace orvane::gui {

QLineEdit* AddClockOffsetRow(QBoxLayout* layout, QWidget* owner) {
  auto* row = new QHBoxLayout;
  auto* edit = new QLineEdit(owner);
  edit->setObjectName("clock_offset");
  edit->setPlaceholderText("+00:00:00");
  edit->setToolTip("录像机时钟比实际时间快多少 (±HH:MM:SS); 校正时间 = 录像机时间 - 偏差");
  row->addWidget(new QLabel("时钟偏差:", owner));
  row->addWidget(edit);
  layout->addLayout(row);
  return edit;
}

QString ClockOffsetField(const ScanParameters& p) { return Q(ClockOffsetText(p.clock_offset)); }

bool ApplyClockOffsetField(const QLineEdit* edit, CMainFrame* frame) {
  const std::string text = S(edit->text().trimmed());
  int64_t offset = 0;
  if (!text.empty()) {
    const std::optional<int64_t> parsed = ParseClockOffset(text);
    if (!parsed) return false;
    offset = *parsed;
  }
  if (offset == frame->params().clock_offset) return true;
  frame->params().clock_offset = offset;
  frame->file_view()->model()->ClockOffsetChanged();
  return true;
}

}  // namespace orvane::gui
