#include "window_test_support.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include "shell/bmp_file.h"
#include "formats/bmp_layout.h"
#include "shell/picture_state.h"

namespace genshoku::testing {

QColor PatternColour(int x, int y) {
  return QColor((x * 7 + y) % 256, (y * 5) % 256, (x * 3 + y * 2 + 40) % 256);
}

void WriteBytes(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(bytes);
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteBmp24(const QString& path, int width, int height) {
  PictureState picture;
  MakeImageBlock24(picture, width, height);
  uint8_t* rows = picture.imageBlock.data() + kBmp24PixelOffset;
  for (int y = 0; y < height; ++y) {
    uint8_t* row = rows + Stride24(width) * (height - 1 - y);
    for (int x = 0; x < width; ++x) {
      const QColor colour = PatternColour(x, y);
      row[3 * x] = uint8_t(colour.blue());
      row[3 * x + 1] = uint8_t(colour.green());
      row[3 * x + 2] = uint8_t(colour.red());
    }
  }
  WriteBytes(path, QByteArray(reinterpret_cast<const char*>(picture.imageBlock.data()),
                              qsizetype(picture.imageBlock.size())));
}

void WriteBmp8(const QString& path, int width, int height) {
  QByteArray file(qsizetype(kBmp8PixelOffset + Stride8(width) * height), '\0');
  uint8_t* bytes = reinterpret_cast<uint8_t*>(file.data());
  bytes[0] = 'B';
  bytes[1] = 'M';
  WriteLe32(bytes + 2, uint32_t(file.size()));
  WriteLe32(bytes + 10, uint32_t(kBmp8PixelOffset));
  WriteBmpInfoHeader(bytes + kBmpFileHeaderSize, width, height, 8);
  for (int i = 0; i < 256; ++i) {
    for (int k = 0; k < 3; ++k) bytes[kBmp24PixelOffset + 4 * i + k] = uint8_t(i);
  }
  WriteBytes(path, file);
}

void WriteWithQt(const QString& path, int width, int height, QImage::Format format,
                 const char* fileFormat) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) image.setPixelColor(x, y, PatternColour(x, y));
  }
  image = image.convertToFormat(format);
  image.save(path, fileFormat, 100);
}

bool DropFiles(QWidget* window, const QStringList& paths) {
  QMimeData mime;
  QList<QUrl> urls;
  for (const QString& path : paths) urls << QUrl::fromLocalFile(path);
  mime.setUrls(urls);
  const QPoint point(300, 200);
  QDragEnterEvent enter(point, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &enter);
  if (!enter.isAccepted()) return false;
  QDropEvent drop(QPointF(point), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(window, &drop);
  return drop.isAccepted();
}

QImage Grab(QWidget* widget) {
  return widget->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

TestWindow::TestWindow() {
  window.show();
  if (!QTest::qWaitForWindowExposed(&window)) {
    QTest::qFail("the window was not shown", __FILE__, __LINE__);
  }
}

}  // namespace genshoku::testing
