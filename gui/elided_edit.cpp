#include "elided_edit.h"

#include <QPainter>
#include <QStyle>
#include <QStyleOptionFrame>

namespace orvane::gui {

MiddleElidedEdit::MiddleElidedEdit(QWidget* parent) : QLineEdit(parent) {
  setReadOnly(true);
  connect(this, &QLineEdit::textChanged, this, [this](const QString& t) { setToolTip(t); });
}

QRect MiddleElidedEdit::TextArea() const {
  QStyleOptionFrame option;
  initStyleOption(&option);
  // QLineEdit keeps two pixels of its own inside the contents rectangle.
  return style()->subElementRect(QStyle::SE_LineEditContents, &option, this).adjusted(2, 0, -2, 0);
}

QString MiddleElidedEdit::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideMiddle, TextArea().width());
}

void MiddleElidedEdit::paintEvent(QPaintEvent* event) {
  // While focused the user may select and scroll through the whole text.
  if (hasFocus() || ShownText() == text()) {
    QLineEdit::paintEvent(event);
    return;
  }
  QPainter painter(this);
  QStyleOptionFrame option;
  initStyleOption(&option);
  style()->drawPrimitive(QStyle::PE_PanelLineEdit, &option, &painter, this);
  painter.setPen(
      palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
  painter.drawText(TextArea(), Qt::AlignVCenter | Qt::AlignLeft, ShownText());
}

}  // namespace orvane::gui
