#pragma once
// Qt's own texts (the buttons and questions of the standard dialogs) in
// Chinese, like every other text of the program.

class QCoreApplication;

namespace orvane::gui {

// Loads Qt's Simplified Chinese translation from the system's Qt
// translations; false when it is not installed (the texts stay English).
bool InstallChineseQtTexts(QCoreApplication& app);

}  // namespace orvane::gui
