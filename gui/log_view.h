#pragma once
// The bottom pane: every message of the program as a row of type, local time
// and text. The rows can be cleared or saved as tab-separated text.

#include <QTableWidget>

#include <functional>

namespace orvane::gui {

class CLogView : public QTableWidget {
  Q_OBJECT
 public:
  explicit CLogView(QWidget* parent = nullptr);

  void AddLogLine(const QString& type, const QString& text);
  void ClearLog();
  // Asks for a file and writes every row into it.
  void ExportLog();
  // Writes every row to `path`; false when the file cannot be created.
  bool ExportLogTo(const QString& path) const;
  int row_counter() const { return row_counter_; }
  // The last row's text, for the windows that want to show what just happened.
  QString LastText() const;

  // The file-save question; tests answer it themselves.
  std::function<QString()> ask_save_path;

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;

 private:
  int row_counter_ = 0;
};

}  // namespace orvane::gui
