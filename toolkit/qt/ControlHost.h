#pragma once
// A widget that puts a graphic control on the screen: it shows the control's
// surface and hands the window system's size changes and mouse input to it.
#include <QWidget>

#include "toolkit/Controls.h"

class TControlHostWidget : public QWidget, public TControlHost {
  Q_OBJECT

 public:
  explicit TControlHostWidget(TGraphicControl& control, QWidget* parent = nullptr);
  // Must go before the control it shows.
  ~TControlHostWidget() override;

  // What shows until the control has drawn itself since it was shown or
  // resized: its background colour, never the surface's new (black) pixels.
  void SetBlankColor(TColor color) { FBlank = color; }

  // TControlHost: the control drew on its surface, or was shown or hidden.
  void SurfaceChanged() override;
  void VisibilityChanged(bool visible) override;
  void Painted() override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;

 private:
  void PresentSurface();
  void PaintIfNeeded();
  void FollowPixelRatio();
  static TWMMouse MouseMessage(const QMouseEvent& event);
  static TShiftState ShiftState(const QMouseEvent& event);

  TGraphicControl& FControl;
  // The control must draw itself at the next paint event: it was shown or
  // resized, so the surface does not hold what the window system wants.
  bool FNeedsPaint = true;
  bool FPaintQueued = false;
  int FAskedRatio = 1;  // the device pixel ratio the control was given
  TColor FBlank = clBtnFace;
};
