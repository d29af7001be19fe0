#include "shell/qt/program_resources.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QString>
#include <QTranslator>

namespace genshoku {

QIcon ProgramIcon() {
  QIcon builtIn;
  for (int size : {16, 32, 48, 64, 128, 256}) {
    builtIn.addFile(QStringLiteral(":/icons/genshoku-%1.png").arg(size), QSize(size, size));
  }
  return QIcon::fromTheme(QStringLiteral("genshoku"), builtIn);
}

bool InstallJapaneseQtTexts(QCoreApplication& application) {
  auto* translator = new QTranslator(&application);
  if (!translator->load(QStringLiteral("qtbase_ja"),
                        QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
}

}  // namespace genshoku
