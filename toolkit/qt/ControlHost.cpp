#include "toolkit/qt/ControlHost.h"

#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QSizePolicy>
#include <cmath>
#include <cstdint>

#include "toolkit/Forms.h"
#include "toolkit/qt/QtPixels.h"

TControlHostWidget::TControlHostWidget(TGraphicControl& control, QWidget* parent)
    : QWidget(parent), FControl(control) {
  // The surface covers the whole widget, so Qt need not clear behind it.
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  // A hidden control keeps its place in the layout, so its neighbours stay
  // where the layout puts them; the parent's face shows there.
  QSizePolicy policy = sizePolicy();
  policy.setRetainSizeWhenHidden(true);
  setSizePolicy(policy);
  FControl.SetHost(this);
  if (!FControl.Visible()) hide();
}

TControlHostWidget::~TControlHostWidget() { FControl.SetHost(nullptr); }

void TControlHostWidget::SurfaceChanged() { update(); }

void TControlHostWidget::Painted() { FNeedsPaint = false; }

void TControlHostWidget::VisibilityChanged(bool visible) { setVisible(visible); }

void TControlHostWidget::showEvent(QShowEvent* event) {
  FNeedsPaint = true;
  QWidget::showEvent(event);
}

void TControlHostWidget::resizeEvent(QResizeEvent* event) {
  FNeedsPaint = true;
  FollowPixelRatio();
  Application.Guard([&] { FControl.SetBounds(x(), y(), width(), height()); });
  QWidget::resizeEvent(event);
}

// A fractional ratio is drawn at the next integer one and scaled down by Qt.
void TControlHostWidget::FollowPixelRatio() {
  const int asked = int(std::ceil(devicePixelRatioF() - 1e-6));
  if (asked == FAskedRatio) return;
  FAskedRatio = asked;
  FControl.SetPixelRatio(asked);
  FNeedsPaint = true;
}

void TControlHostWidget::paintEvent(QPaintEvent*) {
  FollowPixelRatio();
  // The control draws itself only when the window system needs it (shown,
  // resized) and has not drawn itself since. That paint may take long (it
  // decodes pictures), so it runs after this round of painting: the rest
  // of the window reaches the screen first, with the surface as it is.
  if (FNeedsPaint && !FPaintQueued) {
    FPaintQueued = true;
    QMetaObject::invokeMethod(
        this, [this] { PaintIfNeeded(); }, Qt::QueuedConnection);
  }
  PresentSurface();
}

void TControlHostWidget::PaintIfNeeded() {
  FPaintQueued = false;
  if (!FNeedsPaint || !isVisible()) return;
  FNeedsPaint = false;
  Application.Guard([&] { FControl.Paint(); });
}

void TControlHostWidget::PresentSurface() {
  QPainter painter(this);
  if (FNeedsPaint) {
    painter.fillRect(rect(), ToQColor(FBlank));
    return;
  }
  if (FControl.Surface().Width() < width() || FControl.Surface().Height() < height()) {
    painter.fillRect(rect(), palette().window());
  }
  const TBitmap& surface = FControl.DeviceSurface();
  if (surface.Empty()) return;
  // At the screen's own ratio Qt puts the pixels 1:1 on device pixels; at a
  // fractional one it scales.
  painter.setRenderHint(QPainter::SmoothPixmapTransform, devicePixelRatioF() != FControl.PixelRatio());
  painter.drawImage(QPointF(0, 0), WrapPixels(surface, FControl.PixelRatio()));
}

TShiftState TControlHostWidget::ShiftState(const QMouseEvent& event) {
  TShiftState s = 0;
  const Qt::KeyboardModifiers mods = event.modifiers();
  const Qt::MouseButtons buttons = event.buttons();
  if (mods & Qt::ShiftModifier) s |= ssShift;
  if (mods & Qt::ControlModifier) s |= ssCtrl;
  if (mods & Qt::AltModifier) s |= ssAlt;
  if (buttons & Qt::LeftButton) s |= ssLeft;
  if (buttons & Qt::RightButton) s |= ssRight;
  if (buttons & Qt::MiddleButton) s |= ssMiddle;
  return s;
}

// The key state is the one after the event (the released button is up), and
// positions travel as 16-bit signed values, as in a button message.
TWMMouse TControlHostWidget::MouseMessage(const QMouseEvent& event) {
  TWMMouse m;
  const Qt::KeyboardModifiers mods = event.modifiers();
  const Qt::MouseButtons buttons = event.buttons();
  if (buttons & Qt::LeftButton) m.Keys |= MK_LBUTTON;
  if (buttons & Qt::RightButton) m.Keys |= MK_RBUTTON;
  if (mods & Qt::ShiftModifier) m.Keys |= MK_SHIFT;
  if (mods & Qt::ControlModifier) m.Keys |= MK_CONTROL;
  const QPoint pos = event.position().toPoint();
  m.XPos = static_cast<std::int16_t>(pos.x());
  m.YPos = static_cast<std::int16_t>(pos.y());
  return m;
}

void TControlHostWidget::mouseMoveEvent(QMouseEvent* event) {
  const QPoint pos = event->position().toPoint();
  const TShiftState shift = ShiftState(*event);
  Application.Guard(
      [&] { FControl.MouseMove(shift, static_cast<std::int16_t>(pos.x()), static_cast<std::int16_t>(pos.y())); });
}

void TControlHostWidget::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  TWMMouse message = MouseMessage(*event);
  Application.Guard([&] { FControl.WMLButtonDown(message); });
}

void TControlHostWidget::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  TWMMouse message = MouseMessage(*event);
  Application.Guard([&] { FControl.WMLButtonUp(message); });
}

void TControlHostWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  TWMMouse message = MouseMessage(*event);
  Application.Guard([&] { FControl.WMLButtonDblClk(message); });
}
