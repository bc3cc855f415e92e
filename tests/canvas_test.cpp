// Pixel rules of the canvas: lines leave out their end point, boxes cover
// X1..X2-1 and Y1..Y2-1, brushes follow the clear/solid rules, text sits by
// its cell, stretching samples or averages, and wild coordinates are safe.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <utility>

#include "support/WhiteBitmap.h"
#include "toolkit/Graphics.h"
#include "toolkit/SysUtils.h"

namespace {

struct LineCase {
  int x0, y0, x1, y1;
  PixelSet expected;
};

TEST(CanvasLine, SetsStartAndLeavesOutEndInEveryDirection) {
  const LineCase cases[] = {
      {5, 5, 8, 5, {{5, 5}, {6, 5}, {7, 5}}},                          // right
      {5, 5, 2, 5, {{5, 5}, {4, 5}, {3, 5}}},                          // left
      {5, 5, 5, 8, {{5, 5}, {5, 6}, {5, 7}}},                          // down
      {5, 5, 5, 2, {{5, 5}, {5, 4}, {5, 3}}},                          // up
      {5, 5, 8, 8, {{5, 5}, {6, 6}, {7, 7}}},                          // down-right
      {5, 5, 2, 2, {{5, 5}, {4, 4}, {3, 3}}},                          // up-left
      {5, 5, 8, 2, {{5, 5}, {6, 4}, {7, 3}}},                          // up-right
      {5, 5, 2, 8, {{5, 5}, {4, 6}, {3, 7}}},                          // down-left
      {2, 2, 8, 4, {{2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 3}, {7, 4}}},  // shallow slope
      {3,
       1,
       6,
       14,
       {{3, 1},
        {3, 2},
        {3, 3},
        {4, 4},
        {4, 5},
        {4, 6},
        {4, 7},  // steep: one pixel a row,
        {5, 8},
        {5, 9},
        {5, 10},
        {5, 11},
        {6, 12},
        {6, 13}}},       // the column rounded
      {5, 5, 5, 5, {}},  // zero length draws nothing
  };
  for (const auto& c : cases) {
    WhiteBitmap b(16, 16);
    b.Canvas().Pen.Color = clBlack;
    b.Canvas().MoveTo(c.x0, c.y0);
    b.Canvas().LineTo(c.x1, c.y1);
    EXPECT_EQ(b.Drawn(), c.expected) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    EXPECT_EQ(b.Canvas().PenPos, (TPoint{c.x1, c.y1}));
  }
}

TEST(CanvasLine, WildCoordinatesClipWithoutCost) {
  WhiteBitmap b(10, 10);
  b.Canvas().MoveTo(-2000000000, 5);
  b.Canvas().LineTo(2000000000, 5);
  b.Canvas().MoveTo(-1000000000, -1000000000);
  b.Canvas().LineTo(1000000000, 1000000000);
  const PixelSet s = b.Drawn();
  for (int x = 0; x < 10; ++x) {
    EXPECT_TRUE(s.count({x, 5}));
    EXPECT_TRUE(s.count({x, x}));
  }
  EXPECT_EQ(s.size(), 19u);
}

TEST(CanvasRectangle, CoversUpToButNotIncludingTheSecondCorner) {
  WhiteBitmap b(12, 12);
  TCanvas& c = b.Canvas();
  c.Pen.Color = clBlack;
  c.Brush.SetColor(clRed);
  c.Rectangle(2, 3, 7, 9);
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 12; ++x) {
      const bool inside = x >= 2 && x <= 6 && y >= 3 && y <= 8;
      const bool edge = inside && (x == 2 || x == 6 || y == 3 || y == 8);
      const TColor want = edge ? clBlack : inside ? clRed : clWhite;
      EXPECT_EQ(c.Pixel(x, y), want) << x << "," << y;
    }
  }
}

TEST(CanvasRectangle, ClearBrushLeavesInsideAndFillRectUsesBrushOnly) {
  WhiteBitmap b(12, 12);
  TCanvas& c = b.Canvas();
  c.Brush.SetStyle(bsClear);
  c.Rectangle(1, 1, 6, 6);
  EXPECT_EQ(c.Pixel(3, 3), clWhite);
  EXPECT_EQ(c.Pixel(1, 1), clBlack);
  EXPECT_EQ(b.Drawn().size(), 16u);  // only the 5 x 5 outline

  c.Brush.SetColor(clBlue);
  c.FillRect({7, 7, 9, 10});
  EXPECT_EQ(c.Pixel(7, 7), clBlue);
  EXPECT_EQ(c.Pixel(8, 9), clBlue);
  EXPECT_EQ(c.Pixel(9, 9), clWhite);
  EXPECT_EQ(c.Pixel(8, 10), clWhite);
}

TEST(CanvasRectangle, HugeAndReversedCoordinatesAreSafe) {
  WhiteBitmap b(8, 8);
  TCanvas& c = b.Canvas();
  c.Brush.SetColor(clRed);
  c.Rectangle(2000000000, 2000000000, -2000000000, -2000000000);
  EXPECT_EQ(c.Pixel(0, 0), clRed);  // edges lie far outside; all visible is inside
  c.FillRect({-2000000000, -5, 2000000000, 2000000000});
  EXPECT_EQ(c.Pixel(7, 7), clRed);
}

TEST(CanvasBrush, ClearMakesWhiteAndAColourMakesSolid) {
  TBrush brush;
  brush.SetColor(clNavy);
  brush.SetStyle(bsClear);
  EXPECT_EQ(brush.Color(), clWhite);
  brush.SetColor(clGray);
  EXPECT_EQ(brush.Style(), bsSolid);
  EXPECT_EQ(brush.Color(), clGray);
}

TEST(CanvasEllipse, StaysInsideItsBoxAndTouchesEverySide) {
  WhiteBitmap b(20, 20);
  TCanvas& c = b.Canvas();
  c.Brush.SetColor(clBlack);
  c.Ellipse(5, 6, 12, 13);  // 7 x 7 box: columns 5..11, rows 6..12
  int minX = 99, maxX = -1, minY = 99, maxY = -1;
  for (auto [x, y] : b.Drawn()) {
    minX = std::min(minX, x);
    maxX = std::max(maxX, x);
    minY = std::min(minY, y);
    maxY = std::max(maxY, y);
  }
  EXPECT_EQ(minX, 5);
  EXPECT_EQ(maxX, 11);
  EXPECT_EQ(minY, 6);
  EXPECT_EQ(maxY, 12);
  EXPECT_EQ(c.Pixel(8, 9), clBlack);
  // Corners given in any order name the same box.
  for (const TRect r : {TRect{12, 6, 5, 13}, TRect{5, 13, 12, 6}, TRect{12, 13, 5, 6}}) {
    WhiteBitmap other(20, 20);
    other.Canvas().Brush.SetColor(clBlack);
    other.Canvas().Ellipse(r.Left, r.Top, r.Right, r.Bottom);
    EXPECT_EQ(other.Drawn(), b.Drawn()) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

TEST(CanvasPixels, OutsideReadsInvalidAndWritesNothing) {
  WhiteBitmap b(4, 4);
  b.Canvas().SetPixel(-1, 2, clBlack);
  b.Canvas().SetPixel(4, 2, clBlack);
  EXPECT_TRUE(b.Drawn().empty());
  EXPECT_EQ(b.Canvas().Pixel(4, 0), 0xFFFFFFFFu);
  b.Canvas().SetPixel(3, 3, clNavy);
  EXPECT_EQ(b.Canvas().Pixel(3, 3), clNavy);
}

TEST(CanvasText, CellStartsAtTheGivenPointAndOnlyASolidBrushFillsIt) {
  WhiteBitmap b(80, 40);
  TCanvas& c = b.Canvas();
  c.Font.Color = clBlack;
  c.Brush.SetColor(clRed);
  const int w = c.TextWidth("42");
  const int h = c.TextHeight("42");
  ASSERT_GT(w, 0);
  EXPECT_GE(h, 13);
  c.TextOut(10, 5, "42");
  // The cell's corners are brush or glyph, never left white; outside is untouched.
  EXPECT_NE(c.Pixel(10, 5), clWhite);
  EXPECT_NE(c.Pixel(10 + w - 1, 5 + h - 1), clWhite);
  EXPECT_EQ(c.Pixel(9, 5), clWhite);
  EXPECT_EQ(c.Pixel(10, 4), clWhite);
  EXPECT_EQ(c.Pixel(10 + w, 5), clWhite);
  EXPECT_EQ(c.Pixel(10, 5 + h), clWhite);
  int glyph = 0;
  for (int y = 5; y < 5 + h; ++y)
    for (int x = 10; x < 10 + w; ++x) glyph += c.Pixel(x, y) == clBlack;
  EXPECT_GT(glyph, 10);

  // With a clear brush only the glyph's strokes are drawn.
  c.Brush.SetStyle(bsClear);
  c.TextOut(50, 5, "8");
  int ink = 0;
  for (auto [x, y] : b.Drawn()) {
    if (x < 50) continue;
    ++ink;
    EXPECT_EQ(c.Pixel(x, y), clBlack) << x << "," << y;
  }
  EXPECT_GT(ink, 0);
}

// A 2 x 2 checker of black and white.
void Checker(TBitmap& src) {
  src.SetSize(2, 2);
  src.Canvas().SetPixel(0, 0, clBlack);
  src.Canvas().SetPixel(1, 0, clWhite);
  src.Canvas().SetPixel(0, 1, clWhite);
  src.Canvas().SetPixel(1, 1, clBlack);
}

// Blocks (from 2 x 2 to far taller and wider than a few hundred pixels), all
// white or split between two colours, into one target pixel: the exact mean
// of the block, halves rounded up.
TEST(CanvasStretch, HalftoneAveragesLargeBlocksExactly) {
  struct Case {
    int Width, Height;
    bool SplitByRow;  // else by column
    int Split;        // rows or columns of the first colour
    TColor First, Second, Expected;
  };
  const Case cases[] = {
      {2, 2, true, 1, clWhite, clBlack, RGB(128, 128, 128)},
      {3, 70000, true, 70000, clWhite, clBlack, clWhite},
      {2000, 2000, true, 2000, clWhite, clBlack, clWhite},
      {5, 600, true, 400, clWhite, RGB(0, 90, 30), RGB(170, 200, 180)},
      {700, 3, false, 525, RGB(255, 0, 60), RGB(0, 255, 0), RGB(191, 64, 45)},
  };
  for (const Case& c : cases) {
    TBitmap src(c.Width, c.Height);
    src.Canvas().Brush.SetColor(c.Second);
    src.Canvas().FillRect({0, 0, c.Width, c.Height});
    src.Canvas().Brush.SetColor(c.First);
    src.Canvas().FillRect(c.SplitByRow ? TRect{0, 0, c.Width, c.Split} : TRect{0, 0, c.Split, c.Height});
    TBitmap dst(1, 1);
    dst.Canvas().SetStretchBltMode(HALFTONE);
    dst.Canvas().StretchBlt(0, 0, 1, 1, src, 0, 0, c.Width, c.Height);
    EXPECT_EQ(dst.Canvas().Pixel(0, 0), c.Expected) << c.Width << " x " << c.Height;
    TBitmap byRows(1, 1);
    TRowStretcher(byRows, c.Width, c.Height, HALFTONE).AddRows(src.Bits(), c.Height);
    EXPECT_EQ(byRows.Canvas().Pixel(0, 0), c.Expected) << c.Width << " x " << c.Height << " by rows";
  }
}

// A picture handed in bands of rows scales to the pixels StretchBlt gives the
// whole picture: shrinking, enlarging, both at once, blocks taller than the
// row sums hold, strips and the same size, in bands of one row, of three and
// of the whole picture.
TEST(CanvasStretch, RowsInBandsGiveTheWholePicturesPixels) {
  struct Size {
    int cx, cy;
  };
  const Size sizes[][2] = {{{720, 480}, {120, 80}}, {{7, 5}, {3, 2}},    {{5, 3}, {9, 7}},    {{9, 3}, {4, 8}},
                           {{3, 600}, {2, 2}},      {{1, 50}, {1, 120}}, {{50, 1}, {120, 1}}, {{13, 9}, {13, 9}}};
  std::mt19937 random(7);
  for (const auto& [from, to] : sizes) {
    TBitmap src(from.cx, from.cy);
    for (int y = 0; y < from.cy; ++y)
      for (int x = 0; x < from.cx; ++x) src.ScanLine(y)[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    for (const int mode : {COLORONCOLOR, HALFTONE}) {
      TBitmap whole(to.cx, to.cy);
      whole.Canvas().SetStretchBltMode(mode);
      whole.Canvas().StretchBlt(0, 0, to.cx, to.cy, src, 0, 0, from.cx, from.cy);
      for (const int band : {1, 3, from.cy}) {
        TBitmap byRows(to.cx, to.cy);
        TRowStretcher rows(byRows, from.cx, from.cy, mode);
        std::vector<std::uint32_t> copy;  // each band in memory of its own, spoilt after it
        for (int y = 0; y < from.cy; y += band) {
          const int count = std::min(band, from.cy - y);
          copy.assign(src.ScanLine(y), src.ScanLine(y) + std::size_t(count) * std::size_t(from.cx));
          rows.AddRows(copy.data(), count);
          std::fill(copy.begin(), copy.end(), 0u);
        }
        for (int y = 0; y < to.cy; ++y) {
          ASSERT_TRUE(std::equal(whole.ScanLine(y), whole.ScanLine(y) + to.cx, std::as_const(byRows).ScanLine(y)))
              << from.cx << " x " << from.cy << " to " << to.cx << " x " << to.cy << ", mode " << mode << ", band "
              << band << ", row " << y;
        }
      }
    }
  }
}

TEST(CanvasStretch, GrowthRepeatsPixelsInBothModes) {
  TBitmap src;
  Checker(src);
  for (int mode : {COLORONCOLOR, HALFTONE}) {
    TBitmap dst(4, 4);
    dst.Canvas().SetStretchBltMode(mode);
    dst.Canvas().StretchBlt(0, 0, 4, 4, src, 0, 0, 2, 2);
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 4; ++x) {
        const TColor want = ((x / 2 + y / 2) % 2 == 0) ? clBlack : clWhite;
        EXPECT_EQ(dst.Canvas().Pixel(x, y), want) << mode << ": " << x << "," << y;
      }
  }
}

TEST(CanvasStretch, ShrinkingDropsRowsAndColumnsWithoutSmoothing) {
  TBitmap src(4, 1);
  const TColor colours[] = {clRed, clBlue, clRed, clBlue};
  for (int x = 0; x < 4; ++x) src.Canvas().SetPixel(x, 0, colours[x]);
  TBitmap dst(2, 1);
  dst.Canvas().SetStretchBltMode(COLORONCOLOR);
  dst.Canvas().StretchBlt(0, 0, 2, 1, src, 0, 0, 4, 1);
  EXPECT_EQ(dst.Canvas().Pixel(0, 0), dst.Canvas().Pixel(1, 0));  // every other column dropped
  EXPECT_TRUE(dst.Canvas().Pixel(0, 0) == clRed || dst.Canvas().Pixel(0, 0) == clBlue);  // none mixed
}

TEST(CanvasStretch, ClipsWildTargetsAndIgnoresEmptyOnes) {
  TBitmap src;
  Checker(src);
  WhiteBitmap dst(5, 5);
  dst.Canvas().StretchBlt(-2000000000, -2000000000, 2100000000, 2100000000, src, 0, 0, 2, 2);
  dst.Canvas().StretchBlt(0, 0, 0, 5, src, 0, 0, 2, 2);
  dst.Canvas().StretchBlt(0, 0, 5, -5, src, 0, 0, 2, 2);
  TBitmap empty;
  dst.Canvas().StretchBlt(0, 0, 5, 5, empty, 0, 0, 0, 0);
  SUCCEED();
}

TEST(Bitmap, AssignSharesTheStoreUntilOneSideWrites) {
  TBitmap a(3, 3);
  a.Canvas().SetPixel(1, 1, clRed);
  TBitmap b;
  b.Assign(&a);
  EXPECT_TRUE(b.SharesStoreWith(a));
  EXPECT_EQ(b.Width(), 3);
  b.Canvas().SetPixel(1, 1, clBlue);
  EXPECT_FALSE(b.SharesStoreWith(a));
  EXPECT_EQ(a.Canvas().Pixel(1, 1), clRed);
  EXPECT_EQ(b.Canvas().Pixel(1, 1), clBlue);
}

TEST(Bitmap, EmptyBitmapsAreValidAndResizeKeepsTheOverlap) {
  TBitmap b;
  EXPECT_TRUE(b.Empty());
  b.Canvas().Rectangle(0, 0, 5, 5);
  b.Canvas().TextOut(0, 0, "1");
  b.SetSize(2, 2);
  b.Canvas().SetPixel(1, 1, clRed);
  b.SetSize(4, 3);
  EXPECT_EQ(b.Canvas().Pixel(1, 1), clRed);
  EXPECT_EQ(b.Canvas().Pixel(3, 2), clBlack);
}

}  // namespace

// A copy lands with its top-left corner at (x, y), cut at the target's edges.
TEST(CanvasDraw, CopiesLandAtTheirPlaceCutAtTheEdges) {
  TBitmap source(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) source.Canvas().SetPixel(x, y, TColor(0x102030 * (y * 3 + x + 1)));
  }
  for (const TPoint at : {TPoint{0, 0}, TPoint{-1, 1}, TPoint{0, 3}, TPoint{4, 4}}) {
    TBitmap target(6, 5);
    target.Canvas().Draw(at.X, at.Y, source);
    for (int y = 0; y < 5; ++y) {
      for (int x = 0; x < 6; ++x) {
        const int sx = x - at.X, sy = y - at.Y;
        const bool inside = sx >= 0 && sx < 3 && sy >= 0 && sy < 2;
        EXPECT_EQ(target.Canvas().Pixel(x, y), inside ? source.Canvas().Pixel(sx, sy) : clBlack)
            << "copy at " << at.X << "," << at.Y << ", pixel " << x << "," << y;
      }
    }
  }
}
