#include "Controls.h"

#include <algorithm>

#include "DevicePixels.h"

TGraphicControl::TGraphicControl(TComponent* AOwner) : TComponent(AOwner) {
  FSurface.OnChange = [this] {
    if (FHost) FHost->SurfaceChanged();
  };
}

void TGraphicControl::SetPixelRatio(int ratio) {
  FAskedRatio = std::clamp(ratio, 1, kMaxPixelRatio);
  FitDeviceSurface();
}

// The surface as it stands, repeated: the finer pictures come with the next paint.
void TGraphicControl::FitDeviceSurface() {
  const auto pixels = std::uint64_t(FWidth) * std::uint64_t(FHeight) * 4;
  int ratio = FAskedRatio;
  while (ratio > 1 && pixels * std::uint64_t(ratio * ratio) > kMaxDeviceSurfaceBytes) --ratio;
  FPixelRatio = ratio;
  if (ratio == 1) {
    FSurface.Canvas().OnPixelsSet = nullptr;
    FDevice.Reset(0, 0);
    return;
  }
  // Everything drawn on the surface goes to the device surface as it is
  // drawn, each pixel repeated.
  FSurface.Canvas().OnPixelsSet = [this](const TRect& area) {
    MagnifyPixels(FSurface, area, FPixelRatio, FDevice);
  };
  FDevice.Reset(FWidth * ratio, FHeight * ratio);
  MagnifyPixels(FSurface, {0, 0, FWidth, FHeight}, ratio, FDevice);
}

TGraphicControl::~TGraphicControl() = default;

void TGraphicControl::SetBounds(int left, int top, int width, int height) {
  if (width < 0) width = 0;
  if (height < 0) height = 0;
  FLeft = left;
  FTop = top;
  if (width == FWidth && height == FHeight) return;
  FWidth = width;
  FHeight = height;
  FSurface.SetSize(width, height);
  if (FAskedRatio > 1) FitDeviceSurface();
  if (OnResize) OnResize(this);
}

void TGraphicControl::SetVisible(bool v) {
  if (v == FVisible) return;
  FVisible = v;
  if (FHost) FHost->VisibilityChanged(v);
}

void TGraphicControl::SetHost(TControlHost* host) { FHost = host; }

void TGraphicControl::PaintFinished() {
  if (FHost) FHost->Painted();
}

TShiftState TGraphicControl::KeysToShiftState(int keys) {
  TShiftState s = 0;
  if (keys & MK_SHIFT) s |= ssShift;
  if (keys & MK_CONTROL) s |= ssCtrl;
  if (keys & MK_LBUTTON) s |= ssLeft;
  if (keys & MK_RBUTTON) s |= ssRight;
  return s;
}

void TGraphicControl::MouseMove(TShiftState Shift, int X, int Y) {
  if (OnMouseMove) OnMouseMove(this, Shift, X, Y);
}

void TGraphicControl::WMLButtonDown(TWMMouse& Message) {
  FPressed = true;
  if (OnMouseDown) OnMouseDown(this, mbLeft, KeysToShiftState(Message.Keys), Message.XPos, Message.YPos);
}

void TGraphicControl::WMLButtonUp(TWMMouse& Message) {
  const int x = Message.XPos;
  const int y = Message.YPos;
  const bool wasPressed = FPressed;
  FPressed = false;
  if (wasPressed && x >= 0 && y >= 0 && x < FWidth && y < FHeight && OnClick) OnClick(this);
  if (OnMouseUp) OnMouseUp(this, mbLeft, KeysToShiftState(Message.Keys), x, y);
}

void TGraphicControl::WMLButtonDblClk(TWMMouse& Message) {
  FPressed = true;
  if (OnDblClick) OnDblClick(this);
  if (OnMouseDown) {
    OnMouseDown(this, mbLeft, KeysToShiftState(Message.Keys) | ssDouble, Message.XPos, Message.YPos);
  }
}
