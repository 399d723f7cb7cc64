#pragma once
// "导出文件": pick the base folder, start, watch and stop an export.

#include <QString>

#include <functional>

#include "worker_dialog.h"

class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orvane::gui {

enum class ExportMode : int { None = 0, Single = 1, Ticked = 2 };

class CExportDialog : public WorkerDialog {
  Q_OBJECT
 public:
  CExportDialog(CMainFrame* frame, QWidget* parent);

  // Sets the mode (and the row of a single export) and shows the dialog.
  void OpenFor(ExportMode mode, int row);
  void Prepare(ExportMode mode, int row);
  // What the folder picker's answer does; an empty answer empties the edit.
  void ChooseFolder(const QString& folder);
  void Start();
  void Stop();

  ExportMode mode() const { return mode_; }
  int row() const { return row_; }
  QLineEdit* path_edit() const { return path_; }
  // "原始格式" (the recorder's own stream, the default) or "MP4".
  QComboBox* format_box() const { return format_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* start_button() const { return start_; }
  QPushButton* stop_button() const { return stop_; }
  QPushButton* browse_button() const { return browse_; }

  std::function<QString()> ask_folder;

 private:
  ExportMode mode_ = ExportMode::None;
  int row_ = -1;
  QString base_;
  QLineEdit* path_;
  QComboBox* format_;
  QPushButton* browse_;
  QProgressBar* progress_;
  QPushButton* start_;
  QPushButton* stop_;
};

}  // namespace orvane::gui
