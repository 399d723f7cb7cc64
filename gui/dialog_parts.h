#pragma once
// Pieces every window of the program builds the same way: the row of
// buttons at its foot and the progress bar of its worker.

#include <cstdint>
#include <initializer_list>

class QBoxLayout;
class QProgressBar;
class QPushButton;
class QWidget;

namespace orvane::gui {

struct RowButton {
  const char* caption;
  QPushButton** button;  // receives the new button
};

// A row of buttons at the right edge, added to the foot of `layout`, in the
// order given (which is also their tab order). Whether Enter presses one is
// left to the window: a button that starts a job is usually kept from it.
void AddButtonRow(QBoxLayout* layout, QWidget* owner, std::initializer_list<RowButton> buttons);

// A worker's progress bar, without the percentage text, added to `layout`.
QProgressBar* AddProgressBar(QBoxLayout* layout, QWidget* owner);

// A count as a progress bar's value: counts beyond what a bar holds show as
// a full bar rather than wrapping round to a negative number.
int BarValue(int64_t v);

}  // namespace orvane::gui
