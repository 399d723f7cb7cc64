#pragma once
// A hex editor over a private copy of some bytes: address, hex and text
// columns, a caret in the hex or the text column, selection by mouse or
// Shift, and the clipboard. Nothing it does ever reaches the device the
// bytes came from: every edit changes only its own buffer.

#include <QAbstractScrollArea>
#include <QByteArray>
#include <QColor>
#include <QFont>

namespace orvane::gui {

// Inserting never grows the buffer beyond this, so that repeated
// select-all + insert cannot exhaust memory or overflow the offsets.
inline constexpr int kHexEditMaxBytes = 16 * 1024 * 1024;

// Registered clipboard format holding the raw selected bytes.
inline const char* const kBinaryDataFormat = "BinaryData";

class CHexEdit : public QAbstractScrollArea {
  Q_OBJECT
 public:
  enum CaretColumn : int { kAddressColumn = 0, kTextColumn = 1, kHighDigit = 2, kLowDigit = 3 };

  explicit CHexEdit(QWidget* parent = nullptr);

  // Replaces the bytes shown; caret, view and selection go back to the start.
  void SetData(const QByteArray& bytes);
  const QByteArray& data() const { return data_; }
  int length() const { return static_cast<int>(data_.size()); }

  void SetBytesPerRow(int n);
  int bytes_per_row() const { return bytes_per_row_; }
  void SetShowAddress(bool on);
  void SetShowHex(bool on);
  void SetShowText(bool on);
  void SetWideAddress(bool on);

  int top() const { return top_; }
  int cursor() const { return cursor_; }
  int caret_column() const { return caret_column_; }
  void SetCaret(int offset, int column);
  QPoint caret_position() const { return QPoint(caret_x_, caret_y_); }
  // Half-open byte range [start, end); both -1 when nothing is selected.
  int selection_start() const { return sel_start_; }
  int selection_end() const { return sel_end_; }
  bool has_selection() const { return sel_start_ >= 0 && sel_end_ > sel_start_; }
  void SetSelection(int start, int end);
  int rows_per_page();

  // Geometry of the columns in pixels, for placing mouse events.
  int char_width();
  int line_height();
  int hex_x();
  int text_x();

  // Background of the address cell of the row that starts at `offset`:
  // red where a sector begins (every non-zero multiple of 512), else the
  // window colour. Paint uses exactly this.
  QColor AddressCellColor(int offset) const;
  // The device offset of the first byte: the address column and the sector
  // marks count from it.
  void SetAddressBase(int64_t base);
  int64_t address_base() const { return address_base_; }

  // Wide enough for every column of a row and the scroll bar.
  QSize sizeHint() const override;

  void SelectAll();
  void Copy();
  void Cut();
  void Paste();
  void DeleteSelection();
  // Inserts `count` zero bytes at the caret; refused (false) when the
  // buffer would outgrow kHexEditMaxBytes.
  bool InsertBytes(int count);

 protected:
  bool event(QEvent* e) override;
  void paintEvent(QPaintEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  struct Hit {
    bool inside = false;
    int offset = 0;
    int column = kHighDigit;
  };
  void EnsureLayout();
  void MarkDirty();
  void UpdateScrollBar();
  Hit HitTest(QPoint p);
  void PlaceCaret();
  // Scrolls so that the caret's row is visible.
  void KeepCaretVisible();
  void SetTop(int top);
  void ScrollRows(int rows);
  bool MoveCaret(int key, bool ctrl);
  // False when the character means nothing in the caret's column.
  bool TypeChar(QChar c);
  void ReplaceRange(int at, int remove, const QByteArray& insert);
  void ClampCaret();
  QString SelectionText() const;

  QByteArray data_;
  int top_ = 0;
  int cursor_ = 0;
  int caret_column_ = kHighDigit;
  int sel_start_ = -1;
  int sel_end_ = -1;
  int anchor_ = -1;  // fixed end of a mouse or Shift selection
  bool dragging_ = false;
  int bytes_per_row_ = 8;
  int rows_per_page_ = 1;
  bool show_address_ = true;
  bool show_hex_ = true;
  bool show_text_ = true;
  bool wide_address_ = true;
  int64_t address_base_ = 0;
  // Digits of an address: 8 (wide) or 4, 12 past the first 4 GiB.
  int AddressDigits() const;
  int char_width_ = 0;
  int line_height_ = 0;
  int address_width_ = 0;
  int hex_x_ = 0;
  int text_x_ = 0;
  int caret_x_ = 0;
  int caret_y_ = 0;
  bool layout_dirty_ = true;
  bool syncing_scroll_ = false;
  QFont font_;
};

}  // namespace orvane::gui
