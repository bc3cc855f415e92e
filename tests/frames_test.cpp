// Frames: the plain outline and the two-ring bevels, pixel by pixel.
#include <gtest/gtest.h>

#include <climits>
#include <map>
#include <utility>
#include <vector>

#include "lib/Tesk_teskbase.h"
#include "support/WhiteBitmap.h"

namespace {

// Five distinct colours, so a swapped argument shows.
constexpr TColor kHighlight = 0x0000F1, kLight = 0x00F200, kShadow = 0xF30000, kDark = 0x404040, kLine = 0x123456;

using PixelMap = std::map<std::pair<int, int>, TColor>;

// Every pixel equals the map's colour where it has one, white elsewhere.
void ExpectExactly(TBitmap& b, const PixelMap& expected) {
  std::vector<TColor> want(std::size_t(b.Width() * b.Height()), clWhite);
  for (const auto& [at, c] : expected) {
    if (at.first >= 0 && at.second >= 0 && at.first < b.Width() && at.second < b.Height()) {
      want[std::size_t(at.second * b.Width() + at.first)] = c;
    }
  }
  int wrong = 0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const TColor got = b.Canvas().Pixel(x, y), w = want[std::size_t(y * b.Width() + x)];
      if (got != w && ++wrong <= 5)
        ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", want " << w;
    }
  }
  EXPECT_EQ(wrong, 0);
}

// Every pixel of x1..x2, y1..y2, inclusive.
void Span(PixelMap& m, int x1, int y1, int x2, int y2, TColor c) {
  for (int y = y1; y <= y2; ++y)
    for (int x = x1; x <= x2; ++x) m[{x, y}] = c;
}

struct Rings {
  TColor outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
};

// The resulting pixel table of the ring pair. It holds for rectangles at
// least 3 wide and 4 high; at 3 high the last line starts on the bottom row.
PixelMap ExpectedRings(int L, int T, int R, int B, const Rings& k) {
  PixelMap m;
  Span(m, L, T, R, T, k.outerTopLeft);
  Span(m, L, T + 1, L, B - 1, k.outerTopLeft);
  Span(m, L, B, R, B, k.outerBottomRight);
  Span(m, R, T + 1, R, B - 1, k.outerBottomRight);
  Span(m, L + 1, T + 1, R - 1, T + 1, k.innerTopLeft);
  Span(m, L + 1, T + 2, L + 1, B - 2, k.innerTopLeft);
  Span(m, L + 1, B - 1, R - 1, B - 1, k.innerBottomRight);
  Span(m, R - 1, T + 2, R - 1, B - 2, k.innerBottomRight);
  return m;
}

PixelMap ExpectedOutline(int L, int T, int R, int B, TColor c) {
  PixelMap m;
  Span(m, L, T, R, T, c);
  Span(m, L, B, R, B, c);
  Span(m, L, T, L, B, c);
  Span(m, R, T, R, B, c);
  return m;
}

void DrawTestFrame(TCanvas& c, std::uint8_t style, int L, int T, int R, int B) {
  DrawFrame(c, style, L, T, R, B, kHighlight, kLight, kShadow, kDark, kLine);
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
// 6..127 draw nothing and leave the pen. Edges at the ends of the int range
// stay there (no sum wraps round): the canvas clips the frame to the part in
// view, as it would a frame whose edges lie just outside.
TEST(DrawFrame, EveryStyleByteDrawsItsFrameWithTheHighBitIgnored) {
  struct Case {
    TRect drawn, model;
    int size;  // of the square canvas
  };
  const Case cases[] = {{{10, 12, 144, 146}, {10, 12, 144, 146}, 160},
                        {{3, 4, 5, 7}, {3, 4, 5, 7}, 12},
                        {{20, 20, 27, 40}, {20, 20, 27, 40}, 48},
                        {{2, 3, INT_MAX, INT_MAX}, {2, 3, 400, 400}, 20},
                        {{INT_MIN, INT_MIN, 15, 16}, {-400, -400, 15, 16}, 20}};
  for (int style = 0; style < 256; ++style) {
    SCOPED_TRACE(style);
    const int base = style & 127;
    for (const auto& [r, m, size] : cases) {
      WhiteBitmap w(size, size);
      w.Canvas().Pen.Color = clRed;
      DrawTestFrame(w.Canvas(), std::uint8_t(style), r.Left, r.Top, r.Right, r.Bottom);
      PixelMap want;
      TColor pen = clRed;
      if (base == fsSimple) {
        want = ExpectedOutline(m.Left, m.Top, m.Right, m.Bottom, kLine);
        pen = kLine;
      } else if (base >= fsLowered && base <= fsEngraved) {
        want = ExpectedRings(m.Left, m.Top, m.Right, m.Bottom, kBevels[base - fsLowered]);
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
  Span(m, 3, 4, 5, 4, kHighlight);
  m[{3, 5}] = kHighlight;
  m[{5, 5}] = m[{3, 6}] = m[{5, 6}] = kDark;
  m[{4, 6}] = m[{4, 5}] = kShadow;
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
      for (auto [x, y] : w.Drawn())
        EXPECT_TRUE(x >= std::min(r.Left, r.Right) - 1 && x <= std::max(r.Left, r.Right) + 1);
    }
  }
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
