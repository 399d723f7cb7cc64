#pragma once
// The right-hand pane: the recordings of the loaded page with their check
// boxes, the list's context menu, and the page bar under it.

#include <QWidget>

#include "recordings/row_totals.h"

class QLabel;
class QTableView;

namespace orvane::gui {

class CMainFrame;
class CFilePageDialog;
class CPreviewWindow;
class RecordingModel;
class CTimelineView;

class CFileView : public QWidget {
  Q_OBJECT
 public:
  CFileView(CMainFrame* frame, QWidget* parent);

  RecordingModel* model() const { return model_; }
  QTableView* table() const { return table_; }
  CFilePageDialog* page_bar() const { return page_bar_; }
  CTimelineView* timeline() const { return timeline_; }
  int row_count() const;

  // Binds a row to every loaded entry (GUI thread, after the page loaded).
  void FillRecordingList();
  // Deletes every row; the entries stay where they are.
  void ClearList();

  // Context-menu commands.
  void TickSelected(bool on);
  void TickAll(bool on);
  void TickStatistics();
  void SaveSelected();
  void SaveTicked();
  void OpenFilter();
  // "视频预览" of the lowest selected row (the toolbar, the menus) or of a
  // row double-clicked.
  void PreviewSelected();
  void PreviewRow(int row);
  CPreviewWindow* preview_window() const { return preview_; }
  // Lowest selected row, or -1.
  int FirstSelectedRow() const;
  // A click on a column's header: sorts by it, the other way round on the
  // second click. Refused while a worker reads the rows.
  void SortByColumn(int column, Qt::SortOrder order);
  QLabel* totals_line() const { return totals_; }
  // What the totals line shows (rows, ticks, channels, first and last time).
  const RowTotals& totals() const { return totals_cache_; }
  // Brings the totals line up to date now rather than on the next turn of
  // the event loop.
  void RefreshTotals(bool rows_changed);

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowContextMenu(const QPoint& global);
  CMainFrame* frame_;
  RecordingModel* model_;
  QTableView* table_;
  CFilePageDialog* page_bar_;
  QLabel* totals_;
  RowTotals totals_cache_;
  bool ticks_refresh_pending_ = false;
  int sort_column_ = -1;
  Qt::SortOrder sort_order_ = Qt::AscendingOrder;
  CTimelineView* timeline_;
  CPreviewWindow* preview_;
  bool columns_sized_ = false;
};

}  // namespace orvane::gui
