#include "toolkit/qt/FocusMark.h"

#include <QEvent>
#include <QPainter>

TFocusMark* TFocusMark::Mark(QWidget& target) { return new TFocusMark(target); }

TFocusMark::TFocusMark(QWidget& target) : QWidget(&target), FTarget(target) {
  // Clicks, the wheel and tips go to the widget beneath.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  setGeometry(target.rect());
  setVisible(target.hasFocus());
  target.installEventFilter(this);
}

bool TFocusMark::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FTarget) {
    switch (event->type()) {
      case QEvent::FocusIn:
        raise();
        show();
        break;
      case QEvent::FocusOut:
        hide();
        break;
      case QEvent::Resize:
        setGeometry(FTarget.rect());
        break;
      default:
        break;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void TFocusMark::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor colour = FTarget.palette().color(QPalette::Active, QPalette::Highlight);
  const int w = width(), h = height();
  painter.fillRect(0, 0, w, kWidth, colour);
  painter.fillRect(0, h - kWidth, w, kWidth, colour);
  painter.fillRect(0, kWidth, kWidth, h - 2 * kWidth, colour);
  painter.fillRect(w - kWidth, kWidth, kWidth, h - 2 * kWidth, colour);
}
