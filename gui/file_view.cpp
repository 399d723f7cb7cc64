#include "file_view.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QTableView>
#include <QTimer>
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
#include "scan/scan_parameters.h"
#include "scan/status_texts.h"
#include "scan_dialog.h"
#include "timeline_view.h"

namespace orvane::gui {

namespace {
const char* const kListEmpty = "文件列表中没有任何文件信息";
const char* const kNothingTicked = "文件列表中没有勾选任何文件";
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
  table_->horizontalHeader()->setSectionsClickable(true);
  table_->horizontalHeader()->setSortIndicatorShown(true);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  connect(table_->horizontalHeader(), &QHeaderView::sortIndicatorChanged, this,
          &CFileView::SortByColumn);
  table_->viewport()->installEventFilter(this);
  totals_ = new QLabel(this);
  totals_->setObjectName("list_totals");
  totals_->setContentsMargins(4, 2, 4, 2);
  page_bar_ = new CFilePageDialog(frame, this);
  layout->addWidget(table_, 1);
  layout->addWidget(totals_);
  layout->addWidget(page_bar_);
  timeline_ = AddTimelineTab(layout, table_, model_, frame->params());
  connect(model_, &QAbstractItemModel::modelReset, this, [this] { RefreshTotals(true); });
  // A tick all on a full page signals once per range; one count covers them.
  connect(model_, &RecordingModel::ticksChanged, this, [this] {
    if (ticks_refresh_pending_) return;
    ticks_refresh_pending_ = true;
    QTimer::singleShot(0, this, [this] { RefreshTotals(false); });
  });
  RefreshTotals(true);
  preview_ = new CPreviewWindow(frame, this);
  connect(table_, &QTableView::doubleClicked, this,
          [this](const QModelIndex& index) { PreviewRow(index.row()); });
}

void CFileView::RefreshTotals(bool rows_changed) {
  ticks_refresh_pending_ = false;
  // While a filter removes rows the model shows none and the rows are the
  // worker's.
  if (model_->row_count() == 0) {
    totals_cache_ = RowTotals{};
  } else if (rows_changed) {
    totals_cache_ = CountRows(model_->rows(), frame_->params().head.time_kind);
  }
  if (model_->row_count() > 0) CountTicks(model_->rows(), totals_cache_);
  totals_->setText(Q(RowTotalsText(totals_cache_)));
}

void CFileView::SortByColumn(int column, Qt::SortOrder order) {
  QHeaderView* header = table_->horizontalHeader();
  auto show_indicator = [&](int c, Qt::SortOrder o) {
    const QSignalBlocker quiet(header);
    header->setSortIndicator(c, o);
  };
  if (column < 0 || frame_->RefuseWhileBusy()) {
    show_indicator(sort_column_, sort_order_);
    return;
  }
  model_->Sort(column, order == Qt::DescendingOrder);
  sort_column_ = column;
  sort_order_ = order;
  show_indicator(column, order);
}

int CFileView::row_count() const { return model_->row_count(); }

void CFileView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  if (!columns_sized_ && width() > 50) {
    const int columns = model_->columnCount();
    for (int c = 0; c < columns; ++c) table_->setColumnWidth(c, width() / columns);
    columns_sized_ = true;
  }
}

void CFileView::FillRecordingList() {
  model_->Bind();
  // A new page comes in load order.
  sort_column_ = -1;
  sort_order_ = Qt::AscendingOrder;
  {
    const QSignalBlocker quiet(table_->horizontalHeader());
    table_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
  }
  // Once per load, so that the user's own widths hold until the next one.
  if (model_->row_count() > 0) table_->resizeColumnsToContents();
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
  menu.addAction(frame_->action(CmdVideoPreview)->icon(), "视频预览", this,
                 &CFileView::PreviewSelected);
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
  if (model_->TickedTotals().first == 0) {
    frame_->Warn(kNothingTicked);
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
