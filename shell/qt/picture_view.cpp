#include "shell/qt/picture_view.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QWheelEvent>
#include <utility>

#include "formats/dib_image.h"
#include "shell/window_scroll.h"

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

void PictureView::SetOriginal(QImage original) {
  original_ = std::move(original);
  if (showingOriginal_) update();
}

void PictureView::ShowOriginal(bool showing) {
  if (showing == showingOriginal_) return;
  showingOriginal_ = showing;
  update();
}

void PictureView::SetFrame(const PictureFrame& frame) {
  if (frame.x == frame_.x && frame.y == frame_.y && frame.width == frame_.width &&
      frame.height == frame_.height && frame.scaled == frame_.scaled) {
    return;
  }
  frame_ = frame;
  update();
}

void PictureView::SetHint(const QString& hint) {
  if (hint == hint_) return;
  hint_ = hint;
  update();
}

const QImage& PictureView::Scaled() {
  const QImage& shown = Shown();
  if (scaledFrom_ != shown.cacheKey() || scaled_.width() != frame_.width ||
      scaled_.height() != frame_.height) {
    // Smooth when shrinking; enlarged pixels stay square, so dithering can be seen.
    const bool shrinking = frame_.width < shown.width();
    scaled_ = shown.scaled(frame_.width, frame_.height, Qt::IgnoreAspectRatio,
                           shrinking ? Qt::SmoothTransformation : Qt::FastTransformation);
    scaledFrom_ = shown.cacheKey();
  }
  return scaled_;
}

void PictureView::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::white);
  const QImage& shown = Shown();
  if (shown.isNull()) {
    if (hint_.isEmpty()) return;
    painter.setPen(QColor(128, 128, 128));
    const QRect area(0, kPictureTop, width(), height() - kPictureTop);
    painter.drawText(area, Qt::AlignCenter, hint_);
    return;
  }
  const QImage& image = frame_.scaled ? Scaled() : shown;
  // Only the part of the picture inside the repainted area is drawn: pictures can be far
  // larger than the window.
  const QRect target = QRect(QPoint(frame_.x, frame_.y), image.size()).intersected(event->rect());
  if (target.isEmpty()) return;
  painter.drawImage(target, image, target.translated(-frame_.x, -frame_.y));
}

void PictureView::resizeEvent(QResizeEvent* event) {
  QWidget::resizeEvent(event);
  emit resized(width(), height());
}

void PictureView::wheelEvent(QWheelEvent* event) { emit wheelTurned(event); }

}  // namespace genshoku
