#pragma once
// "导出文件": pick the base folder, start, watch and stop an export.

#include <QString>

#include <functional>

#include "recordings/export_totals.h"
#include "worker_dialog.h"

class QLabel;
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

  // The export's reports, on the GUI thread: a recording begins (its length
  // in 2 MiB steps), its position, the totals after each recording, and a
  // file finished.
  void OnRecordingStarted(int64_t steps);
  void OnPosition(int64_t step);
  void OnTotals(const ExportTotals& totals);
  void OnFileDone(size_t row, bool complete);
  QLabel* progress_text() const { return progress_text_; }

  ExportMode mode() const { return mode_; }
  int row() const { return row_; }
  QLineEdit* path_edit() const { return path_; }
  QLineEdit* clock_offset_edit() const { return clock_offset_; }
  // "原始格式" (the recorder's own stream, the default) or "MP4".
  QComboBox* format_box() const { return format_; }
  QProgressBar* progress() const { return progress_; }
  QPushButton* start_button() const { return start_; }
  QPushButton* stop_button() const { return stop_; }
  QPushButton* browse_button() const { return browse_; }

  std::function<QString()> ask_folder;
  // The source of a task loaded without its disk: an image (or a device
  // node) to read the recordings from.
  std::function<QString()> ask_source;

 private:
  void ShowProgressText();
  // Asks for the source when the task was loaded without one; false when
  // none was given or it cannot be opened.
  bool ChooseSource();

  ExportMode mode_ = ExportMode::None;
  int row_ = -1;
  // What the progress text is made of.
  ExportTotals totals_;
  int64_t position_bytes_ = 0;  // of the recording being written
  int next_row_ = 0;            // rows before it are done or given up
  QString current_name_;
  int64_t started_second_ = 0;
  QLabel* progress_text_;
  QString base_;
  QLineEdit* path_;
  QLineEdit* clock_offset_;
  QComboBox* format_;
  QPushButton* browse_;
  QProgressBar* progress_;
  QPushButton* start_;
  QPushButton* stop_;
};

}  // namespace orvane::gui
