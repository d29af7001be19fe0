// genshoku: drop a photo on the window, reduce it to 256 colours, save it.
// Files named on the command line (as a file manager's "Open with" passes them) are read
// as if they had been dropped.

#include <QApplication>
#include <QTimer>
#include <string>
#include <vector>

#include "shell/qt/main_window.h"
#include "shell/qt/program_resources.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("genshoku");
  // Lets the desktop match the window with its menu entry (genshoku.desktop).
  QGuiApplication::setDesktopFileName("genshoku");
  QApplication::setWindowIcon(genshoku::ProgramIcon());
  // Qt's dialogs in Japanese like the window; without the translation they stay English.
  genshoku::InstallJapaneseQtTexts(application);
  // Qt has taken its own options out of argv by now.
  std::vector<std::string> files(argv + 1, argv + argc);
  genshoku::MainWindow window;
  window.show();
  if (!files.empty()) {
    // Once the window has its size, so that the picture's scroll bars fit the client area.
    QTimer::singleShot(0, &window, [&window, files] { window.OpenFiles(files); });
  }
  return application.exec();
}
