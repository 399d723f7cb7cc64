#pragma once
// "定时关机": whether the machine powers off once the running job has ended.

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace orvane::gui {

class CMainFrame;

class CShutdownDialog : public QDialog {
  Q_OBJECT
 public:
  CShutdownDialog(CMainFrame* frame, QWidget* parent);

  // The box shows the frame's flag as it is now.
  void Prepare();
  // "确定": the flag takes the box's state.
  void Confirm();

  QCheckBox* check_box() const { return box_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* cancel_button() const { return cancel_; }

 private:
  CMainFrame* frame_;
  QCheckBox* box_;
  QPushButton* ok_;
  QPushButton* cancel_;
};

}  // namespace orvane::gui
