#include "dialog_parts.h"

#include <QBoxLayout>
#include <QHBoxLayout>
#include <QProgressBar>
#include <QPushButton>
#include <climits>

namespace orvane::gui {

void AddButtonRow(QBoxLayout* layout, QWidget* owner, std::initializer_list<RowButton> buttons) {
  auto* row = new QHBoxLayout;
  row->addStretch();
  for (const RowButton& b : buttons) {
    *b.button = new QPushButton(b.caption, owner);
    row->addWidget(*b.button);
  }
  layout->addLayout(row);
}

QProgressBar* AddProgressBar(QBoxLayout* layout, QWidget* owner) {
  auto* bar = new QProgressBar(owner);
  bar->setTextVisible(false);
  layout->addWidget(bar);
  return bar;
}

int BarValue(int64_t v) {
  if (v < 0) return 0;
  return v > INT_MAX ? INT_MAX : static_cast<int>(v);
}

}  // namespace orvane::gui
