#pragma once
// "视频预览": the key frames of one recording as a strip of thumbnails with
// their recorder times, and playback from any of them. Decoding runs on
// worker threads of the window's own; the main window never waits for it.

#include <QDialog>
#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>

#include "scan/recording_entry.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace orvane::gui {

class CMainFrame;

class CPreviewWindow : public QDialog {
  Q_OBJECT
 public:
  CPreviewWindow(CMainFrame* frame, QWidget* parent);
  ~CPreviewWindow() override;

  // Shows the recording of a list row and starts filling the strip.
  void OpenFor(int row);
  // Plays from the key frame at that recorder time.
  void PlayFrom(int64_t time_ms);
  void TogglePause();
  void Step();

  int row() const { return row_; }
  QListWidget* strip() const { return strip_; }
  QLabel* screen() const { return screen_; }
  QLabel* time_label() const { return time_; }
  QLabel* message() const { return message_; }
  QPushButton* play_button() const { return play_; }
  QPushButton* step_button() const { return step_; }
  // True while no worker of the window runs.
  bool idle() const { return strip_running_.load() == 0 && play_running_.load() == 0; }

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void StopPlayback();
  void StopAll();
  void ShowPicture(const QImage& image, int64_t time_ms);

  CMainFrame* frame_;
  int row_ = -1;
  RecordingEntry entry_;
  int32_t brand_ = 0;
  uint8_t time_kind_ = 0;
  QListWidget* strip_;
  QLabel* screen_;
  QLabel* time_;
  QLabel* message_;
  QPushButton* play_;
  QPushButton* step_;
  std::thread strip_worker_;
  std::thread play_worker_;
  std::atomic<bool> strip_stop_{false};
  std::atomic<bool> play_stop_{false};
  std::atomic<bool> paused_{false};
  std::atomic<int> steps_{0};
  std::atomic<int> strip_running_{0};
  std::atomic<int> play_running_{0};
  // What a worker posts is queued for the GUI thread and may arrive after
  // the worker was stopped and another started: it counts only while the
  // generation it was started in is still the current one.
  uint64_t strip_generation_ = 0;
  uint64_t play_generation_ = 0;
};

// The recorder time text under a thumbnail and beside the picture.
QString PreviewTimeText(int64_t time_ms);

}  // namespace orvane::gui
