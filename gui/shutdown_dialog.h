#pragma once
// "定时关机": whether the machine powers off once the running job has ended.

#include <QDialog>
#include <atomic>

#include "tools/power_off.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QTimer;

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

// The power-off a finished job asks for, given a minute's notice: a
// countdown with "取消" comes up, and only when it runs out is the machine
// powered off (through `inner`). Asked from a worker's thread; returns at once.
class CPowerOffCountdown : public QDialog, public PowerOff {
  Q_OBJECT
 public:
  CPowerOffCountdown(PowerOff* inner, QWidget* parent);

  bool PowerOffMachine() override;

  // The notice in seconds, and the length of one (tests shorten it).
  int seconds = 60;
  int tick_ms = 1000;
  int remaining() const { return remaining_; }
  QLabel* text_label() const { return text_; }
  QPushButton* cancel_button() const { return cancel_; }

 private:
  void Begin();
  void Tick();
  void ShowRemaining();

  PowerOff* inner_;
  int remaining_ = 0;
  QLabel* text_;
  QPushButton* cancel_;
  QTimer* timer_;
};

}  // namespace orvane::gui
