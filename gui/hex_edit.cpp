#include "hex_edit.h"

#include <QClipboard>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QWheelEvent>

#include <algorithm>

namespace orvane::gui {

namespace {

constexpr int kSectorBytes = 512;
const QColor kSectorStartColor(255, 0, 0);

bool Printable(uint8_t b) { return b >= 0x20 && b < 0x7F; }

const char kHexDigits[] = "0123456789ABCDEF";

}  // namespace

CHexEdit::CHexEdit(QWidget* parent) : QAbstractScrollArea(parent) {
  font_.setFamilies({"Courier New", "Liberation Mono", "DejaVu Sans Mono"});
  font_.setStyleHint(QFont::TypeWriter);
  font_.setFixedPitch(true);
  font_.setPixelSize(17);
  setFocusPolicy(Qt::StrongFocus);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  viewport()->setCursor(Qt::IBeamCursor);
  verticalScrollBar()->setSingleStep(1);
}

void CHexEdit::SetData(const QByteArray& bytes) {
  data_ = bytes;
  top_ = 0;
  cursor_ = 0;
  caret_column_ = kHighDigit;
  sel_start_ = sel_end_ = anchor_ = -1;
  dragging_ = false;
  MarkDirty();
}

void CHexEdit::SetBytesPerRow(int n) {
  bytes_per_row_ = std::max(1, n);
  top_ -= top_ % bytes_per_row_;
  MarkDirty();
}

void CHexEdit::SetShowAddress(bool on) {
  show_address_ = on;
  MarkDirty();
}
void CHexEdit::SetShowHex(bool on) {
  show_hex_ = on;
  MarkDirty();
}
void CHexEdit::SetShowText(bool on) {
  show_text_ = on;
  MarkDirty();
}
void CHexEdit::SetWideAddress(bool on) {
  wide_address_ = on;
  MarkDirty();
}

void CHexEdit::SetCaret(int offset, int column) {
  cursor_ = offset;
  caret_column_ = column;
  ClampCaret();
  KeepCaretVisible();
  viewport()->update();
}

void CHexEdit::SetSelection(int start, int end) {
  start = std::clamp(start, 0, length());
  end = std::clamp(end, 0, length());
  if (end <= start) {
    sel_start_ = sel_end_ = -1;
  } else {
    sel_start_ = start;
    sel_end_ = end;
  }
  viewport()->update();
}

int CHexEdit::rows_per_page() {
  EnsureLayout();
  return rows_per_page_;
}
int CHexEdit::char_width() {
  EnsureLayout();
  return char_width_;
}
int CHexEdit::line_height() {
  EnsureLayout();
  return line_height_;
}
int CHexEdit::hex_x() {
  EnsureLayout();
  return hex_x_;
}
int CHexEdit::text_x() {
  EnsureLayout();
  return text_x_;
}

void CHexEdit::SetAddressBase(int64_t base) {
  address_base_ = std::max<int64_t>(0, base);
  MarkDirty();
}

int CHexEdit::AddressDigits() const {
  if (!wide_address_) return 4;
  return address_base_ + length() > 0xFFFFFFFFLL ? 12 : 8;
}

QColor CHexEdit::AddressCellColor(int offset) const {
  const int64_t at = address_base_ + offset;
  if (at > 0 && at % kSectorBytes == 0) return kSectorStartColor;
  return QColor(Qt::white);
}

QSize CHexEdit::sizeHint() const {
  const QFontMetrics fm(font_);
  const int cw = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
  const int chars = (show_address_ ? AddressDigits() + 1 : 0) +
                    (show_hex_ ? 3 * bytes_per_row_ : 0) + (show_text_ ? bytes_per_row_ : 0) + 1;
  const int width = chars * cw + verticalScrollBar()->sizeHint().width() + 2 * frameWidth();
  return QSize(width, 32 * std::max(1, fm.height()) + 2 * frameWidth());
}

void CHexEdit::MarkDirty() {
  layout_dirty_ = true;
  viewport()->update();
}

void CHexEdit::EnsureLayout() {
  if (!layout_dirty_) return;
  layout_dirty_ = false;
  const QFontMetrics fm(font_);
  char_width_ = std::max(1, fm.horizontalAdvance(QLatin1Char('0')));
  line_height_ = std::max(1, fm.height());
  address_width_ = show_address_ ? (AddressDigits() + 1) * char_width_ : 0;
  hex_x_ = address_width_;
  text_x_ = hex_x_ + (show_hex_ ? bytes_per_row_ * 3 * char_width_ : 0);
  const int total_rows = (length() + bytes_per_row_ - 1) / bytes_per_row_;
  int rows = viewport()->height() / line_height_;
  if (total_rows < rows) rows = total_rows;
  // Never zero: a page move must always make progress.
  rows_per_page_ = std::max(1, rows);
  // Insertions and deletions may have left the view past the new end.
  SetTop(top_);
  UpdateScrollBar();
  PlaceCaret();
}

void CHexEdit::UpdateScrollBar() {
  const int total_rows = (length() + bytes_per_row_ - 1) / bytes_per_row_;
  const int max_row = std::max(0, total_rows - rows_per_page_);
  QScrollBar* bar = verticalScrollBar();
  syncing_scroll_ = true;
  bar->setRange(0, max_row);
  bar->setPageStep(rows_per_page_);
  bar->setValue(top_ / bytes_per_row_);
  bar->setEnabled(max_row > 0);
  syncing_scroll_ = false;
}

void CHexEdit::scrollContentsBy(int /*dx*/, int /*dy*/) {
  if (syncing_scroll_) return;
  top_ = verticalScrollBar()->value() * bytes_per_row_;
  PlaceCaret();
  viewport()->update();
}

void CHexEdit::SetTop(int top) {
  const int total_rows = (length() + bytes_per_row_ - 1) / bytes_per_row_;
  const int max_top = std::max(0, total_rows - rows_per_page_) * bytes_per_row_;
  top = std::clamp(top, 0, max_top);
  top -= top % bytes_per_row_;
  if (top == top_ && verticalScrollBar()->value() == top_ / bytes_per_row_) return;
  top_ = top;
  syncing_scroll_ = true;
  verticalScrollBar()->setValue(top_ / bytes_per_row_);
  syncing_scroll_ = false;
  PlaceCaret();
  viewport()->update();
}

void CHexEdit::ScrollRows(int rows) {
  EnsureLayout();
  SetTop(top_ + rows * bytes_per_row_);
}

void CHexEdit::PlaceCaret() {
  const int row = cursor_ / bytes_per_row_ - top_ / bytes_per_row_;
  const int in_row = cursor_ % bytes_per_row_;
  caret_y_ = row * line_height_;
  switch (caret_column_) {
    case kAddressColumn: caret_x_ = 0; break;
    case kTextColumn: caret_x_ = text_x_ + in_row * char_width_; break;
    case kHighDigit: caret_x_ = hex_x_ + in_row * 3 * char_width_; break;
    default: caret_x_ = hex_x_ + (in_row * 3 + 1) * char_width_; break;
  }
}

void CHexEdit::KeepCaretVisible() {
  EnsureLayout();
  const int page = rows_per_page_ * bytes_per_row_;
  const int row_start = cursor_ - cursor_ % bytes_per_row_;
  if (cursor_ < top_)
    SetTop(row_start);
  else if (cursor_ >= top_ + page)
    SetTop(row_start - page + bytes_per_row_);
  PlaceCaret();
}

void CHexEdit::ClampCaret() {
  cursor_ = length() == 0 ? 0 : std::clamp(cursor_, 0, length() - 1);
  PlaceCaret();
}

CHexEdit::Hit CHexEdit::HitTest(QPoint p) {
  EnsureLayout();
  Hit hit;
  if (p.y() < 0 || p.x() < 0 || length() == 0) return hit;
  const int row = p.y() / line_height_;
  const int row_start = top_ + row * bytes_per_row_;
  if (row >= rows_per_page_ || row_start >= length()) return hit;
  int in_row = 0;
  if (show_address_ && p.x() < address_width_) {
    hit.column = kAddressColumn;
  } else if (show_hex_ && p.x() >= hex_x_ && p.x() < text_x_) {
    const int cell = 3 * char_width_;
    in_row = (p.x() - hex_x_) / cell;
    hit.column = (p.x() - hex_x_) % cell < char_width_ ? kHighDigit : kLowDigit;
  } else if (show_text_ && p.x() >= text_x_ && p.x() < text_x_ + bytes_per_row_ * char_width_) {
    in_row = (p.x() - text_x_) / char_width_;
    hit.column = kTextColumn;
  } else {
    return hit;
  }
  hit.inside = true;
  // A click behind the end of a short last row lands on the last byte.
  hit.offset = std::min(row_start + in_row, length() - 1);
  return hit;
}

bool CHexEdit::event(QEvent* e) {
  if (e->type() == QEvent::KeyPress) {
    auto* k = static_cast<QKeyEvent*>(e);
    // Tab belongs to the editor: it switches between the hex and the text
    // column instead of moving the focus.
    if (k->key() == Qt::Key_Tab || k->key() == Qt::Key_Backtab) {
      keyPressEvent(k);
      return true;
    }
  } else if (e->type() == QEvent::ShortcutOverride) {
    auto* k = static_cast<QKeyEvent*>(e);
    if (k->modifiers() & Qt::ControlModifier) {
      switch (k->key()) {
        case Qt::Key_A: case Qt::Key_C: case Qt::Key_V: case Qt::Key_X: case Qt::Key_Z:
          e->accept();
          return true;
        default: break;
      }
    }
  }
  return QAbstractScrollArea::event(e);
}

bool CHexEdit::MoveCaret(int key, bool ctrl) {
  const int len = length();
  int c = cursor_;
  int col = caret_column_;
  const bool hex = col == kHighDigit || col == kLowDigit;
  switch (key) {
    case Qt::Key_Left:
      if (col == kLowDigit) {
        col = kHighDigit;
      } else {
        --c;
        if (hex) col = kLowDigit;
      }
      break;
    case Qt::Key_Right:
      if (col == kHighDigit) {
        col = kLowDigit;
      } else {
        ++c;
        if (hex) col = kHighDigit;
      }
      break;
    case Qt::Key_Up: c -= bytes_per_row_; break;
    case Qt::Key_Down: c += bytes_per_row_; break;
    case Qt::Key_Home:
      c = ctrl ? 0 : c - c % bytes_per_row_;
      if (hex) col = kHighDigit;
      break;
    case Qt::Key_End:
      c = ctrl ? len - 1 : std::min(c - c % bytes_per_row_ + bytes_per_row_ - 1, len - 1);
      if (hex) col = kHighDigit;
      break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown: {
      EnsureLayout();
      const int before = top_;
      const int page = rows_per_page_ * bytes_per_row_;
      SetTop(top_ + (key == Qt::Key_PageDown ? page : -page));
      // The caret rides along so that it stays on the same screen row.
      c += top_ - before;
      c = len == 0 ? 0 : std::clamp(c, 0, len - 1);
      break;
    }
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
      col = col == kTextColumn ? kHighDigit : kTextColumn;
      break;
    default: return false;
  }
  // A move past either end is undone.
  if (c < 0 || c >= len) return true;
  cursor_ = c;
  caret_column_ = col;
  KeepCaretVisible();
  return true;
}

void CHexEdit::keyPressEvent(QKeyEvent* e) {
  const bool ctrl = e->modifiers() & Qt::ControlModifier;
  const bool shift = e->modifiers() & Qt::ShiftModifier;
  const int key = e->key();
  e->accept();

  if (ctrl) {
    switch (key) {
      case Qt::Key_A: SelectAll(); return;
      case Qt::Key_C: Copy(); return;
      case Qt::Key_X: Cut(); return;
      case Qt::Key_V: Paste(); return;
      case Qt::Key_Z: return;  // there is no undo
      default: break;
    }
  }

  switch (key) {
    case Qt::Key_Insert:
      InsertBytes(has_selection() ? sel_end_ - sel_start_ : 1);
      return;
    case Qt::Key_Delete:
      if (has_selection()) {
        DeleteSelection();
      } else if (cursor_ < length()) {
        ReplaceRange(cursor_, 1, {});
      }
      return;
    case Qt::Key_Backspace:
      if (has_selection()) {
        DeleteSelection();
      } else if (cursor_ > 0) {
        --cursor_;
        ReplaceRange(cursor_, 1, {});
      }
      return;
    default: break;
  }

  const int before = cursor_;
  const bool had_selection = has_selection();
  const int old_anchor = anchor_;
  switch (key) {
    case Qt::Key_Left: case Qt::Key_Right: case Qt::Key_Up: case Qt::Key_Down:
    case Qt::Key_Home: case Qt::Key_End: case Qt::Key_PageUp: case Qt::Key_PageDown:
    case Qt::Key_Tab: case Qt::Key_Backtab:
      if (!shift) sel_start_ = sel_end_ = anchor_ = -1;
      break;
    default: break;
  }
  if (MoveCaret(key, ctrl)) {
    const bool column_switch = key == Qt::Key_Tab || key == Qt::Key_Backtab;
    if (shift && !column_switch) {
      anchor_ = had_selection && old_anchor >= 0 ? old_anchor : before;
      SetSelection(std::min(anchor_, cursor_), std::max(anchor_, cursor_));
    }
    viewport()->update();
    return;
  }

  // Keys the editor has no use for (Esc, Enter, ...) go on to the window.
  const QString text = e->text();
  if (!ctrl && text.size() == 1 && TypeChar(text.at(0))) return;
  e->ignore();
}

bool CHexEdit::TypeChar(QChar ch) {
  const char16_t u = ch.unicode();
  if (u < 0x20 || u >= 0x7F) return false;
  if (length() == 0 || cursor_ >= length()) return true;
  uint8_t& byte = reinterpret_cast<uint8_t&>(data_[cursor_]);
  if (caret_column_ == kTextColumn) {
    byte = static_cast<uint8_t>(u);
    if (cursor_ + 1 < length()) ++cursor_;
  } else if (caret_column_ == kHighDigit || caret_column_ == kLowDigit) {
    // Only 0-9 and lower-case a-f are digits here; upper-case letters
    // leave the byte alone.
    int v;
    if (u >= '0' && u <= '9')
      v = u - '0';
    else if (u >= 'a' && u <= 'f')
      v = u - 'a' + 10;
    else
      return true;
    if (caret_column_ == kHighDigit) {
      byte = static_cast<uint8_t>((v << 4) | (byte & 0x0F));
      caret_column_ = kLowDigit;
    } else {
      byte = static_cast<uint8_t>((byte & 0xF0) | v);
      if (cursor_ + 1 < length()) {
        ++cursor_;
        caret_column_ = kHighDigit;
      }
    }
  } else {
    return true;
  }
  sel_start_ = sel_end_ = anchor_ = -1;
  KeepCaretVisible();
  viewport()->update();
  return true;
}

void CHexEdit::ReplaceRange(int at, int remove, const QByteArray& insert) {
  data_.replace(at, remove, insert);
  sel_start_ = sel_end_ = anchor_ = -1;
  ClampCaret();
  MarkDirty();
  KeepCaretVisible();
}

void CHexEdit::SelectAll() { SetSelection(0, length()); }

QString CHexEdit::SelectionText() const {
  QString out;
  const bool text_column = caret_column_ == kTextColumn;
  out.reserve((sel_end_ - sel_start_) * (text_column ? 1 : 3));
  for (int i = sel_start_; i < sel_end_; ++i) {
    const auto b = static_cast<uint8_t>(data_[i]);
    if (text_column) {
      out += Printable(b) ? QChar(b) : QChar('.');
    } else {
      out += QChar(kHexDigits[b >> 4]);
      out += QChar(kHexDigits[b & 0x0F]);
      out += QChar(' ');
    }
  }
  return out;
}

void CHexEdit::Copy() {
  if (!has_selection()) return;
  auto* mime = new QMimeData;
  mime->setData(kBinaryDataFormat, data_.mid(sel_start_, sel_end_ - sel_start_));
  mime->setText(SelectionText());
  QGuiApplication::clipboard()->setMimeData(mime);
}

void CHexEdit::Cut() {
  if (!has_selection()) return;
  Copy();
  DeleteSelection();
}

void CHexEdit::Paste() {
  // Pasting overwrites part of a selection and never changes the length,
  // so without a selection there is nowhere to put the bytes.
  if (!has_selection()) return;
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (!mime) return;
  const QByteArray bytes = mime->hasFormat(kBinaryDataFormat) ? mime->data(kBinaryDataFormat)
                                                              : mime->text().toUtf8();
  if (bytes.isEmpty()) return;
  const int start = sel_start_;
  const int n = std::min(sel_end_ - sel_start_, static_cast<int>(bytes.size()));
  cursor_ = start + n;
  ReplaceRange(start, n, bytes.left(n));
}

void CHexEdit::DeleteSelection() {
  if (!has_selection()) return;
  const int start = sel_start_;
  cursor_ = start;
  ReplaceRange(start, sel_end_ - sel_start_, {});
}

bool CHexEdit::InsertBytes(int count) {
  if (count <= 0 || count > kHexEditMaxBytes - length()) return false;
  const int at = std::clamp(cursor_, 0, length());
  ReplaceRange(at, 0, QByteArray(count, '\0'));
  return true;
}

void CHexEdit::mousePressEvent(QMouseEvent* e) {
  setFocus(Qt::MouseFocusReason);
  if (e->button() != Qt::LeftButton) return;
  const int before = cursor_;
  const bool had_selection = has_selection();
  const Hit hit = HitTest(e->position().toPoint());
  if (!hit.inside) return;
  cursor_ = hit.offset;
  caret_column_ = hit.column;
  if (e->modifiers() & Qt::ShiftModifier) {
    if (!had_selection || anchor_ < 0) anchor_ = before;
    SetSelection(std::min(anchor_, cursor_), std::max(anchor_, cursor_) + 1);
  } else {
    anchor_ = cursor_;
    sel_start_ = sel_end_ = -1;
  }
  dragging_ = true;
  PlaceCaret();
  viewport()->update();
}

void CHexEdit::mouseMoveEvent(QMouseEvent* e) {
  if (!dragging_) return;
  EnsureLayout();
  QPoint p = e->position().toPoint();
  if (p.y() < 0) {
    ScrollRows(-1);
  } else if (p.y() >= viewport()->height()) {
    ScrollRows(1);
  }
  // Keep the pointer in the column the drag began in and on the page.
  p.setY(std::clamp(p.y(), 0, rows_per_page_ * line_height_ - 1));
  switch (caret_column_) {
    case kAddressColumn: p.setX(std::clamp(p.x(), 0, std::max(0, address_width_ - 1))); break;
    case kTextColumn:
      p.setX(std::clamp(p.x(), text_x_, text_x_ + bytes_per_row_ * char_width_ - 1));
      break;
    default: p.setX(std::clamp(p.x(), hex_x_, std::max(hex_x_, text_x_ - 1))); break;
  }
  Hit hit = HitTest(p);
  if (!hit.inside) {
    // Below the end of the data: the drag reaches the last byte.
    if (length() == 0) return;
    hit.offset = length() - 1;
  }
  cursor_ = hit.offset;
  if (anchor_ < 0) anchor_ = cursor_;
  SetSelection(std::min(anchor_, cursor_), std::max(anchor_, cursor_) + 1);
  PlaceCaret();
}

void CHexEdit::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) dragging_ = false;
}

void CHexEdit::wheelEvent(QWheelEvent* e) {
  const int dy = e->angleDelta().y();
  if (dy > 0)
    ScrollRows(-1);
  else if (dy < 0)
    ScrollRows(1);
  e->accept();
}

void CHexEdit::resizeEvent(QResizeEvent* e) {
  QAbstractScrollArea::resizeEvent(e);
  MarkDirty();
}

void CHexEdit::paintEvent(QPaintEvent* /*e*/) {
  EnsureLayout();
  QPainter p(viewport());
  p.fillRect(viewport()->rect(), Qt::white);
  p.setFont(font_);
  const QFontMetrics fm(font_);
  const int ascent = fm.ascent();
  const int cw = char_width_;
  const QColor normal_text = Qt::black;
  const QColor hl_back = palette().color(QPalette::Highlight);
  const QColor hl_text = palette().color(QPalette::HighlightedText);
  const bool text_caret = caret_column_ == kTextColumn;
  const auto selected = [&](int i) { return has_selection() && i >= sel_start_ && i < sel_end_; };

  for (int row = 0; row < rows_per_page_; ++row) {
    const int off = top_ + row * bytes_per_row_;
    if (off >= length()) break;
    const int y = row * line_height_;
    const int baseline = y + ascent;
    if (show_address_) {
      const int digits = AddressDigits();
      const QColor cell = AddressCellColor(off);
      if (cell != QColor(Qt::white)) p.fillRect(0, y, digits * cw, line_height_, cell);
      p.setPen(normal_text);
      p.drawText(0, baseline,
                 QString("%1").arg(address_base_ + off, digits, 16, QChar('0')).toUpper());
    }
    for (int i = 0; i < bytes_per_row_; ++i) {
      const int b = off + i;
      if (b >= length()) break;  // a short last row stays blank behind its bytes
      const auto v = static_cast<uint8_t>(data_[b]);
      const bool sel = selected(b);
      if (show_hex_) {
        const int x = hex_x_ + i * 3 * cw;
        const bool hl = sel && !text_caret;
        if (hl) p.fillRect(x, y, 3 * cw, line_height_, hl_back);
        p.setPen(hl ? hl_text : normal_text);
        const QChar digits[2] = {QChar(kHexDigits[v >> 4]), QChar(kHexDigits[v & 0x0F])};
        p.drawText(x, baseline, QString(digits, 2));
      }
      if (show_text_) {
        const int x = text_x_ + i * cw;
        const bool hl = sel && text_caret;
        if (hl) p.fillRect(x, y, cw, line_height_, hl_back);
        p.setPen(hl ? hl_text : normal_text);
        p.drawText(x, baseline, QString(Printable(v) ? QChar(v) : QChar('.')));
      }
    }
  }
  if (hasFocus() && caret_y_ >= 0 && caret_y_ < rows_per_page_ * line_height_ && length() > 0)
    p.fillRect(caret_x_, caret_y_, 2, line_height_, Qt::black);
}

}  // namespace orvane::gui
