#pragma once
// "过滤设置": narrows the shown rows to a time window or to some channels.

#include <cstdint>
#include <vector>

#include "worker_dialog.h"

class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace orvane::gui {

class CSetDlg : public WorkerDialog {
  Q_OBJECT
 public:
  CSetDlg(CMainFrame* frame, QWidget* parent);

  void Open();
  // Resets the controls to their opening state.
  void Prepare();
  // "确定": checks the settings and starts the filter worker.
  void Confirm();
  void Stop();

  QRadioButton* date_radio() const { return date_; }
  QRadioButton* channel_radio() const { return channel_; }
  QDateTimeEdit* start_picker() const { return start_; }
  QDateTimeEdit* end_picker() const { return end_; }
  QLineEdit* channel_edit() const { return channels_; }
  QLineEdit* clock_offset_edit() const { return clock_offset_; }
  // Says whether the date window means recorder or corrected time.
  QLabel* time_basis_label() const { return time_basis_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* ok_button() const { return ok_; }
  QPushButton* stop_button() const { return stop_; }
  int32_t mode() const { return mode_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // The picker and field of the last digit typed (see eventFilter).
  QDateTimeEdit* typed_picker_ = nullptr;
  int typed_section_ = -1;
  void ModeClicked();
  void ShowTimeBasis();
  QRadioButton* date_;
  QRadioButton* channel_;
  QDateTimeEdit* start_;
  QDateTimeEdit* end_;
  QLineEdit* channels_;
  QLineEdit* clock_offset_;
  QLabel* time_basis_;
  QProgressBar* progress_;
  QPushButton* ok_;
  QPushButton* stop_;
  int32_t mode_ = 1;
  std::vector<int32_t> channel_list_;
};

}  // namespace orvane::gui
