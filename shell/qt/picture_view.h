#pragma once
// The client area: white, with the current picture drawn unscaled at the place the
// scroll positions give, under the two buttons.

#include <QImage>
#include <QWidget>

#include "shell/picture_state.h"
#include "shell/window_scroll.h"

namespace genshoku {

// The bitmap on display as 32-bit pixels; a null image when there is none or it cannot be
// painted.
QImage ImageFromView(const DisplayView& view);

class PictureView final : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent = nullptr);

  // The picture as 32-bit pixels (a null image shows nothing) and where its top-left
  // pixel goes.
  void SetPicture(QImage picture);
  void SetPlacement(PicturePlacement placement);
  const QImage& picture() const { return picture_; }

 signals:
  void resized(int width, int height);
  // Wheel turns over the picture, for the scroll bars to handle.
  void wheelTurned(QWheelEvent* event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  QImage picture_;
  PicturePlacement placement_;
};

}  // namespace genshoku
