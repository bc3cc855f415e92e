#include "Tesk_teskbase.h"

#include "Tesk_saturate.h"

void DrawRectOutline(TCanvas& Canvas, int Left, int Top, int Right, int Bottom) {
  // Each line leaves out its end point, which the next line starts on, so
  // every boundary pixel is set exactly once.
  Canvas.MoveTo(Left, Top);
  Canvas.LineTo(Left, Bottom);
  Canvas.LineTo(Right, Bottom);
  Canvas.LineTo(Right, Top);
  Canvas.LineTo(Left, Top);
}

namespace {

struct RingColors {
  TColor OuterTopLeft, OuterBottomRight, InnerTopLeft, InnerBottomRight;
};

// The order of the eight lines decides the shared corners: each ring's
// top/left colour owns its whole top row, its bottom/right colour its whole
// bottom row, including the bottom-left corner.
void DrawRingPair(TCanvas& c, int Left, int Top, int Right, int Bottom, const RingColors& k) {
  const int left1 = SatAdd(Left, 1), top1 = SatAdd(Top, 1), right1 = SatAdd(Right, -1),
            bottom1 = SatAdd(Bottom, -1);
  c.Pen.Color = k.OuterTopLeft;
  c.MoveTo(Left, Bottom);
  c.LineTo(Left, Top);
  c.LineTo(SatAdd(Right, 1), Top);
  c.MoveTo(Right, top1);
  c.Pen.Color = k.OuterBottomRight;
  c.LineTo(Right, Bottom);
  c.LineTo(SatAdd(Left, -1), Bottom);

  c.Pen.Color = k.InnerTopLeft;
  c.MoveTo(left1, bottom1);
  c.LineTo(left1, top1);
  c.LineTo(Right, top1);
  c.MoveTo(right1, SatAdd(Top, 2));
  c.Pen.Color = k.InnerBottomRight;
  c.LineTo(right1, bottom1);
  c.LineTo(Left, bottom1);
}

}  // namespace

void DrawFrame(TCanvas& Canvas, std::uint8_t Style, int Left, int Top, int Right, int Bottom, TColor HighlightColor,
               TColor LightColor, TColor ShadowColor, TColor DarkColor, TColor LineColor) {
  switch (Style & 0x7F) {
    case fsSimple:
      Canvas.Pen.Color = LineColor;
      DrawRectOutline(Canvas, Left, Top, Right, Bottom);
      break;
    case fsLowered:
      DrawRingPair(Canvas, Left, Top, Right, Bottom, {ShadowColor, HighlightColor, DarkColor, LightColor});
      break;
    case fsRaised:
      DrawRingPair(Canvas, Left, Top, Right, Bottom, {HighlightColor, DarkColor, LightColor, ShadowColor});
      break;
    case fsEmbossed:
      DrawRingPair(Canvas, Left, Top, Right, Bottom, {HighlightColor, ShadowColor, ShadowColor, HighlightColor});
      break;
    case fsEngraved:
      DrawRingPair(Canvas, Left, Top, Right, Bottom, {ShadowColor, HighlightColor, HighlightColor, ShadowColor});
      break;
    default:  // fsNone and values beyond the enumeration draw nothing
      break;
  }
}
