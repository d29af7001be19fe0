#pragma once
// The client area: white, with the current picture drawn where the window's frame puts it
// (unscaled under the two buttons, or scaled to fit), or a hint while there is none.

#include <QImage>
#include <QString>
#include <QWidget>

#include "shell/picture_frame.h"
#include "shell/picture_state.h"

namespace genshoku {

// The bitmap on display as 32-bit pixels; a null image when there is none or it cannot be
// painted.
QImage ImageFromView(const DisplayView& view);

class PictureView final : public QWidget {
  Q_OBJECT

 public:
  explicit PictureView(QWidget* parent = nullptr);

  // The picture as 32-bit pixels (a null image shows nothing).
  void SetPicture(QImage picture);
  const QImage& picture() const { return picture_; }
  // Shown in place of the picture while `showing` is true, in the same frame.
  void SetOriginal(QImage original);
  void ShowOriginal(bool showing);
  bool showingOriginal() const { return showingOriginal_ && !original_.isNull(); }
  bool hasOriginal() const { return !original_.isNull(); }

  void SetFrame(const PictureFrame& frame);
  // Drawn in the middle of the area under the buttons when there is no picture.
  void SetHint(const QString& hint);

 signals:
  void resized(int width, int height);
  // Wheel turns over the picture, for the scroll bars to handle.
  void wheelTurned(QWheelEvent* event);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  const QImage& Shown() const { return showingOriginal() ? original_ : picture_; }
  // The shown picture at the frame's size, made once per picture and size.
  const QImage& Scaled();

  QImage picture_;
  QImage original_;
  bool showingOriginal_ = false;
  PictureFrame frame_;
  QString hint_;
  QImage scaled_;
  qint64 scaledFrom_ = 0;  // cacheKey of the picture scaled_ was made from
};

}  // namespace genshoku
