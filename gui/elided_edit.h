#pragma once
// A read-only line that shows a long text with its middle left out (a
// device's serial and number, a path's file name stay readable), the whole
// text in its tooltip. text() is always the whole text.

#include <QLineEdit>

namespace orvane::gui {

class MiddleElidedEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit MiddleElidedEdit(QWidget* parent = nullptr);
  // What is drawn: the text, or its elided form when it does not fit.
  QString ShownText() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QRect TextArea() const;
};

}  // namespace orvane::gui
