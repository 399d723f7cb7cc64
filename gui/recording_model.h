#pragma once
// The recording list's model over the loaded entries of the ScanParameters.
//
// A page holds up to 20,000,000 entries, so a row costs a few bytes here: no
// text is kept (cells are formatted when the view asks), ticks are one bit
// per entry, and a filter keeps only the positions of the remaining entries.
// Entries themselves are never copied or changed.

#include <QAbstractTableModel>

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace orvane {
struct ScanParameters;
struct RecordingEntry;
}  // namespace orvane

namespace orvane::gui {

// One bit per entry. The export worker unticks entries while the GUI thread
// paints them, so every word is atomic.
class TickStore {
 public:
  void Reset(uint32_t count);
  bool Get(uint32_t i) const;
  void Set(uint32_t i, bool on);
  void SetAll(bool on);
  uint32_t size() const { return count_; }

 private:
  std::unique_ptr<std::atomic<uint64_t>[]> words_;
  uint32_t count_ = 0;
};

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
  // Keeps only the rows whose entry positions are listed (ascending).
  void KeepEntries(std::vector<uint32_t> entries);

  int row_count() const { return rowCount(); }
  // Position of the row's entry in the loaded list (its index text).
  uint32_t EntryOf(int row) const;
  const RecordingEntry& Entry(int row) const;
  bool IsTicked(int row) const { return ticks_.Get(EntryOf(row)); }
  void SetTicked(int row, bool on);
  void SetRangeTicked(int first, int last, bool on);
  void SetAllTicked(bool on);
  // Count and bytes of the ticked rows.
  std::pair<int64_t, int64_t> TickedTotals() const;
  QString CellText(int row, int column) const;

  TickStore& ticks() { return ticks_; }
  // Tells the view that rows changed ticks behind its back (export worker).
  void TicksChanged();

 private:
  const ScanParameters& params_;
  uint32_t bound_ = 0;              // entries bound
  bool filtered_ = false;
  std::vector<uint32_t> rows_;      // entry of each row while filtered
  TickStore ticks_;
};

}  // namespace orvane::gui
