#include "recording_model.h"

#include <algorithm>

#include "device/format_text.h"
#include "gui_thread.h"
#include "scan/scan_parameters.h"
#include "scan/task_head.h"

namespace orvane::gui {

void TickStore::Reset(uint32_t count) {
  const size_t words = (static_cast<size_t>(count) + 63) / 64;
  words_.reset(words ? new std::atomic<uint64_t>[words] : nullptr);
  for (size_t i = 0; i < words; ++i) words_[i].store(0, std::memory_order_relaxed);
  count_ = count;
}

bool TickStore::Get(uint32_t i) const {
  if (i >= count_) return false;
  return (words_[i / 64].load(std::memory_order_relaxed) >> (i % 64)) & 1;
}

void TickStore::Set(uint32_t i, bool on) {
  if (i >= count_) return;
  const uint64_t bit = uint64_t{1} << (i % 64);
  if (on)
    words_[i / 64].fetch_or(bit, std::memory_order_relaxed);
  else
    words_[i / 64].fetch_and(~bit, std::memory_order_relaxed);
}

void TickStore::SetAll(bool on) {
  const size_t words = (static_cast<size_t>(count_) + 63) / 64;
  for (size_t i = 0; i < words; ++i) words_[i].store(on ? ~uint64_t{0} : 0);
  // Bits past the end stay clear so that counts over whole words stay true.
  if (on && count_ % 64) words_[words - 1].store((uint64_t{1} << (count_ % 64)) - 1);
}

RecordingModel::RecordingModel(const ScanParameters& params, QObject* parent)
    : QAbstractTableModel(parent), params_(params) {}

int RecordingModel::rowCount(const QModelIndex& parent) const {
  if (parent.isValid()) return 0;
  return filtered_ ? static_cast<int>(rows_.size()) : static_cast<int>(bound_);
}

int RecordingModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : 5;
}

uint32_t RecordingModel::EntryOf(int row) const {
  return filtered_ ? rows_[static_cast<size_t>(row)] : static_cast<uint32_t>(row);
}

const RecordingEntry& RecordingModel::Entry(int row) const {
  return params_.recordings[EntryOf(row)];
}

QString RecordingModel::CellText(int row, int column) const {
  if (row < 0 || row >= rowCount()) return {};
  const uint32_t entry = EntryOf(row);
  const RecordingEntry& e = params_.recordings[entry];
  switch (column) {
    case 0: return QString::number(entry);
    case 1: return QString::number(e.channel);
    case 2: return Q(FormatSize(e.size));
    case 3: return Q(FormatTimeText(params_.head.time_kind, e.start_time));
    case 4: return Q(FormatTimeText(params_.head.time_kind, e.end_time));
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
  if (o != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kCaptions[] = {"索引", "视频通道", "文件大小", "开始时间", "结束时间"};
  return section >= 0 && section < 5 ? QString::fromUtf8(kCaptions[section]) : QVariant();
}

void RecordingModel::Clear() {
  beginResetModel();
  bound_ = 0;
  filtered_ = false;
  rows_.clear();
  rows_.shrink_to_fit();
  ticks_.Reset(0);
  endResetModel();
}

void RecordingModel::Bind() {
  beginResetModel();
  const size_t n = std::min<size_t>(params_.recordings.size(), INT32_MAX);
  bound_ = static_cast<uint32_t>(n);
  filtered_ = false;
  rows_.clear();
  rows_.shrink_to_fit();
  ticks_.Reset(bound_);
  endResetModel();
}

void RecordingModel::KeepEntries(std::vector<uint32_t> entries) {
  beginResetModel();
  entries.erase(std::remove_if(entries.begin(), entries.end(),
                               [&](uint32_t e) { return e >= bound_; }),
                entries.end());
  rows_ = std::move(entries);
  rows_.shrink_to_fit();
  filtered_ = true;
  endResetModel();
}

void RecordingModel::SetTicked(int row, bool on) {
  if (row < 0 || row >= rowCount()) return;
  ticks_.Set(EntryOf(row), on);
  const QModelIndex i = index(row, 0);
  emit dataChanged(i, i, {Qt::CheckStateRole});
}

void RecordingModel::SetRangeTicked(int first, int last, bool on) {
  first = std::max(first, 0);
  last = std::min(last, rowCount() - 1);
  if (first > last) return;
  for (int r = first; r <= last; ++r) ticks_.Set(EntryOf(r), on);
  emit dataChanged(index(first, 0), index(last, 0), {Qt::CheckStateRole});
}

void RecordingModel::SetAllTicked(bool on) {
  if (rowCount() == 0) return;
  if (!filtered_)
    ticks_.SetAll(on);
  else
    for (uint32_t e : rows_) ticks_.Set(e, on);
  emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

std::pair<int64_t, int64_t> RecordingModel::TickedTotals() const {
  int64_t count = 0, bytes = 0;
  const int n = rowCount();
  for (int r = 0; r < n; ++r) {
    const uint32_t e = EntryOf(r);
    if (!ticks_.Get(e)) continue;
    ++count;
    bytes += params_.recordings[e].size;
  }
  return {count, bytes};
}

void RecordingModel::TicksChanged() {
  if (rowCount() > 0) emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

}  // namespace orvane::gui
