#include <QApplication>
#include <QCommandLineParser>
#include <QTimer>

#include "auto_dialog.h"
#include "main_frame.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("Orvane");
  QApplication::setOrganizationName("Local AppWizard-Generated Applications");

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

  orvane::gui::CMainFrame frame;  // installs itself as the notification sink
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
