#pragma once
// The band under the recording list: current page, page count, the two turn
// buttons and the list's status text.

#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace orvane::gui {

class CMainFrame;

class CFilePageDialog : public QWidget {
  Q_OBJECT
 public:
  CFilePageDialog(CMainFrame* frame, QWidget* parent);

  // Total pages; the current page goes back to 0.
  void SetPages(int32_t pages);
  void SetStatus(const QString& text);
  void Previous();
  void Next();
  // Empties the list and loads the current page on a worker.
  void LoadPage();

  QLineEdit* current_edit() const { return current_; }
  QLineEdit* total_edit() const { return total_; }
  QPushButton* previous_button() const { return previous_; }
  QPushButton* next_button() const { return next_; }
  QLabel* status() const { return status_; }
  int32_t current_page() const { return page_; }

 private:
  CMainFrame* frame_;
  int32_t page_ = 0;
  QLineEdit* current_;
  QLineEdit* total_;
  QPushButton* previous_;
  QPushButton* next_;
  QLabel* status_;
};

}  // namespace orvane::gui
