#include "toolkit/qt/FocusMark.h"

#include <QEvent>
#include <QPainter>
#include <QRegion>

TFocusMark* TFocusMark::Mark(QWidget& target, QWidget& on, int width) { return new TFocusMark(target, on, width); }

TFocusMark::TFocusMark(QWidget& target, QWidget& on, int width)
    : QWidget(&on), FTarget(target), FOn(on), FWidth(width) {
  // Clicks, the wheel and tips go to the widgets beneath.
  setAttribute(Qt::WA_TransparentForMouseEvents);
  setFocusPolicy(Qt::NoFocus);
  Cover();
  setVisible(target.hasFocus());
  target.installEventFilter(this);
  if (&on != &target) on.installEventFilter(this);
}

void TFocusMark::Cover() {
  const QRect all = FOn.rect();
  setGeometry(all);
  setMask(QRegion(all).subtracted(QRegion(all.adjusted(FWidth, FWidth, -FWidth, -FWidth))));
}

bool TFocusMark::eventFilter(QObject* watched, QEvent* event) {
  if (watched == &FTarget && event->type() == QEvent::FocusIn) {
    raise();
    show();
  } else if (watched == &FTarget && event->type() == QEvent::FocusOut) {
    hide();
  } else if (watched == &FOn && event->type() == QEvent::Resize) {
    Cover();
  }
  return QWidget::eventFilter(watched, event);
}

void TFocusMark::paintEvent(QPaintEvent*) {
  QPainter(this).fillRect(rect(), FTarget.palette().color(QPalette::Active, QPalette::Highlight));
}
