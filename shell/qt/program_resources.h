#pragma once
// What the window program takes from outside its code: the program's icon and the Japanese
// texts of Qt's own dialogs and menus.

#include <QIcon>

class QCoreApplication;

namespace genshoku {

// The program's icon: the installed icon theme's "genshoku" where there is one, else the
// sizes built into the program (data/icons/genshoku-N.png).
QIcon ProgramIcon();

// Loads Qt's Japanese translation (qtbase_ja from Qt's translations folder, Debian package
// qt6-translations-l10n), so that the file dialogs' columns, menus and the question before
// a file is replaced are Japanese like the rest of the window. The window's texts do not
// depend on it. Returns whether the translation was found.
bool InstallJapaneseQtTexts(QCoreApplication& application);

}  // namespace genshoku
