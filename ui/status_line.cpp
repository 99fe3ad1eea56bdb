#include "ui/status_line.h"

#include <QHelpEvent>
#include <QPainter>
#include <QToolTip>

namespace ui {

StatusLine::StatusLine(const QString& text, QWidget* parent) : QLabel(text, parent) {
  setTextFormat(Qt::PlainText);
}

QString StatusLine::ShownText() const {
  return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void StatusLine::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  painter.setPen(palette().color(foregroundRole()));
  painter.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextSingleLine, ShownText());
}

bool StatusLine::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QLabel::event(event);
  // Asked for each time the pointer rests here, so it always follows the text shown now.
  if (ShownText() != text())
    QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), text(), this);
  else
    QToolTip::hideText();
  return true;
}

}  // namespace ui
