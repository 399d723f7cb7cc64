#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "auto_dialog.h"
#include "main_frame.h"
#include "media/media_formats.h"
#include "qt_texts.h"
#include "shutdown_dialog.h"
#include "tool_services.h"
#include "tools/system_power_off.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  orvane::RegisterMediaFormats();
  QApplication::setApplicationName("Orvane");
  QApplication::setOrganizationName("Local AppWizard-Generated Applications");
  orvane::gui::InstallChineseQtTexts(app);

  QCommandLineParser parser;
  parser.addHelpOption();
  // A picture of the main window for checking the layout and the fonts, also
  // without a display (QT_QPA_PLATFORM=offscreen).
  QCommandLineOption screenshot("screenshot", "Save a picture of the main window and quit.",
                                "png");
  QCommandLineOption images("image", "Open a disk image at start-up (repeatable).", "path");
  parser.addOption(screenshot);
  parser.addOption(images);
  parser.process(app);

  // The real network, browser and power-off; the window's version check
  // starts while the window is built.
  orvane::gui::InstallToolServices(orvane::gui::SystemToolServices());
  orvane::SystemPowerOff power_off;
  orvane::gui::CMainFrame frame;  // installs itself as the notification sink
  // Lives with the window, which waits for its workers before it goes.
  frame.flags().power_off = new orvane::gui::CPowerOffCountdown(&power_off, &frame);
  {
    orvane::gui::CSplashDialog splash(&frame);
    splash.Run();
  }
  frame.OpenImageFiles(parser.values(images));
  frame.show();
  if (parser.isSet(screenshot)) {
    const QString path = parser.value(screenshot);
    QTimer::singleShot(300, &frame, [&frame, path] {
      frame.grab().save(path);
      frame.close();
    });
  }
  return app.exec();
}
