#include "recording_model.h"

#include <algorithm>
#include <climits>

#include "gui_thread.h"
#include "recordings/row_sort.h"
#include "recordings/clock_offset.h"
#include "recordings/row_text.h"
#include "scan/scan_parameters.h"

namespace orvane::gui {

RecordingModel::RecordingModel(const ScanParameters& params, QObject* parent)
    : QAbstractTableModel(parent), params_(params) {}

int RecordingModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid() || removing_) return 0;
  return static_cast<int>(std::min<size_t>(rows_.size(), INT_MAX));
}

int RecordingModel::columnCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return params_.clock_offset != 0 ? 8 : 6;
}

void RecordingModel::ClockOffsetChanged() {
  beginResetModel();
  endResetModel();
}

QString RecordingModel::CellText(int row, int column) const {
  if (row < 0 || row >= rowCount()) return {};
  const RowTexts t = MakeRowTexts(Entry(row), EntryOf(row), params_.head.time_kind);
  switch (column) {
    case 0: return Q(t.index);
    case 1: return Q(t.channel);
    case 2: return Q(t.size);
    case 3: return Q(t.start);
    case 4: return Q(t.end);
    case ColumnFragments:
      return QString::number(Entry(row).fragments.size());
    // Beside the recorder's times, which stay as the recorder listed them.
    case 6:
      return Q(
          CorrectedTimeText(params_.head.time_kind, Entry(row).start_time, params_.clock_offset));
    case 7:
      return Q(
          CorrectedTimeText(params_.head.time_kind, Entry(row).end_time, params_.clock_offset));
    default: return {};
  }
}

QVariant RecordingModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole) return CellText(index.row(), index.column());
  if (role == Qt::CheckStateRole && index.column() == 0)
    return IsTicked(index.row()) ? Qt::Checked : Qt::Unchecked;
  return {};
}

bool RecordingModel::setData(const QModelIndex& index, const QVariant& value, int role) {
  if (role != Qt::CheckStateRole || index.column() != 0 || index.row() >= rowCount())
    return false;
  SetTicked(index.row(), value.toInt() == Qt::Checked);
  return true;
}

Qt::ItemFlags RecordingModel::flags(const QModelIndex& index) const {
  Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
  if (index.column() == 0) f |= Qt::ItemIsUserCheckable;
  return f;
}

QVariant RecordingModel::headerData(int section, Qt::Orientation o, int role) const {
  if (o != Qt::Horizontal || role != Qt::DisplayRole || section < 0 || section >= columnCount())
    return {};
  if (section == 6) return QString::fromUtf8(kCorrectedStartCaption);
  if (section == 7) return QString::fromUtf8(kCorrectedEndCaption);
  if (section == ColumnFragments) return QStringLiteral("片段");
  return QString::fromUtf8(kRowColumnCaptions[section]);
}

void RecordingModel::Clear() {
  beginResetModel();
  rows_.Clear();
  endResetModel();
}

void RecordingModel::Bind() {
  beginResetModel();
  rows_.Bind(&params_.recordings);
  endResetModel();
}

void RecordingModel::Sort(int column, bool descending) {
  beginResetModel();
  SortRows(rows_, column, descending, params_.head.time_kind);
  endResetModel();
}

void RecordingModel::BeginRowRemoval() {
  beginResetModel();
  removing_ = true;
  endResetModel();
}

void RecordingModel::EndRowRemoval() {
  beginResetModel();
  removing_ = false;
  endResetModel();
}

void RecordingModel::SetTicked(int row, bool on) {
  if (row < 0 || row >= rowCount()) return;
  rows_.SetTicked(static_cast<size_t>(row), on);
  const QModelIndex i = index(row, 0);
  emit dataChanged(i, i, {Qt::CheckStateRole});
  emit ticksChanged();
}

void RecordingModel::SetRangeTicked(int first, int last, bool on) {
  first = std::max(first, 0);
  last = std::min(last, rowCount() - 1);
  if (first > last) return;
  for (int r = first; r <= last; ++r) rows_.SetTicked(static_cast<size_t>(r), on);
  emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
  emit ticksChanged();
}

void RecordingModel::SetAllTicked(bool on) {
  if (rowCount() == 0) return;
  rows_.SetAllTicked(on);
  emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  emit ticksChanged();
}

std::pair<int64_t, int64_t> RecordingModel::TickedTotals() const {
  return {static_cast<int64_t>(rows_.TickedCount()), rows_.TickedSize()};
}

void RecordingModel::TicksChanged() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
  emit ticksChanged();
}

}  // namespace orvane::gui
