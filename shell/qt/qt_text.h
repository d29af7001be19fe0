#pragma once
// Crossing between the program's strings and Qt's: texts are UTF-8, file names are the
// bytes the file system uses.

#include <QFile>
#include <QString>
#include <string>
#include <string_view>

namespace genshoku {

inline QString TextToQt(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

inline QString PathToQt(const std::string& path) {
  return QFile::decodeName(QByteArray::fromStdString(path));
}

inline std::string PathFromQt(const QString& path) { return QFile::encodeName(path).toStdString(); }

}  // namespace genshoku
