#pragma once
// The notice line of the picture area, right of the two buttons: what went wrong (or right)
// with the last command, or what the picture on display is. Hidden when there is nothing to
// say; mouse events pass through it to the picture.

#include <QString>
#include <QWidget>

#include "shell/window_controller.h"

namespace genshoku {

class NoticeBar final : public QWidget {
  Q_OBJECT

 public:
  explicit NoticeBar(QWidget* parent = nullptr);

  void SetNotice(const WindowNotice& notice);
  NoticeKind kind() const { return notice_.kind; }
  // The whole line, as it would read without shortening.
  QString text() const;
  // The line as drawn: the file name is shortened in the middle first, then the end.
  QString ShownText() const;
  // The width the text may take.
  int TextRoom() const;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  WindowNotice notice_;
};

}  // namespace genshoku
