#pragma once
// The right-hand pane: the recordings of the loaded page with their check
// boxes, the list's context menu, and the page bar under it.

#include <QWidget>

class QTableView;

namespace orvane::gui {

class CMainFrame;
class CFilePageDialog;
class CPreviewWindow;
class RecordingModel;

class CFileView : public QWidget {
  Q_OBJECT
 public:
  CFileView(CMainFrame* frame, QWidget* parent);

  RecordingModel* model() const { return model_; }
  QTableView* table() const { return table_; }
  CFilePageDialog* page_bar() const { return page_bar_; }
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

 protected:
  void resizeEvent(QResizeEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ShowContextMenu(const QPoint& global);
  CMainFrame* frame_;
  RecordingModel* model_;
  QTableView* table_;
  CFilePageDialog* page_bar_;
  CPreviewWindow* preview_;
  bool columns_sized_ = false;
};

}  // namespace orvane::gui
