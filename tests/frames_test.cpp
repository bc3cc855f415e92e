// Frames: the plain outline and the two-ring bevels, pixel by pixel.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <utility>

#include "lib/Tesk_teskbase.h"
#include "support/WhiteBitmap.h"

namespace {

constexpr TColor kGray = 0x808080;
// Five distinct colours, so a swapped argument shows.
constexpr TColor kHighlight = 0x0000F1, kLight = 0x00F200, kShadow = 0xF30000, kDark = 0x404040, kLine = 0x123456;

using PixelMap = std::map<std::pair<int, int>, TColor>;

// Every pixel equals the map's colour where it has one, the background elsewhere.
void ExpectExactly(TBitmap& b, const PixelMap& expected, TColor background = clWhite) {
  int wrong = 0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const auto it = expected.find({x, y});
      const TColor want = it == expected.end() ? background : it->second;
      if (b.Canvas().Pixel(x, y) != want && ++wrong <= 5) {
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << b.Canvas().Pixel(x, y) << ", want "
                      << want;
      }
    }
  }
  EXPECT_EQ(wrong, 0);
}

void PaintRow(PixelMap& m, int y, int x1, int x2, TColor c) {
  for (int x = x1; x <= x2; ++x) m[{x, y}] = c;
}
void PaintColumn(PixelMap& m, int x, int y1, int y2, TColor c) {
  for (int y = y1; y <= y2; ++y) m[{x, y}] = c;
}

struct Rings {
  TColor outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
};

// The resulting pixel table of the ring pair. It holds for rectangles at
// least 3 wide and 4 high; at 3 high the last line starts on the bottom row.
PixelMap ExpectedRings(int L, int T, int R, int B, const Rings& k) {
  PixelMap m;
  PaintRow(m, T, L, R, k.outerTopLeft);
  PaintColumn(m, L, T + 1, B - 1, k.outerTopLeft);
  PaintRow(m, B, L, R, k.outerBottomRight);
  PaintColumn(m, R, T + 1, B - 1, k.outerBottomRight);
  PaintRow(m, T + 1, L + 1, R - 1, k.innerTopLeft);
  PaintColumn(m, L + 1, T + 2, B - 2, k.innerTopLeft);
  PaintRow(m, B - 1, L + 1, R - 1, k.innerBottomRight);
  PaintColumn(m, R - 1, T + 2, B - 2, k.innerBottomRight);
  return m;
}

PixelMap ExpectedOutline(int L, int T, int R, int B, TColor c) {
  PixelMap m;
  PaintRow(m, T, L, R, c);
  PaintRow(m, B, L, R, c);
  PaintColumn(m, L, T, B, c);
  PaintColumn(m, R, T, B, c);
  return m;
}

void DrawTestFrame(TCanvas& c, std::uint8_t style, int L, int T, int R, int B) {
  DrawFrame(c, style, L, T, R, B, kHighlight, kLight, kShadow, kDark, kLine);
}

TEST(DrawFrame, RaisedWithTheGridColoursOnTheWorkedRectangle) {
  WhiteBitmap w(160, 160);
  w.Canvas().Brush.SetColor(clRed);  // a background none of the frame's colours
  w.Canvas().FillRect({0, 0, 160, 160});
  DrawFrame(w.Canvas(), fsRaised, 10, 12, 144, 146, clWhite, clSilver, kGray, clBlack, clBlack);
  PixelMap m;
  PaintRow(m, 12, 10, 144, clWhite);
  PaintColumn(m, 10, 13, 145, clWhite);
  PaintRow(m, 146, 10, 144, clBlack);
  PaintColumn(m, 144, 13, 145, clBlack);
  PaintRow(m, 13, 11, 143, clSilver);
  PaintColumn(m, 11, 14, 144, clSilver);
  PaintRow(m, 145, 11, 143, kGray);
  PaintColumn(m, 143, 14, 144, kGray);
  ExpectExactly(w, m, clRed);
  EXPECT_EQ(w.Canvas().Pen.Color, kGray);
}

// Ring colours by style: outer top/left, outer bottom/right, inner top/left,
// inner bottom/right.
const Rings kBevels[] = {
    {kShadow, kHighlight, kDark, kLight},        // fsLowered
    {kHighlight, kDark, kLight, kShadow},        // fsRaised
    {kHighlight, kShadow, kShadow, kHighlight},  // fsEmbossed
    {kShadow, kHighlight, kHighlight, kShadow},  // fsEngraved
};

// Every style byte, bit 128 ignored: fsSimple the inclusive boundary in
// LineColor, the bevels their two rings (each ring's bottom-left corner in
// its bottom/right colour), the pen left in the last colour set; fsNone and
// 6..127 draw nothing and leave the pen.
TEST(DrawFrame, EveryStyleByteDrawsItsFrameWithTheHighBitIgnored) {
  for (int style = 0; style < 256; ++style) {
    SCOPED_TRACE(style);
    const int base = style & 127;
    for (const TRect r : {TRect{10, 12, 144, 146}, TRect{3, 4, 5, 7}, TRect{20, 20, 27, 40}}) {
      WhiteBitmap w(160, 160);
      w.Canvas().Pen.Color = clRed;
      DrawTestFrame(w.Canvas(), std::uint8_t(style), r.Left, r.Top, r.Right, r.Bottom);
      PixelMap want;
      TColor pen = clRed;
      if (base == fsSimple) {
        want = ExpectedOutline(r.Left, r.Top, r.Right, r.Bottom, kLine);
        pen = kLine;
      } else if (base >= fsLowered && base <= fsEngraved) {
        want = ExpectedRings(r.Left, r.Top, r.Right, r.Bottom, kBevels[base - fsLowered]);
        pen = kBevels[base - fsLowered].innerBottomRight;
      }
      ExpectExactly(w, want);
      EXPECT_EQ(w.Canvas().Pen.Color, pen);
    }
  }
}

TEST(DrawFrame, ThreeByThreeFollowsTheOrderOfTheEightLines) {
  WhiteBitmap w(12, 12);
  DrawTestFrame(w.Canvas(), fsRaised, 3, 4, 5, 6);
  // Worked by hand from the line sequence: the inner bottom/right line
  // starts on (4, 6), the middle of the bottom row, and takes it.
  PixelMap m;
  PaintRow(m, 4, 3, 5, kHighlight);
  m[{3, 5}] = kHighlight;
  m[{5, 5}] = kDark;
  m[{3, 6}] = kDark;
  m[{5, 6}] = kDark;
  m[{4, 6}] = kShadow;
  m[{4, 5}] = kShadow;
  ExpectExactly(w, m);
}

TEST(DrawFrame, SmallReversedAndOffCanvasRectanglesStayInsideTheirLines) {
  const TRect odd[] = {
      {5, 5, 5, 5},       {5, 5, 6, 6}, {30, 30, 3, 2}, {-50, -50, 500, 500}, {-2000000000, 0, 2000000000, 20},
      {100, 100, 90, 120}};
  for (const TRect& r : odd) {
    for (int style = 1; style <= 5; ++style) {
      WhiteBitmap w(40, 40);
      DrawTestFrame(w.Canvas(), std::uint8_t(style), r.Left, r.Top, r.Right, r.Bottom);
      // Whatever shows lies on the bounding box of the rectangle, one pixel wider.
      for (int y = 0; y < 40; ++y) {
        for (int x = 0; x < 40; ++x) {
          if (w.Canvas().Pixel(x, y) == clWhite) continue;
          EXPECT_GE(x, std::min(r.Left, r.Right) - 1);
          EXPECT_LE(x, std::max(r.Left, r.Right) + 1);
        }
      }
    }
  }
}

// Edges at the ends of the int range stay there (no sum wraps round): the
// canvas clips the frame to the part in view.
TEST(DrawFrame, EdgesAtTheEndsOfTheRangeAreClippedNotWrapped) {
  const Rings raised{kHighlight, kDark, kLight, kShadow};
  WhiteBitmap far(20, 20);
  DrawTestFrame(far.Canvas(), fsRaised, 2, 3, INT_MAX, INT_MAX);
  PixelMap m;
  PaintRow(m, 3, 2, 19, raised.outerTopLeft);
  PaintColumn(m, 2, 4, 19, raised.outerTopLeft);
  PaintRow(m, 4, 3, 19, raised.innerTopLeft);
  PaintColumn(m, 3, 5, 19, raised.innerTopLeft);
  ExpectExactly(far, m);

  WhiteBitmap near(20, 20);
  DrawTestFrame(near.Canvas(), fsRaised, INT_MIN, INT_MIN, 15, 16);
  m.clear();
  PaintRow(m, 16, 0, 15, raised.outerBottomRight);
  PaintColumn(m, 15, 0, 15, raised.outerBottomRight);
  PaintRow(m, 15, 0, 14, raised.innerBottomRight);
  PaintColumn(m, 14, 0, 14, raised.innerBottomRight);
  ExpectExactly(near, m);
}

TEST(DrawRectOutline, DrawsEveryBoundaryPixelInTheCurrentPenAndEndsAtTopLeft) {
  WhiteBitmap w(160, 160);
  w.Canvas().Pen.Color = clNavy;
  DrawRectOutline(w.Canvas(), 10, 12, 144, 146);
  ExpectExactly(w, ExpectedOutline(10, 12, 144, 146, clNavy));
  EXPECT_EQ(w.Canvas().Pen.Color, clNavy);
  EXPECT_EQ(w.Canvas().PenPos, (TPoint{10, 12}));
}

}  // namespace
