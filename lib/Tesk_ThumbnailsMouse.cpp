// TThumbnails: the focus outline that follows the pointer, and selection by
// clicks. The outline is drawn straight on the control's canvas and is no
// part of the painted picture, so any repaint removes it.
#include <algorithm>
#include <climits>

#include "Tesk_Thumbnails.h"

bool TThumbnails::Flag(std::int64_t ThumbID) const {
  const std::int64_t index = ThumbID - FMin;
  return index >= 0 && index <= INT_MAX && FSelection->Bit(int(index));
}

void TThumbnails::SetFlag(std::int64_t ThumbID, bool Value) {
  const std::int64_t index = ThumbID - FMin;
  if (index >= 0 && index <= INT_MAX) FSelection->SetBit(int(index), Value);
}

// Nested outlines from two pixels inside the box inward, held inside the
// frame at the top and bottom, then the border strips repainted so nothing
// of a partly scrolled slide's outline stays in them. The outlines of a slide
// wholly or partly out of view are clipped to rows 2..Height-3, so they never
// reach the control's frame. Pen and brush colours are the caller's.
void TThumbnails::DrawFocusOutline(int ThumbID) {
  if (ThumbID < FMin || ThumbID > FMax) return;
  int x = 0;
  int y = 0;
  SlideOrigin(ThumbID, x, y);
  const int box = BoxSide();
  const int left = x + 2;
  const int top = std::max(y + 2, 2);
  const int right = x + box - 2;
  const int bottom = std::min(y + box - 2, Height() - 3);
  TCanvas& canvas = Canvas();
  canvas.Pen.Width = 1;
  canvas.SetClipRect({0, 2, Width(), Height() - 2});
  for (int n = 1; n <= FFocusLinewidth; ++n) {
    DrawRectOutline(canvas, left + n - 1, top + n - 1, right - n + 1, bottom - n + 1);
  }
  canvas.ResetClipRect();
  canvas.Pen.Color = FColorBackGnd;
  canvas.Brush.SetColor(FColorBackGnd);
  canvas.Rectangle(2, 2, Width() - 2, kBorder);
  canvas.Rectangle(2, Height() - kBorder, Width() - 2, Height() - 2);
}

// Paints the outline over in the colour the paint fills that slide with.
void TThumbnails::EraseFocus() {
  if (FFocusedSlide < FMin || FFocusedSlide > FMax) return;
  const TColor cover = Flag(FFocusedSlide) ? FColorSelected : FColorCover;
  Canvas().Pen.Color = cover;
  Canvas().Brush.SetColor(cover);
  DrawFocusOutline(FFocusedSlide);
}

void TThumbnails::DrawFocus(int ThumbID) {
  if (ThumbID < FMin || ThumbID > FMax) return;
  Canvas().Pen.Color = FColorFocus;
  DrawFocusOutline(ThumbID);
}

// Draws only when the pointer crosses onto another slide (or off one); never paints.
void TThumbnails::MouseMove(TShiftState Shift, int X, int Y) {
  TGraphicControl::MouseMove(Shift, X, Y);
  if (FFocusLinewidth == 0) return;
  const int slide = SlideAtPos(X, Y);
  if (slide == FFocusedSlide) return;
  EraseFocus();
  DrawFocus(slide);
  FFocusedSlide = slide;
  if (OnFocusChange) OnFocusChange(this);
}

void TThumbnails::WMLButtonUp(TWMMouse& Message) {
  TGraphicControl::WMLButtonUp(Message);
  const int x = Message.XPos;
  const int y = Message.YPos;
  if (x == -1 && y == -1) return;  // a release the platform could not place
  const int slide = SlideAtPos(x, y);
  SelectByClick(slide, Message.Keys);
  if (OnImageClick) OnImageClick(this, x, y, slide);
}

// A click on no slide (0) has a negative flag index, which every flag
// operation ignores; the clearing and the anchor still follow the keys.
void TThumbnails::SelectByClick(int ThumbID, int Keys) {
  const bool ctrl = (Keys & MK_CONTROL) != 0;
  const bool shift = (Keys & MK_SHIFT) != 0;
  switch (FSlideSelectMode) {
    case ssmDisabled:
      return;
    case ssmSingle:
      FSelection->Clear();
      SetFlag(ThumbID, true);
      FSelectAnchor = ThumbID;
      break;
    case ssmMultiple:
      if (!ctrl && !shift) FSelection->Clear();
      if (ctrl) SetFlag(ThumbID, !Flag(ThumbID));
      if (shift) SelectRange(FSelectAnchor, ThumbID);
      if (!ctrl) {
        SetFlag(ThumbID, true);
        FSelectAnchor = ThumbID;
      }
      break;
  }
  Paint();
}

void TThumbnails::SelectByKey(int ThumbID, bool Shift) { SelectByClick(ThumbID, Shift ? MK_SHIFT : 0); }

// Every slide between the two, both included; only those with a flag in the
// store can change, so the walk is limited to them.
void TThumbnails::SelectRange(int From, int To) {
  const std::int64_t first = std::max<std::int64_t>(std::min(From, To), FMin);
  const std::int64_t last = std::min<std::int64_t>(std::max(From, To), std::int64_t(FMin) + FSelection->Size());
  for (std::int64_t id = first; id <= last; ++id) SetFlag(id, true);
}

void TThumbnails::WMLButtonDblClk(TWMMouse& Message) {
  TGraphicControl::WMLButtonDblClk(Message);
  if (OnImageDblClick) OnImageDblClick(this, Message.XPos, Message.YPos, SlideAtPos(Message.XPos, Message.YPos));
}

bool TThumbnails::SlideWhollyInView(int ThumbID) const {
  int x = 0;
  int y = 0;
  SlideOrigin(ThumbID, x, y);
  const int box = BoxSide();
  const auto inside = [](int from, int length, int extent) {
    return from >= kBorder && from + length <= extent - kBorder;
  };
  return inside(x, box, Width()) && inside(y, box, Height());
}

int TThumbnails::RowsInView() const { return std::max(1, (Height() - 2 * kBorder) / std::max(1, Pitch())); }

double TThumbnails::ScrollPositionShowing(int ThumbID) const {
  if (SlideWhollyInView(ThumbID)) return FScrollPosition;
  const int columns = std::max(1, FNumColumns);
  const int rowStart = (ThumbID - 1) / columns * columns + 1;
  return rowStart;
}

void TThumbnails::ClickSlide(int ThumbID) {
  int x = 0;
  int y = 0;
  SlideOrigin(ThumbID, x, y);
  const int box = BoxSide();
  const int top = std::max(y, kBorder);
  const int bottom = std::min(y + box, Height() - kBorder);
  TWMMouse message;
  message.XPos = std::int16_t(x + box / 2);
  message.YPos = std::int16_t(std::clamp(y + box / 2, top, std::max(top, bottom)));
  WMLButtonDown(message);
  WMLButtonUp(message);
}
