// genshoku: drop a photo on the window, reduce it to 256 colours, save it.
// Files named on the command line (as a file manager's "Open with" passes them) are read
// as if they had been dropped.

#include <QApplication>
#include <QIcon>
#include <QTimer>
#include <string>
#include <vector>

#include "shell/qt/main_window.h"

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  QApplication::setApplicationName("genshoku");
  // Lets the desktop match the window with its menu entry (genshoku.desktop).
  QGuiApplication::setDesktopFileName("genshoku");
  // The installed icon theme's icon where there is one, else the sizes built into the program.
  QIcon builtInIcon;
  for (int size : {16, 32, 48, 64, 128, 256})
    builtInIcon.addFile(QString(":/icons/genshoku-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(QIcon::fromTheme("genshoku", builtInIcon));
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
