#include "shell/qt/notice_bar.h"

#include <QFontMetrics>
#include <QPainter>
#include <algorithm>

#include "shell/qt/qt_text.h"

namespace genshoku {

namespace {

constexpr int kPadding = 6;  // between the text and the edge of its box

struct NoticeColours {
  QColor text;
  QColor box;
};

NoticeColours ColoursOf(NoticeKind kind) {
  switch (kind) {
    case NoticeKind::Error: return {QColor(160, 0, 0), QColor(255, 236, 236)};
    case NoticeKind::Warning: return {QColor(110, 70, 0), QColor(255, 244, 204)};
    case NoticeKind::Info:
    case NoticeKind::None: break;
  }
  return {QColor(40, 40, 40), QColor(238, 238, 238)};
}

}  // namespace

NoticeBar::NoticeBar(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_TransparentForMouseEvents);
  hide();
}

void NoticeBar::SetNotice(const WindowNotice& notice) {
  if (notice.kind == notice_.kind && notice.subject == notice_.subject &&
      notice.text == notice_.text) {
    return;
  }
  notice_ = notice;
  setVisible(notice_.kind != NoticeKind::None);
  setAccessibleName(text());
  update();
}

QString NoticeBar::text() const { return TextToQt(notice_.Line()); }

int NoticeBar::TextRoom() const { return width() - 2 * kPadding; }

QString NoticeBar::ShownText() const {
  const QFontMetrics metrics(font());
  const int room = TextRoom();
  const QString whole = text();
  if (metrics.horizontalAdvance(whole) <= room || notice_.subject.empty()) {
    return metrics.elidedText(whole, Qt::ElideRight, room);
  }
  // The reason matters more than the whole file name, which is on standard error anyway.
  const QString rest = ": " + TextToQt(notice_.text);
  const int subjectRoom = room - metrics.horizontalAdvance(rest);
  const QString subject = TextToQt(notice_.subject);
  if (subjectRoom >= metrics.horizontalAdvance(subject.left(3) + "…")) {
    return metrics.elidedText(subject, Qt::ElideMiddle, subjectRoom) + rest;
  }
  return metrics.elidedText(whole, Qt::ElideRight, room);
}

void NoticeBar::paintEvent(QPaintEvent*) {
  if (notice_.kind == NoticeKind::None) return;
  QPainter painter(this);
  const QString shown = ShownText();
  const NoticeColours colours = ColoursOf(notice_.kind);
  const int boxWidth =
      std::min(width(), QFontMetrics(font()).horizontalAdvance(shown) + 2 * kPadding);
  const QRect box(0, 0, boxWidth, height());
  painter.setPen(colours.text.lighter(250));
  painter.setBrush(colours.box);
  painter.drawRect(box.adjusted(0, 0, -1, -1));
  painter.setPen(colours.text);
  painter.drawText(box.adjusted(kPadding, 0, -kPadding, 0), Qt::AlignVCenter | Qt::AlignLeft,
                   shown);
}

}  // namespace genshoku
