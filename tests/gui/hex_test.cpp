// The hex editor and the page hex window, driven with keys, the mouse and
// the clipboard; the window on image files, failing media and the tree.

#include <QClipboard>
#include <QCryptographicHash>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTreeWidget>
#include <QWheelEvent>
#include <vector>

#include "device_views.h"
#include "gui_test_support.h"
#include "hex_dialog.h"
#include "hex_edit.h"
#include "synth/sparse_image.h"
#include "synth/test_support.h"

using namespace orvane;
using namespace orvane::gui;
using namespace orvane::gui::test;

namespace {

std::unique_ptr<CHexEdit> MakeEdit(const QByteArray& bytes) {
  auto edit = std::make_unique<CHexEdit>();
  edit->resize(760, 420);
  edit->SetData(bytes);
  edit->SetBytesPerRow(16);
  edit->show();
  return edit;
}

// Middle of byte `i` in the hex column (its high digit) or the text column.
QPoint HexPoint(CHexEdit& e, int i) {
  const int row = i / 16 - e.top() / 16;
  return QPoint(e.hex_x() + (i % 16) * 3 * e.char_width() + e.char_width() / 2,
                row * e.line_height() + e.line_height() / 2);
}
QPoint TextPoint(CHexEdit& e, int i) {
  const int row = i / 16 - e.top() / 16;
  return QPoint(e.text_x() + (i % 16) * e.char_width() + e.char_width() / 2,
                row * e.line_height() + e.line_height() / 2);
}

void Wheel(CHexEdit& e, int dy) {
  const QPointF at(10, 10);
  QWheelEvent ev(at, e.viewport()->mapToGlobal(at), QPoint(), QPoint(0, dy), Qt::NoButton,
                 Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(e.viewport(), &ev);
}

int RedPixelsInAddressCell(CHexEdit& e, int row) {
  const QImage img = e.viewport()->grab().toImage();
  int red = 0;
  for (int y = row * e.line_height(); y < (row + 1) * e.line_height(); ++y)
    for (int x = 0; x < 8 * e.char_width(); ++x)
      if (img.pixelColor(x, y) == QColor(255, 0, 0)) ++red;
  return red;
}

QByteArray FileHash(const std::string& path) {
  QFile f(QString::fromStdString(path));
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
}

std::vector<CHexDialog*> HexDialogs(CMainFrame& f) {
  std::vector<CHexDialog*> out;
  for (CHexDialog* d : f.findChildren<CHexDialog*>()) out.push_back(d);
  return out;
}

}  // namespace

class HexTest : public QObject {
  Q_OBJECT
  synth::TempDir dir_;

 private slots:
  void SectorStartsHaveRedAddressCells() {
    auto e = MakeEdit(QByteArray(8192, '\0'));
    int red = 0;
    for (int off = 0; off < 8192; off += 16) {
      const bool is_red = e->AddressCellColor(off) == QColor(255, 0, 0);
      QCOMPARE(is_red, off != 0 && off % 512 == 0);
      red += is_red;
    }
    QCOMPARE(red, 15);  // 0x200 .. 0x1E00

    // And the paint uses it: row 0 is white, the row of 0x200 is red.
    QCOMPARE(RedPixelsInAddressCell(*e, 0), 0);
    e->SetCaret(0x200, CHexEdit::kHighDigit);
    const int row = (0x200 - e->top()) / 16;
    QVERIFY(row >= 1 && row < e->rows_per_page());
    QVERIFY(RedPixelsInAddressCell(*e, row) > 8 * e->char_width() * e->line_height() / 2);
    QCOMPARE(RedPixelsInAddressCell(*e, row - 1), 0);
  }

  void PagingScrollingAndTheEnds() {
    auto e = MakeEdit(QByteArray(8192, '\0'));
    const int rows = e->rows_per_page();
    QCOMPARE(rows, e->viewport()->height() / e->line_height());
    const int page = rows * 16;
    QTest::keyClick(e.get(), Qt::Key_PageDown);
    QCOMPARE(e->top(), page);
    QCOMPARE(e->cursor(), page);  // the caret keeps its screen row
    QCOMPARE(e->verticalScrollBar()->value(), rows);
    e->verticalScrollBar()->setValue(5);
    QCOMPARE(e->top(), 80);
    for (int i = 0; i < 600 && e->top() < 8192 - page; ++i) QTest::keyClick(e.get(), Qt::Key_PageDown);
    QCOMPARE(e->top(), 8192 - page);
    QTest::keyClick(e.get(), Qt::Key_PageDown);
    QCOMPARE(e->top(), 8192 - page);
    QVERIFY(e->cursor() < 8192);
    for (int i = 0; i < 600 && e->top() > 0; ++i) QTest::keyClick(e.get(), Qt::Key_PageUp);
    QCOMPARE(e->top(), 0);
    QTest::keyClick(e.get(), Qt::Key_PageUp);
    QCOMPARE(e->top(), 0);

    // The wheel moves one row, never above the start.
    Wheel(*e, -120);
    QCOMPARE(e->top(), 16);
    Wheel(*e, 120);
    Wheel(*e, 120);
    QCOMPARE(e->top(), 0);

    // Leaving the page by a row scrolls by a row.
    e->SetCaret(0, CHexEdit::kHighDigit);
    for (int i = 0; i < rows; ++i) QTest::keyClick(e.get(), Qt::Key_Down);
    QCOMPARE(e->cursor(), page);
    QCOMPARE(e->top(), 16);

    // Ctrl+End goes to the last byte; a step past it is undone.
    QTest::keyClick(e.get(), Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(e->cursor(), 8191);
    QCOMPARE(e->top(), 8192 - page);
    QTest::keyClick(e.get(), Qt::Key_Right);
    QTest::keyClick(e.get(), Qt::Key_Right);
    QCOMPARE(e->cursor(), 8191);
    QCOMPARE(e->caret_column(), int(CHexEdit::kLowDigit));
    QTest::keyClick(e.get(), Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(e->cursor(), 0);
    QCOMPARE(e->top(), 0);
    QTest::keyClick(e.get(), Qt::Key_Up);
    QCOMPARE(e->cursor(), 0);

    // Data shorter than the window: the page is just its rows.
    auto small = MakeEdit(QByteArray(40, 'x'));
    QCOMPARE(small->rows_per_page(), 3);
    QTest::keyClick(small.get(), Qt::Key_PageDown);
    QCOMPARE(small->top(), 0);
  }

  void CopyFromBothColumns() {
    QByteArray bytes("AB\0CDEFGHIJKLMNOPQRSTUVWXYZ", 28);
    auto e = MakeEdit(bytes);
    // Drag over three bytes in the hex column.
    QTest::mousePress(e->viewport(), Qt::LeftButton, {}, HexPoint(*e, 0));
    QTest::mouseMove(e->viewport(), HexPoint(*e, 2));
    QTest::mouseRelease(e->viewport(), Qt::LeftButton, {}, HexPoint(*e, 2));
    QCOMPARE(e->selection_start(), 0);
    QCOMPARE(e->selection_end(), 3);
    QTest::keyClick(e.get(), Qt::Key_C, Qt::ControlModifier);
    const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
    QVERIFY(mime);
    QCOMPARE(mime->text(), QString("41 42 00 "));
    QCOMPARE(mime->data(kBinaryDataFormat), QByteArray("AB\0", 3));

    // A plain click drops the selection.
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, TextPoint(*e, 0));
    QVERIFY(!e->has_selection());
    QCOMPARE(e->caret_column(), int(CHexEdit::kTextColumn));
    QCOMPARE(e->cursor(), 0);
    // Shift+Right three times in the text column.
    for (int i = 0; i < 3; ++i) QTest::keyClick(e.get(), Qt::Key_Right, Qt::ShiftModifier);
    QCOMPARE(e->selection_end() - e->selection_start(), 3);
    QTest::keyClick(e.get(), Qt::Key_C, Qt::ControlModifier);
    mime = QGuiApplication::clipboard()->mimeData();
    QCOMPARE(mime->text(), QString("AB."));
    QCOMPARE(mime->data(kBinaryDataFormat).size(), 3);

    // A drag backwards selects the same way; Shift+click extends from the caret.
    QTest::mousePress(e->viewport(), Qt::LeftButton, {}, HexPoint(*e, 20));
    QTest::mouseMove(e->viewport(), HexPoint(*e, 17));
    QTest::mouseRelease(e->viewport(), Qt::LeftButton, {}, HexPoint(*e, 17));
    QCOMPARE(e->selection_start(), 17);
    QCOMPARE(e->selection_end(), 21);
    QTest::mouseClick(e->viewport(), Qt::LeftButton, {}, HexPoint(*e, 4));
    QTest::mouseClick(e->viewport(), Qt::LeftButton, Qt::ShiftModifier, HexPoint(*e, 6));
    QCOMPARE(e->selection_start(), 4);
    QCOMPARE(e->selection_end(), 7);
    // A movement key without Shift collapses it.
    QTest::keyClick(e.get(), Qt::Key_Left);
    QVERIFY(!e->has_selection());
  }

  void TypingInBothColumns() {
    auto e = MakeEdit(QByteArray(32, '\0'));
    QCOMPARE(e->caret_column(), int(CHexEdit::kHighDigit));
    QTest::keyClick(e.get(), 'F');
    QCOMPARE(e->data().at(0), '\0');
    QCOMPARE(e->caret_column(), int(CHexEdit::kHighDigit));
    QTest::keyClick(e.get(), 'f');
    QCOMPARE(uint8_t(e->data().at(0)), uint8_t(0xF0));
    QCOMPARE(e->caret_column(), int(CHexEdit::kLowDigit));
    QTest::keyClick(e.get(), 'f');
    QCOMPARE(uint8_t(e->data().at(0)), uint8_t(0xFF));
    QCOMPARE(e->cursor(), 1);
    QTest::keyClicks(e.get(), "4g1");  // "g" is no digit
    QCOMPARE(e->data().at(1), 'A');
    QCOMPARE(e->cursor(), 2);

    QTest::keyClick(e.get(), Qt::Key_Tab);
    QCOMPARE(e->caret_column(), int(CHexEdit::kTextColumn));
    QTest::keyClicks(e.get(), "Zq");
    QCOMPARE(e->data().mid(2, 2), QByteArray("Zq"));
    QCOMPARE(e->cursor(), 4);
    QTest::keyClick(e.get(), Qt::Key_Z, Qt::ControlModifier);  // no undo
    QCOMPARE(e->data().mid(2, 2), QByteArray("Zq"));
    QTest::keyClick(e.get(), Qt::Key_Tab);
    QCOMPARE(e->caret_column(), int(CHexEdit::kHighDigit));

    // Typing at the last byte stays there.
    e->SetCaret(31, CHexEdit::kTextColumn);
    QTest::keyClicks(e.get(), "xy");
    QCOMPARE(e->cursor(), 31);
    QCOMPARE(e->data().at(31), 'y');
    QCOMPARE(e->length(), 32);
  }

  void PasteOnlyOverASelection() {
    auto e = MakeEdit(QByteArray(32, '.'));
    auto* mime = new QMimeData;
    mime->setData(kBinaryDataFormat, QByteArray("xyz"));
    mime->setText("ignored");
    QGuiApplication::clipboard()->setMimeData(mime);

    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(e->data(), QByteArray(32, '.'));

    // Shorter selection than the clipboard: only the selection is replaced.
    e->SetSelection(4, 6);
    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(e->length(), 32);
    QCOMPARE(e->data().mid(3, 4), QByteArray(".xy."));
    QCOMPARE(e->cursor(), 6);
    QVERIFY(!e->has_selection());

    // Longer selection: the clipboard's bytes, the rest stays.
    e->SetSelection(8, 16);
    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(e->data().mid(8, 8), QByteArray("xyz....."));
    QCOMPARE(e->length(), 32);

    // Plain text is taken as raw bytes when there is no binary form.
    QGuiApplication::clipboard()->setText("hi");
    e->SetSelection(28, 32);
    QTest::keyClick(e.get(), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(e->data().mid(28), QByteArray("hi.."));
    QCOMPARE(e->cursor(), 30);
  }

  void InsertDeleteAndCutChangeTheLength() {
    auto e = MakeEdit(QByteArray("0123456789"));
    e->SetCaret(2, CHexEdit::kHighDigit);
    QTest::keyClick(e.get(), Qt::Key_Insert);
    QCOMPARE(e->data(), QByteArray("01\0" "23456789", 11));
    e->SetCaret(4, CHexEdit::kHighDigit);
    e->SetSelection(4, 7);
    QTest::keyClick(e.get(), Qt::Key_Insert);  // as many zeros as selected
    QCOMPARE(e->length(), 14);
    QCOMPARE(e->data().mid(4, 3), QByteArray(3, '\0'));
    e->SetSelection(4, 7);
    QTest::keyClick(e.get(), Qt::Key_Delete);
    QCOMPARE(e->data(), QByteArray("01\0" "23456789", 11));
    QTest::keyClick(e.get(), Qt::Key_Backspace);  // the byte before the caret
    QCOMPARE(e->data(), QByteArray("01\0" "3456789", 10));
    QCOMPARE(e->cursor(), 3);
    e->SetSelection(0, 3);
    QTest::keyClick(e.get(), Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(e->data(), QByteArray("3456789"));
    QCOMPARE(QGuiApplication::clipboard()->mimeData()->data(kBinaryDataFormat),
             QByteArray("01\0", 3));
    // Doubling again and again stops at the cap instead of overflowing.
    for (int i = 0; i < 24; ++i) {
      QTest::keyClick(e.get(), Qt::Key_A, Qt::ControlModifier);
      QTest::keyClick(e.get(), Qt::Key_Insert);
    }
    QVERIFY(e->length() > kHexEditMaxBytes / 2);
    QVERIFY(e->length() <= kHexEditMaxBytes);
    QTest::keyClick(e.get(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(e.get(), Qt::Key_Delete);
    QCOMPARE(e->length(), 0);
    // An empty editor takes keys without harm.
    QTest::keyClicks(e.get(), "ab");
    QTest::keyClick(e.get(), Qt::Key_End, Qt::ControlModifier);
    QTest::keyClick(e.get(), Qt::Key_Backspace);
    QCOMPARE(e->length(), 0);
  }

  void WindowShowsTheFirstBytesOfTheDevice() {
    auto f = MakeFrame();
    const std::string path = dir_.File("small.img");
    {
      synth::SparseImage image(path, 65536);
      image.FillNoise(0, 16384, 7);
      image.Write(0, "\xEB\x52\x90NTFS", 7);
    }
    QFile file(QString::fromStdString(path));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray first = file.read(8192);
    file.close();

    // Through the device tree's command.
    f->OpenImageFiles({QString::fromStdString(path)});
    QCOMPARE(f->disk_view()->topLevelItemCount(), 1);
    f->disk_view()->setCurrentItem(f->disk_view()->topLevelItem(0));
    f->disk_view()->HexViewSelected();
    auto dialogs = HexDialogs(*f);
    QCOMPARE(dialogs.size(), size_t(1));
    CHexDialog* d = dialogs[0];
    QCOMPARE(d->windowTitle(), QString("页面HEX查看"));
    QVERIFY(d->isVisible());
    QVERIFY(!d->isModal());
    QCOMPARE(d->hex_edit()->length(), 8192);
    QCOMPARE(d->hex_edit()->data(), first);
    QCOMPARE(d->hex_edit()->bytes_per_row(), 16);
    QCOMPARE(d->hex_edit()->caret_column(), int(CHexEdit::kHighDigit));
    QVERIFY(!d->message_label()->isVisible());
    // The editor fills the window as it grows.
    d->resize(900, 700);
    QCOMPARE(d->hex_edit()->width(), d->width());
    QVERIFY(d->hex_edit()->height() > 600);

    // A second window has its own copy.
    f->ShowHexView(&f->devices()[0]);
    QCOMPARE(HexDialogs(*f).size(), size_t(2));
    QTest::keyClick(d->hex_edit(), '0');
    QCOMPARE(HexDialogs(*f)[1]->hex_edit()->data(), first);
    d->close();
    QTest::qWait(0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(HexDialogs(*f).size(), size_t(1));
    QTest::keyClick(HexDialogs(*f)[0]->hex_edit(), Qt::Key_Escape);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QVERIFY(HexDialogs(*f).empty());

    // A medium shorter than the page shows only what it has, without error.
    const std::string tiny = dir_.File("tiny.img");
    {
      synth::SparseImage image(tiny, 1000);
      image.Write(996, "TAIL", 4);
    }
    const int rows = LogRows(*f);
    const DeviceInfo tiny_device = synth::ImageDevice(tiny);
    CHexDialog t(tiny_device, 0);
    QCOMPARE(t.hex_edit()->length(), 1000);
    QCOMPARE(t.hex_edit()->data().right(4), QByteArray("TAIL"));
    QCOMPARE(LogRows(*f), rows);
  }

  // Any sector or byte offset of the device, and page by page through it,
  // with the address column counting from the device's start.
  void GoesToAnyOffsetOfTheDevice() {
    const std::string path = dir_.File("big.img");
    const int64_t size = 64 * 1048576;
    {
      synth::SparseImage image(path, size);
      image.Write(100000LL * 512, "SECTOR100000", 12);
      image.Write(size - 4, "LAST", 4);
    }
    CHexDialog d(synth::ImageDevice(path), 0);
    d.show();
    QCOMPARE(d.device_size(), size);
    QVERIFY(!d.previous_button()->isEnabled());
    QTest::keyClicks(d.sector_edit(), "100000");
    QTest::keyClick(d.sector_edit(), Qt::Key_Return);
    QCOMPARE(d.offset(), 100000LL * 512);
    QCOMPARE(d.hex_edit()->length(), 8192);
    QCOMPARE(d.hex_edit()->data().left(12), QByteArray("SECTOR100000"));
    QCOMPARE(d.hex_edit()->address_base(), 100000LL * 512);
    QCOMPARE(d.position_label()->text(), QString("扇区 100000   偏移 0x30D4000"));
    // Sector starts are marked by their place on the device.
    QCOMPARE(d.hex_edit()->AddressCellColor(0), QColor(255, 0, 0));
    QCOMPARE(d.hex_edit()->AddressCellColor(16), QColor(Qt::white));

    QTest::mouseClick(d.next_button(), Qt::LeftButton);
    QCOMPARE(d.offset(), 100000LL * 512 + 8192);
    QTest::mouseClick(d.previous_button(), Qt::LeftButton);
    QTest::mouseClick(d.previous_button(), Qt::LeftButton);
    QCOMPARE(d.offset(), 100000LL * 512 - 8192);

    // A byte offset in hexadecimal, rounded down to its row; the last page
    // holds only what the device has, and there is no page after it.
    QTest::keyClicks(d.byte_edit(), "0x3FFFFFC");
    QTest::keyClick(d.byte_edit(), Qt::Key_Return);
    QCOMPARE(d.offset(), int64_t{0x3FFFFF0});
    QCOMPARE(d.hex_edit()->length(), 16);
    QCOMPARE(d.hex_edit()->data().right(4), QByteArray("LAST"));
    QVERIFY(!d.next_button()->isEnabled());
    // Past the end: the last page.
    d.GoToSector(999999999);
    QCOMPARE(d.offset(), size - 8192);
    QCOMPARE(d.hex_edit()->data().right(4), QByteArray("LAST"));
  }

  void FailuresAreSaidAndShowOnlyZeros() {
    auto f = MakeFrame();
    const std::string path = dir_.File("bad.img");
    {
      synth::SparseImage image(path, 65536);
      image.FillNoise(0, 65536, 3);
    }
    const DeviceInfo bad = synth::FaultyImageDevice(path, {ByteRange{4096, 4608}});
    CHexDialog d(bad, 0);
    QCOMPARE(LastLog(*f), QString("读取源设备错误,可能存在坏道"));
    QCOMPARE(LastLog(*f, 0), QString("错误"));
    QCOMPARE(d.hex_edit()->data(), QByteArray(8192, '\0'));
    QCOMPARE(d.message_label()->text(), QString("读取源设备错误,可能存在坏道"));
    QVERIFY(!d.message_label()->isHidden());

    const DeviceInfo missing = synth::ImageDevice(dir_.File("missing.img"));
    CHexDialog m(missing, 0);
    QCOMPARE(LastLog(*f), QString("打开源设备失败"));
    QCOMPARE(m.hex_edit()->data(), QByteArray(8192, '\0'));

    // An item that leads to no device opens nothing.
    f->ShowHexView(nullptr);
    QCOMPARE(LastLog(*f), QString("打开源设备失败"));
    QVERIFY(HexDialogs(*f).empty());
  }

  void EditsNeverReachTheImage() {
    auto f = MakeFrame();
    const std::string path = dir_.File("evidence.img");
    {
      synth::SparseImage image(path, 32768);
      image.FillNoise(0, 32768, 11);
    }
    const QByteArray before = FileHash(path);
    const DeviceInfo device = synth::ImageDevice(path);
    f->ShowHexView(&device);
    CHexDialog* d = HexDialogs(*f).at(0);
    CHexEdit* e = d->hex_edit();
    QTest::keyClicks(e, "deadbeef");
    QTest::keyClick(e, Qt::Key_Tab);
    QTest::keyClicks(e, "overwritten");
    QTest::keyClick(e, Qt::Key_Insert);
    e->SetSelection(100, 200);
    QTest::keyClick(e, Qt::Key_X, Qt::ControlModifier);
    e->SetSelection(0, 50);
    QTest::keyClick(e, Qt::Key_V, Qt::ControlModifier);
    QTest::keyClick(e, Qt::Key_Backspace);
    QVERIFY(e->length() != 8192);
    d->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCOMPARE(FileHash(path), before);
  }
};

QTEST_MAIN(HexTest)
#include "hex_test.moc"
