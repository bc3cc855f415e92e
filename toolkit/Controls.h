#pragma once
// Graphic controls: components with a size, a visibility flag, a font and a
// canvas, that receive paint requests and mouse input from their host.
// A control's Canvas draws on its screen surface; a host (toolkit/qt) shows
// that surface and routes window-system events here.
#include <cstdint>
#include <functional>
#include <memory>

#include "Classes.h"
#include "Graphics.h"
#include "Types.h"

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// A mouse button message: key-state word (MK_*) and a 16-bit signed position.
struct TWMMouse {
  int Keys = 0;
  std::int16_t XPos = 0;
  std::int16_t YPos = 0;
};

// Where a control's surface is shown; the host is told when it changed.
class TControlHost {
 public:
  virtual ~TControlHost() = default;
  virtual void SurfaceChanged() = 0;
  virtual void VisibilityChanged(bool visible) = 0;
  // The control drew all of itself: the surface is what the screen wants.
  virtual void Painted() = 0;
};

class TGraphicControl : public TComponent {
 public:
  explicit TGraphicControl(TComponent* AOwner);
  ~TGraphicControl() override;
  std::string ClassName() const override { return "TGraphicControl"; }

  int Left() const { return FLeft; }
  int Top() const { return FTop; }
  int Width() const { return FWidth; }
  int Height() const { return FHeight; }
  void SetWidth(int w) { SetBounds(FLeft, FTop, w, FHeight); }
  void SetHeight(int h) { SetBounds(FLeft, FTop, FWidth, h); }
  // Resizes the surface and raises OnResize when the size changed.
  void SetBounds(int left, int top, int width, int height);

  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  TAlign Align = alNone;

  TFont Font;
  // The control's screen surface; drawing here shows on the screen.
  TCanvas& Canvas() { return FSurface.Canvas(); }
  const TBitmap& Surface() const { return FSurface; }

  // Device pixels to a pixel of the screen that shows the control, as the
  // host asks (1 and up); lower when the device surface would pass its bound.
  int PixelRatio() const { return FPixelRatio; }
  void SetPixelRatio(int ratio);
  // What the screen shows, PixelRatio times the size of Surface: each of
  // its pixels repeated PixelRatio x PixelRatio as it is drawn, but where a
  // paint drew finer. Surface itself at ratio 1.
  const TBitmap& DeviceSurface() const { return FPixelRatio > 1 ? FDevice : FSurface; }
  static constexpr int kMaxPixelRatio = 4;
  static constexpr std::uint64_t kMaxDeviceSurfaceBytes = std::uint64_t(256) << 20;

  // Draws the whole control onto Canvas. The host calls it when the window
  // system needs the control drawn.
  virtual void Paint() {}
  // Asks for a paint now (the toolkit's Repaint: synchronous).
  void Repaint() { Paint(); }

  // Mouse input from the host. The toolkit's own handling (events) runs in
  // these base versions; controls override and call them first.
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void WMLButtonDown(TWMMouse& Message);
  virtual void WMLButtonUp(TWMMouse& Message);
  virtual void WMLButtonDblClk(TWMMouse& Message);

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TNotifyEvent OnResize;
  TMouseEvent OnMouseDown;
  TMouseEvent OnMouseUp;
  TMouseMoveEvent OnMouseMove;

  void SetHost(TControlHost* host);

  static TShiftState KeysToShiftState(int keys);

 protected:
  // A paint calls this when it has drawn the whole control on its surface.
  void PaintFinished();
  // Where a paint puts what it draws finer than its pixels (pictures).
  TBitmap& FineSurface() { return FPixelRatio > 1 ? FDevice : FSurface; }

 private:
  void FitDeviceSurface();

  int FLeft = 0;
  int FTop = 0;
  int FWidth = 0;
  int FHeight = 0;
  bool FVisible = true;
  bool FPressed = false;  // the left button went down on this control
  TBitmap FSurface;
  TBitmap FDevice;  // used at ratios above 1
  int FAskedRatio = 1;
  int FPixelRatio = 1;
  TControlHost* FHost = nullptr;
};
