// TThumbnails: construction, property setters and copying between grids.
#include "Tesk_Thumbnails.h"

#include <algorithm>

TThumbnails::TThumbnails(TComponent* AOwner) : TGraphicControl(AOwner) {
  FPainting = false;
  SetWidth(260);
  SetHeight(400);
  // Every other setting comes from the member initialisers, without the
  // setters, so construction never paints. The selection store keeps its own
  // default size (indexes 0..1000) until Min or Max first changes.
  FSelection = std::make_unique<TBitFld>(nullptr);
}

TThumbnails::~TThumbnails() = default;

// Compare-then-store-then-repaint, shared by every plain setter.
template <class T>
static bool Changed(T& field, T value) {
  if (field == value) return false;
  field = value;
  return true;
}

void TThumbnails::SetSlideSelectMode(TSlideSelectMode v) {
  if (!Changed(FSlideSelectMode, v)) return;
  ClearSelection();
  Paint();
}

void TThumbnails::SetAntiAlias(bool v) {
  FAntiAlias = v;
  Paint();
}

void TThumbnails::SetColorBackGnd(TColor v) {
  if (Changed(FColorBackGnd, v)) Paint();
}

void TThumbnails::SetColorCover(TColor v) {
  if (Changed(FColorCover, v)) Paint();
}

void TThumbnails::SetColorSelected(TColor v) {
  if (Changed(FColorSelected, v)) Paint();
}

void TThumbnails::SetColorFocus(TColor v) {
  if (Changed(FColorFocus, v)) Paint();
}

void TThumbnails::SetColorMark(TColor v) {
  if (Changed(FColorMark, v)) Paint();
}

// Nothing drawn depends on the scheme; it still repaints like the others.
void TThumbnails::SetColorScheme(TColorScheme v) {
  if (Changed(FColorScheme, v)) Paint();
}

void TThumbnails::SetFrameStyle(TFrameStyle v) {
  if (Changed(FFrameStyle, v)) Paint();
}

void TThumbnails::SetInnerFrameStyle(TFrameStyle v) {
  if (Changed(FInnerFrameStyle, v)) Paint();
}

void TThumbnails::SetOuterFrameStyle(TFrameStyle v) {
  if (Changed(FOuterFrameStyle, v)) Paint();
}

void TThumbnails::SetFocusLinewidth(int v) {
  if (Changed(FFocusLinewidth, std::clamp(v, 0, 10))) Paint();
}

void TThumbnails::SetSlideDistance(int v) {
  if (Changed(FSlideDistance, std::clamp(v, 0, 100))) Paint();
}

void TThumbnails::SetSlideMargin(int v) {
  if (Changed(FSlideMargin, std::clamp(v, 0, 100))) Paint();
}

// Rise to 50 first, then cap at the width: a control narrower than 50 pixels
// gets slides exactly as wide as itself.
void TThumbnails::SetSlideSize(int v) {
  if (Changed(FSlideSize, std::min(std::max(v, 50), Width()))) Paint();
}

// Both bounds rise to 1 first and then stay on their side of the other, so
// Min <= Max always holds.
void TThumbnails::SetMax(int v) {
  if (!Changed(FMax, std::max(std::max(v, 1), FMin))) return;
  FSelection->SetSize(FMax - FMin + 1);
  Paint();
}

void TThumbnails::SetMin(int v) {
  if (!Changed(FMin, std::min(std::max(v, 1), FMax))) return;
  FSelection->SetSize(FMax - FMin + 1);
  Paint();
}

void TThumbnails::ClearSelection() {
  FSelection->Clear();
  Paint();
}

void TThumbnails::Assign(const TPersistent* Source) {
  if (const auto* grid = dynamic_cast<const TThumbnails*>(Source)) {
    CopyFrom(*grid);
    Paint();
  } else {
    TGraphicControl::Assign(Source);
  }
}

void TThumbnails::AssignTo(TPersistent* Dest) const {
  if (auto* grid = dynamic_cast<TThumbnails*>(Dest)) {
    grid->Assign(this);
  } else {
    TGraphicControl::AssignTo(Dest);
  }
}

// Straight into the fields, without clamps or repaints. The mark colour, the
// rendered-slide event, the selection mode, anchor and store stay this grid's
// own: the store is not even resized to the new range.
void TThumbnails::CopyFrom(const TThumbnails& Source) {
  FFrameStyle = Source.FFrameStyle;
  FOuterFrameStyle = Source.FOuterFrameStyle;
  FInnerFrameStyle = Source.FInnerFrameStyle;
  FColorBackGnd = Source.FColorBackGnd;
  FColorScheme = Source.FColorScheme;
  FScrollPosition = Source.FScrollPosition;
  FMin = Source.FMin;
  FMax = Source.FMax;
  FNumColumns = Source.FNumColumns;
  FNumRows = Source.FNumRows;
  FSlideSize = Source.FSlideSize;
  FSlideDistance = Source.FSlideDistance;
  FSlideMargin = Source.FSlideMargin;
  OnImageRequest = Source.OnImageRequest;
  OnImageClick = Source.OnImageClick;
  OnImageDblClick = Source.OnImageDblClick;
  OnFocusChange = Source.OnFocusChange;
  OnFirstImageRequest = Source.OnFirstImageRequest;
  OnLastImageRequest = Source.OnLastImageRequest;
  FAntiAlias = Source.FAntiAlias;
  FColorCover = Source.FColorCover;
  FColorSelected = Source.FColorSelected;
  FColorFocus = Source.FColorFocus;
  FFocusedSlide = Source.FFocusedSlide;
  FFocusLinewidth = Source.FFocusLinewidth;
}
