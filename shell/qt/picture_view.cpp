#include "shell/qt/picture_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <utility>

#include "formats/dib_image.h"

namespace genshoku {

QImage ImageFromView(const DisplayView& view) {
  const DibSource source = DibSourceFromView(view);
  DibGeometry geometry;
  if (!view.imageVisible || !ReadDibGeometry(source, &geometry)) return {};
  QImage image(geometry.width, geometry.height, QImage::Format_RGB32);
  if (image.isNull()) return {};  // not enough memory: the area stays white
  const size_t stride = static_cast<size_t>(image.bytesPerLine()) / sizeof(uint32_t);
  if (!ConvertDibPixels(source, reinterpret_cast<uint32_t*>(image.bits()), stride)) return {};
  return image;
}

PictureView::PictureView(QWidget* parent) : QWidget(parent) {
  // Every pixel is painted here, so Qt need not clear the area first.
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void PictureView::SetPicture(QImage picture) {
  picture_ = std::move(picture);
  update();
}

void PictureView::SetPlacement(PicturePlacement placement) {
  if (placement.x == placement_.x && placement.y == placement_.y) return;
  placement_ = placement;
  update();
}

void PictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::white);
  if (picture_.isNull()) return;
  // Only the part of the picture inside the repainted area is drawn: pictures can be far
  // larger than the window.
  const QRect target =
      QRect(QPoint(placement_.x, placement_.y), picture_.size()).intersected(event->rect());
  if (target.isEmpty()) return;
  painter.drawImage(target, picture_, target.translated(-placement_.x, -placement_.y));
}

void PictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized(width(), height());
}

void PictureView::wheelEvent(QWheelEvent* event) { emit wheelTurned(event); }

}  // namespace genshoku
