#pragma once
// The recording list's model over the loaded entries of the ScanParameters.
//
// A page holds up to 20,000,000 entries, so a row costs next to nothing
// here: the rows are the core's RecordingRows (a tick bit per entry, and a
// row-to-entry map only once a filter removed rows), and every cell text is
// made when the view asks for it. Entries are never copied or changed.

#include <QAbstractTableModel>

#include <cstdint>
#include <utility>

#include "recordings/recording_rows.h"

namespace orvane {
struct ScanParameters;
}

namespace orvane::gui {

class RecordingModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  explicit RecordingModel(const ScanParameters& params, QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  bool setData(const QModelIndex& index, const QVariant& value, int role) override;
  Qt::ItemFlags flags(const QModelIndex& index) const override;
  QVariant headerData(int section, Qt::Orientation o, int role) const override;

  // Drops every row. Done before the loaded list is emptied or refilled, so
  // the view never reads an entry a worker is replacing.
  void Clear();
  // Binds one row to each loaded entry, all unticked.
  void Bind();
  // Reorders the rows by a column (stable); ticks stay with their rows.
  void Sort(int column, bool descending);
  // Around a worker that removes rows (the filter): meanwhile the view
  // shows no rows, so it never reads the row map while it changes.
  void BeginRowRemoval();
  void EndRowRemoval();

  int row_count() const { return rowCount(); }
  // Position of the row's entry in the loaded list (its index text).
  uint32_t EntryOf(int row) const { return static_cast<uint32_t>(rows_.EntryIndex(row)); }
  const RecordingEntry& Entry(int row) const { return rows_.Entry(static_cast<size_t>(row)); }
  bool IsTicked(int row) const { return rows_.IsTicked(static_cast<size_t>(row)); }
  void SetTicked(int row, bool on);
  void SetRangeTicked(int first, int last, bool on);
  void SetAllTicked(bool on);
  // Count and bytes of the ticked rows.
  std::pair<int64_t, int64_t> TickedTotals() const;
  QString CellText(int row, int column) const;

  RecordingRows& rows() { return rows_; }
  // Tells the view that rows changed ticks behind its back (export worker).
  void TicksChanged();
  // The recorder clock offset of the parameters changed: the corrected-time
  // columns appear, change or go.
  void ClockOffsetChanged();

 signals:
  // Any tick changed (by the user or the export).
  void ticksChanged();

 private:
  const ScanParameters& params_;
  RecordingRows rows_;
  bool removing_ = false;
};

}  // namespace orvane::gui
