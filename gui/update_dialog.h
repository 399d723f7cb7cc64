#pragma once
// "版本升级": the version of this program beside the newest published one,
// and the way to the download page.

#include <QDialog>
#include <cstdint>

class QLineEdit;
class QPushButton;

namespace orvane::gui {

class CMainFrame;

class CUpdateDialog : public QDialog {
  Q_OBJECT
 public:
  CUpdateDialog(CMainFrame* frame, QWidget* parent);

  void SetVersions(int32_t current, int32_t newest);

  QLineEdit* current_edit() const { return current_; }
  QLineEdit* newest_edit() const { return newest_; }
  QPushButton* download_button() const { return download_; }

 private:
  QLineEdit* current_;
  QLineEdit* newest_;
  QPushButton* download_;
};

}  // namespace orvane::gui
