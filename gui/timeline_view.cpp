#include "timeline_view.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QItemSelectionModel>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTabWidget>
#include <QTableView>
#include <QTimeZone>
#include <QVBoxLayout>
#include <QWheelEvent>
#include <algorithm>
#include <climits>
#include <cmath>

#include "recording_model.h"
#include "scan/scan_parameters.h"
#include "timeline_strip.h"

namespace orvane::gui {

namespace {
const char* const kBuilding = "正在生成时间轴...";
const QColor kLabelBackground(236, 236, 236);
const QColor kGridColour(225, 225, 225);
constexpr int kBarInset = 4;
constexpr int kTickStripHeight = 4;
}  // namespace

QColor TimelineBarColour(const RecordingEntry& entry) {
  // How a recording was found tells how far it can be trusted: the index's
  // and whole chains' in blues, the groups a deep parse put together from
  // leftovers in warm colours, carved ones in green.
  switch (entry.found_by) {
    case FoundBy::Leftover:
      return QColor(214, 140, 40);
    case FoundBy::SmallGroup:
      return QColor(190, 90, 60);
    case FoundBy::Carved:
      return QColor(70, 150, 90);
    case FoundBy::Chain:
      return QColor(60, 100, 170);
    default:
      return QColor(70, 130, 180);
  }
}

CTimelineView::CTimelineView(RecordingModel* model, QTableView* table, const ScanParameters& params,
                             QWidget* parent)
    : QAbstractScrollArea(parent), model_(model), table_(table), params_(params) {
  setObjectName("timeline_view");
  viewport()->setMouseTracking(false);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  // The rows are about to change: the index refers to them by number.
  connect(model_, &QAbstractItemModel::modelAboutToBeReset, this, [this] {
    CancelBuild();
    CancelTickRead();
    index_.reset();
    index_stale_ = true;
    ticks_stale_ = false;
    selected_row_ = -1;
    viewport()->update();
  });
  connect(model_, &QAbstractItemModel::modelReset, this, [this] {
    if (isVisible()) StartBuild();
  });
  connect(model_, &QAbstractItemModel::dataChanged, this,
          [this](const QModelIndex& tl, const QModelIndex& br, const QList<int>& roles) {
            if (roles.isEmpty() || roles.contains(Qt::CheckStateRole))
              OnTicksChanged(tl.row(), br.row());
          });
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { OnCurrentRowChanged(current.row()); });
}

CTimelineView::~CTimelineView() {
  CancelTickRead();
  CancelBuild();
}

// Building.

void CTimelineView::StartBuild() {
  CancelBuild();
  index_stale_ = false;
  const auto rows = static_cast<uint32_t>(model_->row_count());
  if (rows == 0) return;
  stop_build_.store(false);
  RecordingModel* model = model_;
  const uint8_t kind = params_.head.time_kind;
  ticks_stale_ = false;
  builder_ = std::thread([this, model, rows, kind, ticked_at = TickedAt()] {
    auto built = TimelineIndex::Build(
        rows, [model](uint32_t row) -> const RecordingEntry& { return model->Entry(row); }, kind,
        &stop_build_, ticked_at);
    if (!built) return;
    {
      std::lock_guard lock(built_mutex_);
      built_ = std::move(built);
    }
    QMetaObject::invokeMethod(this, &CTimelineView::AdoptBuilt, Qt::QueuedConnection);
  });
  viewport()->update();
}

void CTimelineView::CancelBuild() {
  // The builder reads the rows, so it has ended before they change.
  stop_build_.store(true);
  if (builder_.joinable()) builder_.join();
  std::lock_guard lock(built_mutex_);
  built_.reset();
}

void CTimelineView::BuildIndexNow() {
  CancelTickRead();
  CancelBuild();
  ticks_stale_ = false;
  index_stale_ = false;
  RecordingModel* model = model_;
  index_ = TimelineIndex::Build(
      static_cast<uint32_t>(model_->row_count()),
      [model](uint32_t row) -> const RecordingEntry& { return model->Entry(row); },
      params_.head.time_kind, nullptr, TickedAt());
  {
    std::lock_guard lock(built_mutex_);
    built_ = std::move(index_);
  }
  AdoptBuilt();
}

void CTimelineView::AdoptBuilt() {
  {
    std::lock_guard lock(built_mutex_);
    if (!built_) return;
  }
  // A read of the ticks refers to the index about to be replaced.
  CancelTickRead();
  {
    std::lock_guard lock(built_mutex_);
    index_ = std::move(built_);
  }
  if (builder_.joinable()) builder_.join();
  // Ticks changed while the builder read them.
  if (ticks_stale_) StartTickRead();
  axis_.SetExtent(index_->min_time(), index_->max_time());
  if (!index_->empty()) {
    // A month or less around the middle recording: a few recordings with
    // absurd times must not leave the view empty.
    const uint32_t middle = index_->StartAt(index_->size() / 2);
    const double span =
        std::min<double>(index_->max_time() - index_->min_time() + 60.0, TimelineAxis::kMaxSpan);
    const double begin = index_->max_time() - index_->min_time() <= span ? index_->min_time() - 30.0
                                                                         : middle - span / 2;
    axis_.Show(begin, span);
  }
  const int current = table_->currentIndex().row();
  if (current >= 0) OnCurrentRowChanged(current);
  SyncScrollBars();
  viewport()->update();
}

bool CTimelineView::WaitForIndex(int timeout_ms) {
  QElapsedTimer timer;
  timer.start();
  while (!index_ || reading_ticks_ || ticks_stale_) {
    if (timer.elapsed() > timeout_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Ticks.

TimelineTickedAt CTimelineView::TickedAt() const {
  RecordingModel* model = model_;
  return [model](uint32_t row) { return model->IsTicked(static_cast<int>(row)); };
}

void CTimelineView::OnTicksChanged(int first, int last) {
  first = std::max(first, 0);
  last = std::min(last, model_->row_count() - 1);
  // A few rows (a click on a check box) are copied at once; a read already
  // under way may have passed them, so it is followed by another.
  constexpr int kCopiedAtOnce = 4096;
  if (index_ && last - first < kCopiedAtOnce) {
    for (int r = first; r <= last; ++r)
      index_->SetTicked(static_cast<uint32_t>(r), model_->IsTicked(r));
    if (reading_ticks_) ticks_stale_ = true;
  } else {
    ticks_stale_ = true;
    if (index_ && !reading_ticks_ && isVisible()) StartTickRead();
  }
  viewport()->update();
}

void CTimelineView::StartTickRead() {
  CancelTickRead();
  if (!index_) return;
  ticks_stale_ = false;
  reading_ticks_ = true;
  stop_tick_read_.store(false);
  tick_reader_ = std::thread([this, index = index_.get(), ticked_at = TickedAt()] {
    std::vector<uint64_t> bits = index->ReadTicks(ticked_at, &stop_tick_read_);
    if (bits.empty()) return;
    {
      std::lock_guard lock(built_mutex_);
      read_ticks_ = std::move(bits);
    }
    QMetaObject::invokeMethod(this, &CTimelineView::AdoptTicks, Qt::QueuedConnection);
  });
}

void CTimelineView::CancelTickRead() {
  stop_tick_read_.store(true);
  if (tick_reader_.joinable()) tick_reader_.join();
  reading_ticks_ = false;
  std::lock_guard lock(built_mutex_);
  read_ticks_.clear();
}

void CTimelineView::AdoptTicks() {
  std::vector<uint64_t> bits;
  {
    std::lock_guard lock(built_mutex_);
    if (read_ticks_.empty()) return;
    bits.swap(read_ticks_);
  }
  if (tick_reader_.joinable()) tick_reader_.join();
  reading_ticks_ = false;
  if (index_) index_->SetTicks(std::move(bits));
  if (ticks_stale_ && isVisible()) StartTickRead();
  viewport()->update();
}

// Geometry.

int CTimelineView::VisibleChannelRows() const {
  return std::max(1, (viewport()->height() - kRulerHeight) / kRowHeight);
}

void CTimelineView::SyncScrollBars() {
  syncing_bars_ = true;
  QScrollBar* h = horizontalScrollBar();
  const double first = axis_.extent_first();
  const double length = std::min<double>(axis_.extent_last() - first, INT_MAX);
  h->setRange(0, static_cast<int>(length));
  h->setPageStep(static_cast<int>(std::min<double>(axis_.span(), INT_MAX)));
  h->setSingleStep(std::max(1, static_cast<int>(axis_.span() / 10)));
  h->setValue(static_cast<int>(std::clamp(axis_.begin() + axis_.span() / 2 - first, 0.0, length)));
  QScrollBar* v = verticalScrollBar();
  const int channels = index_ ? static_cast<int>(index_->channel_count()) : 0;
  v->setRange(0, std::max(0, channels - VisibleChannelRows()));
  v->setPageStep(VisibleChannelRows());
  syncing_bars_ = false;
}

void CTimelineView::scrollContentsBy(int dx, int) {
  if (syncing_bars_) return;
  // The horizontal bar's value is the middle of the view, in seconds after
  // the first recording.
  if (dx != 0) axis_.CentreOn(axis_.extent_first() + horizontalScrollBar()->value());
  viewport()->update();
}

void CTimelineView::ShowSpan(double begin, double span) {
  axis_.Show(begin, span);
  SyncScrollBars();
  viewport()->update();
}

void CTimelineView::ZoomAtViewport(int x, int wheel_delta) {
  axis_.ZoomAt(x - kLabelWidth, std::pow(0.8, wheel_delta / 120.0));
  SyncScrollBars();
  viewport()->update();
}

int CTimelineView::RowAtPoint(const QPoint& point) const {
  if (!index_ || point.x() < kLabelWidth || point.y() < kRulerHeight) return -1;
  const size_t c =
      static_cast<size_t>((point.y() - kRulerHeight) / kRowHeight + verticalScrollBar()->value());
  const auto hit = TimelineHit(*index_, c, axis_, point.x() - kLabelWidth);
  return hit ? static_cast<int>(*hit) : -1;
}

QPoint CTimelineView::RevealRow(int row) {
  if (!index_ || row < 0 || index_->PositionOfRow(static_cast<uint32_t>(row)) == SIZE_MAX)
    return {-1, -1};
  const RecordingEntry& e = index_->EntryOfRow(static_cast<uint32_t>(row));
  const int c = index_->ChannelIndexOf(e.channel);
  uint32_t start = 0, end = 0;
  TimelineSeconds(e, params_.head.time_kind, start, end);
  if (end < axis_.begin() || start > axis_.end())
    axis_.CentreOn(end - start <= axis_.span() ? (start + end) / 2.0 : start);
  QScrollBar* v = verticalScrollBar();
  if (c < v->value() || c >= v->value() + VisibleChannelRows())
    v->setValue(std::max(0, c - VisibleChannelRows() / 2));
  SyncScrollBars();
  viewport()->update();
  const auto [x0, x1] = TimelineBarColumns(axis_, start, end);
  const int x =
      std::clamp((std::max(x0, 0) + std::min(x1, axis_.width())) / 2, 0, axis_.width() - 1);
  return {kLabelWidth + x, kRulerHeight + (c - v->value()) * kRowHeight + kRowHeight / 2};
}

// Selection.

void CTimelineView::OnCurrentRowChanged(int row) {
  selected_row_ = row;
  if (row >= 0) RevealRow(row);
  viewport()->update();
}

void CTimelineView::SelectRow(int row) {
  if (row < 0 || row >= model_->row_count()) return;
  const QModelIndex i = model_->index(row, 0);
  table_->selectionModel()->setCurrentIndex(
      i, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(i, QAbstractItemView::PositionAtCenter);
  selected_row_ = row;
  viewport()->update();
}

// Events.

void CTimelineView::showEvent(QShowEvent* event) {
  QAbstractScrollArea::showEvent(event);
  if (index_stale_)
    StartBuild();
  else if (ticks_stale_ && !reading_ticks_)
    StartTickRead();
}

void CTimelineView::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  axis_.SetWidth(viewport()->width() - kLabelWidth);
  SyncScrollBars();
}

void CTimelineView::wheelEvent(QWheelEvent* event) {
  ZoomAtViewport(static_cast<int>(event->position().x()), event->angleDelta().y());
  event->accept();
}

void CTimelineView::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  press_point_ = event->position().toPoint();
  press_begin_ = axis_.begin();
  dragging_ = false;
}

void CTimelineView::mouseMoveEvent(QMouseEvent* event) {
  if (!(event->buttons() & Qt::LeftButton)) return;
  const int dx = event->position().toPoint().x() - press_point_.x();
  if (!dragging_ && std::abs(dx) < 4) return;
  dragging_ = true;
  axis_.Show(press_begin_ - dx * axis_.SecondsPerPixel(), axis_.span());
  SyncScrollBars();
  viewport()->update();
}

void CTimelineView::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  if (!dragging_) SelectRow(RowAtPoint(event->position().toPoint()));
  dragging_ = false;
}

void CTimelineView::mouseDoubleClickEvent(QMouseEvent* event) {
  const int row = RowAtPoint(event->position().toPoint());
  if (row >= 0) emit rowActivated(row);
}

// Painting.

void CTimelineView::paintEvent(QPaintEvent*) {
  QPainter p(viewport());
  Paint(p, viewport()->size());
}

void CTimelineView::Paint(QPainter& p, const QSize& size) {
  if (axis_.width() != size.width() - kLabelWidth) axis_.SetWidth(size.width() - kLabelWidth);
  p.fillRect(QRect(QPoint(0, 0), size), Qt::white);
  p.fillRect(0, 0, kLabelWidth, size.height(), kLabelBackground);
  if (!index_) {
    if (model_->row_count() > 0) p.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, kBuilding);
    return;
  }
  PaintRuler(p, size);
  PaintRows(p, size);
}

void CTimelineView::PaintRuler(QPainter& p, const QSize& size) {
  const double step = axis_.RulerStep(110);
  const QString format = step >= 86400 ? "yyyy-MM-dd" : (step >= 60 ? "MM-dd HH:mm" : "HH:mm:ss");
  p.setPen(kGridColour);
  p.drawLine(kLabelWidth, kRulerHeight - 1, size.width(), kRulerHeight - 1);
  for (double t = std::ceil(axis_.begin() / step) * step; t < axis_.end(); t += step) {
    const int x = kLabelWidth + static_cast<int>(std::lround(axis_.XOf(t)));
    p.setPen(kGridColour);
    p.drawLine(x, kRulerHeight - 6, x, size.height());
    p.setPen(Qt::black);
    const QDateTime when = QDateTime::fromSecsSinceEpoch(static_cast<qint64>(t), QTimeZone::utc());
    p.drawText(x + 3, 2, 200, kRulerHeight - 4, Qt::AlignLeft | Qt::AlignVCenter,
               when.toString(format));
  }
}

void CTimelineView::PaintRows(QPainter& p, const QSize& size) {
  const int first = verticalScrollBar()->value();
  const size_t channels = index_->channel_count();
  const int bar_height = kRowHeight - 2 * kBarInset;
  const int selected = selected_row_;
  for (size_t c = static_cast<size_t>(first); c < channels; ++c) {
    const int y = kRulerHeight + static_cast<int>(c - static_cast<size_t>(first)) * kRowHeight;
    if (y >= size.height()) break;
    p.setPen(Qt::black);
    p.drawText(4, y, kLabelWidth - 8, kRowHeight, Qt::AlignLeft | Qt::AlignVCenter,
               QString("通道 %1").arg(index_->channel(c)));
    p.setPen(kGridColour);
    p.drawLine(kLabelWidth, y + kRowHeight - 1, size.width(), y + kRowHeight - 1);
    p.setClipRect(kLabelWidth, y, size.width() - kLabelWidth, kRowHeight);
    for (const TimelineSegment& s : TimelineStrip(*index_, c, axis_)) {
      const QRect bar(kLabelWidth + s.x0, y + kBarInset, s.x1 - s.x0, bar_height);
      const QColor colour = TimelineBarColour(index_->EntryOfRow(s.row));
      p.fillRect(bar, colour);
      // Neighbouring bars of their own stay apart.
      if (s.single && bar.width() >= 3)
        p.fillRect(bar.right(), bar.top(), 1, bar.height(), colour.darker(150));
      if (s.ticked)
        p.fillRect(bar.left(), bar.top(), bar.width(), kTickStripHeight, kTimelineTickColour);
    }
    if (selected >= 0 &&
        static_cast<int>(c) ==
            index_->ChannelIndexOf(index_->EntryOfRow(static_cast<uint32_t>(selected)).channel) &&
        index_->PositionOfRow(static_cast<uint32_t>(selected)) != SIZE_MAX) {
      uint32_t start = 0, end = 0;
      TimelineSeconds(index_->EntryOfRow(static_cast<uint32_t>(selected)), params_.head.time_kind,
                      start, end);
      const auto [x0, x1] = TimelineBarColumns(axis_, start, end);
      p.setPen(QPen(kTimelineSelectionColour, 2));
      p.setBrush(Qt::NoBrush);
      p.drawRect(QRect(kLabelWidth + x0, y + 2, x1 - x0, kRowHeight - 4));
    }
    p.setClipping(false);
  }
}

CTimelineView* AddTimelineTab(QVBoxLayout* layout, QTableView* table, RecordingModel* model,
                              const ScanParameters& params) {
  auto* tabs = new QTabWidget(table->parentWidget());
  tabs->setObjectName("list_tabs");
  tabs->setDocumentMode(true);
  delete layout->replaceWidget(table, tabs);
  tabs->addTab(table, "文件列表");
  auto* timeline = new CTimelineView(model, table, params, tabs);
  tabs->addTab(timeline, "时间轴");
  // Children are deleted in the order they were adopted: the model, which
  // the timeline's threads read, now goes after the timeline.
  QObject* owner = model->parent();
  model->setParent(nullptr);
  model->setParent(owner);
  // A double click on a bar goes to its row in the list.
  QObject::connect(timeline, &CTimelineView::rowActivated, tabs,
                   [tabs, table] { tabs->setCurrentWidget(table); });
  return timeline;
}

}  // namespace orvane::gui
