#pragma once
// The "时间轴" tab beside the recording list: one row per channel, time
// across, a bar per recording of the loaded page. The wheel zooms about the
// cursor between a minute and a month, a drag or the scroll bar pans, a
// click selects the recording in the list and a selection in the list shows
// its bar here.
//
// The index it draws from is built on a thread of its own once the tab is
// first shown after the rows changed, and dropped before they change again;
// both threads that read the rows have ended before the rows change.

#include <QAbstractScrollArea>
#include <QColor>
#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "timeline_axis.h"
#include "timeline_index.h"

class QTableView;
class QVBoxLayout;

namespace orvane {
struct ScanParameters;
}

namespace orvane::gui {

class RecordingModel;

// The colour of a recording's bar. The one place that decides it, so that
// what is known about how a recording was found can colour it.
QColor TimelineBarColour(const RecordingEntry& entry);
inline const QColor kTimelineTickColour(220, 40, 40);
inline const QColor kTimelineSelectionColour(255, 160, 0);

class CTimelineView : public QAbstractScrollArea {
  Q_OBJECT
 public:
  static constexpr int kRulerHeight = 24;
  static constexpr int kLabelWidth = 64;
  static constexpr int kRowHeight = 24;

  CTimelineView(RecordingModel* model, QTableView* table, const ScanParameters& params,
                QWidget* parent = nullptr);
  ~CTimelineView() override;

  const TimelineAxis& axis() const { return axis_; }
  const TimelineIndex* index() const { return index_.get(); }
  int selected_row() const { return selected_row_; }

  // Builds the index on this thread (tests, benchmarks).
  void BuildIndexNow();
  // Processes events until the index is there and carries the list's
  // current ticks; false on timeout.
  bool WaitForIndex(int timeout_ms);

  // Draws the view as it stands into an area of `size` (the viewport's in
  // a paint event).
  void Paint(QPainter& painter, const QSize& size);

  // Wheel steps (120 a notch) at column x of the viewport.
  void ZoomAtViewport(int x, int wheel_delta);
  // Shows the stretch [begin, begin + span) of time, within the bounds.
  void ShowSpan(double begin, double span);
  // The list row of the recording at a point of the viewport, or -1.
  int RowAtPoint(const QPoint& point) const;
  // Middle of the row's bar in viewport coordinates, brought into view.
  QPoint RevealRow(int row);
  // Selects the row in the list and scrolls the list to it.
  void SelectRow(int row);

 signals:
  // A double click on a recording.
  void rowActivated(int row);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void StartBuild();
  void CancelBuild();
  void AdoptBuilt();
  void OnTicksChanged(int first, int last);
  void StartTickRead();
  void CancelTickRead();
  void AdoptTicks();
  TimelineTickedAt TickedAt() const;
  void SyncScrollBars();
  void OnCurrentRowChanged(int row);
  int VisibleChannelRows() const;
  void PaintRuler(QPainter& p, const QSize& size);
  void PaintRows(QPainter& p, const QSize& size);

  RecordingModel* model_;
  QTableView* table_;
  const ScanParameters& params_;
  TimelineAxis axis_;
  std::unique_ptr<TimelineIndex> index_;
  bool index_stale_ = true;
  int selected_row_ = -1;
  bool syncing_bars_ = false;

  std::thread builder_;
  std::atomic<bool> stop_build_{false};
  std::mutex built_mutex_;
  std::unique_ptr<TimelineIndex> built_;

  // Ticks of many rows at once (a tick all, the export's unticking) are
  // read again on a thread of their own rather than row by row here.
  std::thread tick_reader_;
  std::atomic<bool> stop_tick_read_{false};
  std::vector<uint64_t> read_ticks_;  // under built_mutex_
  bool ticks_stale_ = false;
  bool reading_ticks_ = false;

  QPoint press_point_;
  double press_begin_ = 0;
  bool dragging_ = false;
};

// Puts the recording list and the timeline on two tabs where the list
// stood in `layout`, with their selections tied together.
CTimelineView* AddTimelineTab(QVBoxLayout* layout, QTableView* table, RecordingModel* model,
                              const ScanParameters& params);

}  // namespace orvane::gui
