#pragma once
// The recorder-clock-offset field of the export and filter dialogs.

#include <QString>

class QBoxLayout;
class QLineEdit;
class QWidget;

namespace orvane {
struct ScanParameters;
}

namespace orvane::gui {

class CMainFrame;

// A "时钟偏差:" row with its edit, added to `layout`.
QLineEdit* AddClockOffsetRow(QBoxLayout* layout, QWidget* owner);

// The parameters' offset as the field shows it: "+HH:MM:SS".
QString ClockOffsetField(const ScanParameters& p);

// Reads the field into the frame's parameters and refreshes the list's
// corrected-time columns. An empty field means no offset. False, with the
// parameters left alone, when the text is not ±HH:MM:SS.
bool ApplyClockOffsetField(const QLineEdit* edit, CMainFrame* frame);

}  // namespace orvane::gui
