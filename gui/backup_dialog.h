#pragma once
// "镜像备份": copies a range of sectors of a drive or file onto a drive or a
// new image file. The copy runs on a worker thread of its own; the dialog
// only chooses the two sides and the range, and shows the progress.

#include <QString>
#include <functional>
#include <optional>

#include "imaging/mirror_backup.h"
#include "worker_dialog.h"

class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orvane::gui {

class CBpdeviceDialog;
class RescueMapView;

class CBpDialg : public WorkerDialog {
  Q_OBJECT
 public:
  CBpDialg(CMainFrame* frame, QWidget* parent);

  // Sets the dialog up for `device` as the source (none when null) and shows it.
  void OpenFor(const DeviceInfo* device);
  void Prepare(const DeviceInfo* device);

  // The buttons of both sides.
  void SourceDisk();
  void SourceFile();
  void TargetDisk();
  void TargetFile();
  // What the file questions' answers do; an empty answer changes nothing.
  void ChooseSourceFile(const QString& path);
  void ChooseTargetFile(const QString& path);
  // "开始" and "停止".
  void Start();
  void Stop();
  // Asks a running copy to end after its current block.
  void RequestStop() override;

  const BackupEndpoint& source() const { return source_; }
  const BackupEndpoint& target() const { return target_; }
  bool stop_requested() const { return job_.stop.load() != 0; }

  QLineEdit* source_text() const { return source_text_; }
  QLineEdit* target_text() const { return target_text_; }
  QLineEdit* source_offset_edit() const { return source_offset_; }
  QLineEdit* source_size_edit() const { return source_size_; }
  QLineEdit* target_offset_edit() const { return target_offset_; }
  QLineEdit* target_size_edit() const { return target_size_; }
  QProgressBar* progress() const { return progress_; }
  RescueMapView* map_view() const { return map_view_; }
  QPushButton* source_disk_button() const { return source_disk_; }
  QPushButton* source_file_button() const { return source_file_; }
  QPushButton* target_disk_button() const { return target_disk_; }
  QPushButton* target_file_button() const { return target_file_; }
  QPushButton* start_button() const { return start_; }
  QPushButton* stop_button() const { return stop_; }
  CBpdeviceDialog* device_picker() const { return picker_; }

  // The questions the buttons ask; tests answer them themselves.
  std::function<std::optional<DeviceInfo>()> ask_drive;
  std::function<QString()> ask_source_file;
  std::function<QString()> ask_target_file;
  // Whether an image file that is there already may be replaced.
  std::function<bool(const QString& path)> ask_replace;

 private:
  void SetSourceDrive(const DeviceInfo& drive);
  void ShowSource();
  std::optional<DeviceInfo> PickDrive();

  BackupEndpoint source_;
  BackupEndpoint target_;
  BackupJob job_;

  QLineEdit* source_text_;
  QLineEdit* target_text_;
  QLineEdit* source_offset_;
  QLineEdit* source_size_;
  QLineEdit* target_offset_;
  QLineEdit* target_size_;
  QProgressBar* progress_;
  RescueMapView* map_view_;
  QPushButton* source_disk_;
  QPushButton* source_file_;
  QPushButton* target_disk_;
  QPushButton* target_file_;
  QPushButton* start_;
  QPushButton* stop_;
  CBpdeviceDialog* picker_;
};

}  // namespace orvane::gui
