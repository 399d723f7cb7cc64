#include "file_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QProgressBar>
#include <QTableView>
#include <QVBoxLayout>

#include "export_dialog.h"
#include "filter_dialog.h"
#include "gui_thread.h"
#include "main_frame.h"
#include "page_bar.h"
#include "preview_window.h"
#include "recording_model.h"
#include "recordings/row_text.h"
#include "scan/parse_job.h"
#include "scan/status_texts.h"
#include "scan_dialog.h"

namespace orvane::gui {

namespace {
const char* const kListEmpty = "文件列表中没有任何文件信息";
}

CFileView::CFileView(CMainFrame* frame, QWidget* parent) : QWidget(parent), frame_(frame) {
  setObjectName("file_view");
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  model_ = new RecordingModel(frame->params(), this);
  table_ = new QTableView(this);
  table_->setObjectName("recording_table");
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setShowGrid(true);
  table_->setWordWrap(false);
  table_->setSortingEnabled(false);
  table_->verticalHeader()->setVisible(false);
  // Fixed row heights keep a page of millions of rows cheap to lay out.
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
  table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
  table_->horizontalHeader()->setStretchLastSection(true);
  table_->viewport()->installEventFilter(this);
  page_bar_ = new CFilePageDialog(frame, this);
  layout->addWidget(table_, 1);
  layout->addWidget(page_bar_);
  preview_ = new CPreviewWindow(frame, this);
  connect(table_, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { PreviewRow(index.row()); });
}

int CFileView::row_count() const { return model_->row_count(); }

void CFileView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!columns_sized_ && width() > 50) {
    for (int c = 0; c < 5; ++c) table_->setColumnWidth(c, width() / 5);
    columns_sized_ = true;
  }
}

void CFileView::FillRecordingList() {
  model_->Bind();
  const int n = model_->row_count();
  if (frame_->flags().job_kind.load() == JobParse) {
    QProgressBar* bar = frame_->scan_dialog()->progress();
    bar->setRange(0, n / 500);
    bar->setValue(n / 500);
  }
  page_bar_->SetStatus(Q(kMsgTaskLoaded));
}

void CFileView::ClearList() { model_->Clear(); }

bool CFileView::eventFilter(QObject* watched, QEvent* event) {
  if (watched == table_->viewport() && event->type() == QEvent::ContextMenu) {
    auto* e = static_cast<QContextMenuEvent*>(event);
    // Only a row offers the menu.
    if (table_->indexAt(e->pos()).isValid()) ShowContextMenu(e->globalPos());
    return true;
  }
  return QWidget::eventFilter(watched, event);
}

void CFileView::ShowContextMenu(const QPoint& global) {
  QMenu menu(this);
  menu.addAction("单项保存", this, &CFileView::SaveSelected);
  menu.addAction("多项保存", this, &CFileView::SaveTicked);
  menu.addAction("视频预览", this, &CFileView::PreviewSelected);
  menu.addAction("勾选统计", this, &CFileView::TickStatistics);
  menu.addAction("HEX查看")->setEnabled(false);
  menu.addSeparator();
  menu.addAction("选择打勾", this, [this] { TickSelected(true); });
  menu.addAction("选择取消", this, [this] { TickSelected(false); });
  menu.addAction("全部选择", this, [this] { TickAll(true); });
  menu.addAction("全部取消", this, [this] { TickAll(false); });
  menu.exec(global);
}

void CFileView::TickSelected(bool on) {
  // Walks the selection as ranges: selecting a whole page of millions of
  // rows must not build one index object per row.
  const QItemSelection selection = table_->selectionModel()->selection();
  for (const QItemSelectionRange& range : selection)
    model_->SetRangeTicked(range.top(), range.bottom(), on);
}

void CFileView::TickAll(bool on) { model_->SetAllTicked(on); }

void CFileView::TickStatistics() {
  const auto [count, bytes] = model_->TickedTotals();
  frame_->Info(Q(TickedStatisticsText(count, bytes)));
}

int CFileView::FirstSelectedRow() const {
  int first = -1;
  for (const QItemSelectionRange& range : table_->selectionModel()->selection())
    if (first < 0 || range.top() < first) first = range.top();
  return first;
}

void CFileView::SaveSelected() {
  const int row = FirstSelectedRow();
  if (row < 0) {
    frame_->Warn(kListEmpty);
    return;
  }
  frame_->export_dialog()->OpenFor(ExportMode::Single, row);
}

void CFileView::SaveTicked() {
  if (row_count() == 0) {
    frame_->Warn(kListEmpty);
    return;
  }
  frame_->export_dialog()->OpenFor(ExportMode::Ticked, -1);
}

void CFileView::PreviewSelected() {
  const int row = FirstSelectedRow();
  if (row < 0) {
    frame_->Warn(kListEmpty);
    return;
  }
  PreviewRow(row);
}

void CFileView::PreviewRow(int row) { preview_->OpenFor(row); }

void CFileView::OpenFilter() {
  if (row_count() == 0) {
    frame_->Warn(kListEmpty);
    return;
  }
  frame_->filter_dialog()->Open();
}

}  // namespace orvane::gui
