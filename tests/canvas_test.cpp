// Pixel rules of the canvas: lines leave out their end point, boxes cover
// X1..X2-1 and Y1..Y2-1, brushes follow the clear/solid rules, text sits by
// its cell, stretching samples or averages, and wild coordinates are safe.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "support/WhiteBitmap.h"
#include "toolkit/DevicePixels.h"
#include "toolkit/FitPicture.h"
#include "toolkit/Graphics.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr int kHuge = 2000000000;

// Every pixel of the bitmap against the colour the rule gives for its place.
template <typename Rule>
void ExpectEveryPixel(const TBitmap& b, Rule want) {
  for (int y = 0; y < b.Height(); ++y)
    for (int x = 0; x < b.Width(); ++x) EXPECT_EQ(PixelToColor(b.ScanLine(y)[x]), want(x, y)) << x << "," << y;
}

// n pixels from (x, y) on, a step (dx, dy) apart.
PixelSet Along(int x, int y, int dx, int dy, int n = 16) {
  PixelSet s;
  for (int i = 0; i < n; ++i) s.insert({x + i * dx, y + i * dy});
  return s;
}

TEST(CanvasLine, SetsStartAndLeavesOutEndInEveryDirection) {
  // One pixel a row, the column rounded.
  const PixelSet steep = {{3, 1}, {3, 2}, {3, 3},  {4, 4},  {4, 5},  {4, 6}, {4, 7},
                          {5, 8}, {5, 9}, {5, 10}, {5, 11}, {6, 12}, {6, 13}};
  const struct {
    int x0, y0, x1, y1;
    PixelSet expected;
  } cases[] = {
      {5, 5, 8, 5, Along(5, 5, 1, 0, 3)},                              // right
      {5, 5, 2, 5, Along(5, 5, -1, 0, 3)},                             // left
      {5, 5, 5, 8, Along(5, 5, 0, 1, 3)},                              // down
      {5, 5, 5, 2, Along(5, 5, 0, -1, 3)},                             // up
      {5, 5, 8, 8, Along(5, 5, 1, 1, 3)},                              // down-right
      {5, 5, 2, 2, Along(5, 5, -1, -1, 3)},                            // up-left
      {5, 5, 8, 2, Along(5, 5, 1, -1, 3)},                             // up-right
      {5, 5, 2, 8, Along(5, 5, -1, 1, 3)},                             // down-left
      {2, 2, 8, 4, {{2, 2}, {3, 2}, {4, 3}, {5, 3}, {6, 3}, {7, 4}}},  // shallow slope
      {3, 1, 6, 14, steep},
      {5, 5, 5, 5, {}},  // zero length draws nothing
      // Wild coordinates clip without cost.
      {-kHuge, 5, kHuge, 5, Along(0, 5, 1, 0)},
      {-kHuge / 2, -kHuge / 2, kHuge / 2, kHuge / 2, Along(0, 0, 1, 1)},
  };
  for (const auto& c : cases) {
    WhiteBitmap b(16, 16);
    b.Canvas().MoveTo(c.x0, c.y0);
    b.Canvas().LineTo(c.x1, c.y1);
    EXPECT_EQ(b.Drawn(), c.expected) << c.x0 << "," << c.y0 << " -> " << c.x1 << "," << c.y1;
    EXPECT_EQ(b.Canvas().PenPos, (TPoint{c.x1, c.y1}));
  }
}

// Rectangle and FillRect on a white 12 x 12 bitmap against the rules: the box
// covers X1..X2-1 and Y1..Y2-1 whichever corners come first; Rectangle draws
// its top and bottom rows and its two side columns in the pen, the inside in
// the brush (left alone by a clear one); a pen w wide sets a w x w square
// centred on each pixel of the side columns; FillRect draws the brush alone.
TEST(CanvasRectangle, BoxesFollowTheirRulesPixelForPixel) {
  const struct {
    int x1, y1, x2, y2, PenWidth;
    TColor Brush;  // clWhite for a clear brush
    bool Fill;     // FillRect, not Rectangle
  } cases[] = {
      {2, 3, 7, 9, 1, clRed, false},
      {7, 9, 2, 3, 1, clBlue, false},
      {1, 1, 6, 6, 1, clWhite, false},
      {3, 2, 9, 10, 3, clRed, false},
      {kHuge, kHuge, -kHuge, -kHuge, 1, clRed, false},  // edges far outside; all visible is inside
      {4, 4, 4, 9, 1, clRed, false},
      {7, 7, 9, 10, 1, clBlue, true},
      {-kHuge, -5, kHuge, kHuge, 1, clRed, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << "," << c.x2 << "," << c.y2 << " pen " << c.PenWidth);
    WhiteBitmap b(12, 12);
    TCanvas& canvas = b.Canvas();
    canvas.Pen.Width = c.PenWidth;
    c.Brush == clWhite ? canvas.Brush.SetStyle(bsClear) : canvas.Brush.SetColor(c.Brush);
    c.Fill ? canvas.FillRect({c.x1, c.y1, c.x2, c.y2}) : canvas.Rectangle(c.x1, c.y1, c.x2, c.y2);
    const long long left = std::min(c.x1, c.x2), right = std::max(c.x1, c.x2) - 1;
    const long long top = std::min(c.y1, c.y2), bottom = std::max(c.y1, c.y2) - 1;
    const int half = c.PenWidth / 2;
    const auto near = [&](long long v, long long at) { return v >= at - half && v < at - half + c.PenWidth; };
    ExpectEveryPixel(b, [&](int x, int y) {
      const bool inside = x >= left && x <= right && y >= top && y <= bottom;
      const bool side = (near(x, left) || near(x, right)) && y >= top - half && y < bottom - half + c.PenWidth;
      const bool edge =
          !c.Fill && left <= right && top <= bottom && (side || (inside && (y == top || y == bottom)));
      return edge ? clBlack : (inside ? c.Brush : clWhite);
    });
  }
}

// The ellipse inscribed in the box: the pixels whose centres lie inside it,
// those with a 4-neighbour outside in the pen, the rest in the brush; corners
// in any order name the same box.
TEST(CanvasEllipse, CoversThePixelsWhoseCentresLieInside) {
  constexpr int kWide = 2147483647;
  // One a pixel wide, whose tips hold no column; the last two as wide as an
  // int reaches, whose squares need 128 bits.
  const TRect cases[] = {{5, 6, 12, 13},
                         {12, 6, 5, 13},
                         {5, 13, 12, 6},
                         {12, 13, 5, 6},
                         {1, 1, 5, 5},
                         {2, 3, 17, 8},
                         {-4, -2, 6, 9},
                         {3, 3, 4, 4},
                         {5, 0, 6, 9},
                         {-kWide, 2, kWide, 17},
                         {-kWide, -kWide, kWide, kWide}};
  for (const TRect& r : cases) {
    SCOPED_TRACE(testing::Message() << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom);
    WhiteBitmap b(20, 20);
    b.Canvas().Brush.SetColor(clRed);
    b.Canvas().Ellipse(r.Left, r.Top, r.Right, r.Bottom);
    // Squares of up to 2^32 multiplied: 128 bits without a sign.
    __extension__ using Wide = unsigned __int128;
    const auto square = [](long long a) { return Wide(a < 0 ? -a : a) * Wide(a < 0 ? -a : a); };
    const Wide w2 = square((long long)r.Right - r.Left), h2 = square((long long)r.Bottom - r.Top);
    const long long sx = (long long)r.Left + r.Right, sy = (long long)r.Top + r.Bottom;
    // In half pixels from the centre: (2x + 1 - sx)^2 / w^2 + (2y + 1 - sy)^2 / h^2 <= 1.
    const auto in = [&](long long x, long long y) {
      return square(2 * x + 1 - sx) * h2 + square(2 * y + 1 - sy) * w2 <= w2 * h2;
    };
    ExpectEveryPixel(b, [&](int x, int y) {
      const bool edge = !in(x - 1, y) || !in(x + 1, y) || !in(x, y - 1) || !in(x, y + 1);
      return !in(x, y) ? clWhite : (edge ? clBlack : clRed);
    });
  }
}

// Outside reads invalid and writes nothing; a system colour sets the colour
// of the fixed scheme (the highlight 0x0078D7 as 0x00BBGGRR).
TEST(CanvasPixels, PixelsBrushesAndEmptyBitmaps) {
  WhiteBitmap b(4, 4);
  b.Canvas().SetPixel(-1, 2, clBlack);
  b.Canvas().SetPixel(4, 2, clBlack);
  EXPECT_TRUE(b.Drawn().empty());
  EXPECT_EQ(b.Canvas().Pixel(4, 0), 0xFFFFFFFFu);
  b.Canvas().SetPixel(3, 3, clNavy);
  EXPECT_EQ(b.Canvas().Pixel(3, 3), clNavy);
  b.Canvas().SetPixel(2, 3, clHighlight);
  EXPECT_EQ(b.Canvas().Pixel(2, 3), TColor(0xD77800));

  // A clear brush is white, and a colour makes it solid.
  TBrush brush;
  brush.SetColor(clNavy);
  brush.SetStyle(bsClear);
  EXPECT_EQ(brush.Color(), clWhite);
  brush.SetColor(clGray);
  EXPECT_EQ(brush.Style(), bsSolid);
  EXPECT_EQ(brush.Color(), clGray);

  // An empty bitmap takes drawing; a resize keeps the overlap, the rest black.
  TBitmap e;
  EXPECT_TRUE(e.Width() == 0 && e.Height() == 0);
  e.Canvas().Rectangle(0, 0, 5, 5);
  e.Canvas().TextOut(0, 0, "1");
  e.SetSize(2, 2);
  e.Canvas().SetPixel(1, 1, clRed);
  e.Canvas().SetPixel(0, 1, clBlue);  // a row's copy one byte long would spill it after row 0
  e.SetSize(4, 3);
  EXPECT_TRUE(e.Width() == 4 && e.Height() == 3);
  ExpectEveryPixel(e, [](int x, int y) { return y != 1 || x > 1 ? clBlack : (x ? clRed : clBlue); });
}

TEST(CanvasText, CellStartsAtTheGivenPointAndOnlyASolidBrushFillsIt) {
  WhiteBitmap b(80, 40);
  TCanvas& c = b.Canvas();
  c.Font.Color = clMaroon;
  c.Brush.SetColor(clRed);
  const int w = c.TextWidth("42"), h = c.TextHeight("42");
  ASSERT_GT(w, 0);
  EXPECT_GE(h, 13);
  c.TextOut(10, 5, "42");
  // The cell's corners are brush or glyph, never left white; outside is
  // untouched. With a clear brush only the glyph's strokes are drawn.
  EXPECT_NE(c.Pixel(10, 5), clWhite);
  EXPECT_NE(c.Pixel(10 + w - 1, 5 + h - 1), clWhite);
  c.Brush.SetStyle(bsClear);
  c.TextOut(50, 5, "8");
  int glyph = 0, ink = 0;
  for (auto [x, y] : b.Drawn()) {
    const bool first = x < 50;
    EXPECT_TRUE(!first || (x >= 10 && x < 10 + w && y >= 5 && y < 5 + h)) << x << "," << y;
    EXPECT_TRUE(first || c.Pixel(x, y) == clMaroon) << x << "," << y;
    (first ? glyph : ink) += c.Pixel(x, y) == clMaroon;
  }
  EXPECT_GT(glyph, 10);
  EXPECT_GT(ink, 0);

  // Text wholly off the bitmap, on any side, changes nothing, not even the
  // store it shares, and leaves the pen after it as drawn text does.
  TBitmap shared;
  shared.Assign(&b);
  int changes = 0;
  b.OnChange = [&] { ++changes; };
  for (const TPoint at : {TPoint{80, 5}, TPoint{10, 40}, TPoint{-w, 5}, TPoint{10, -h}}) {
    c.TextOut(at.X, at.Y, "42");
    EXPECT_EQ(c.PenPos, (TPoint{at.X + w, at.Y}));
  }
  EXPECT_TRUE(b.SharesStoreWith(shared));
  EXPECT_EQ(changes, 0);
  // One column or row of the cell on the bitmap is drawn.
  c.Brush.SetColor(clRed);
  c.TextOut(1 - w, 20, "42");
  c.TextOut(30, 1 - h, "42");
  EXPECT_NE(c.Pixel(0, 20), clWhite);
  EXPECT_NE(c.Pixel(30, 0), clWhite);
  EXPECT_EQ(changes, 2);
}

// Blocks (from 2 x 2 to far taller and wider than a few hundred pixels), all
// white or split between two colours, into one target pixel: the exact mean
// of the block, halves rounded up.
TEST(CanvasStretch, HalftoneAveragesLargeBlocksExactly) {
  const struct {
    int Width, Height;
    TRect First;  // the part in the first colour, the rest in the second
    TColor Colours[2], Expected;
  } cases[] = {
      {2, 2, {0, 0, 2, 1}, {clWhite, clBlack}, RGB(128, 128, 128)},
      {1, 3, {0, 0, 1, 1}, {clWhite, clBlack}, RGB(85, 85, 85)},
      {3, 1, {0, 0, 1, 1}, {clWhite, clBlack}, RGB(85, 85, 85)},
      {3, 70000, {0, 0, 3, 70000}, {clWhite, clBlack}, clWhite},
      {2000, 2000, {0, 0, 2000, 2000}, {clWhite, clBlack}, clWhite},
      {5, 600, {0, 0, 5, 400}, {clWhite, RGB(0, 90, 30)}, RGB(170, 200, 180)},
      {700, 3, {0, 0, 525, 3}, {RGB(255, 0, 60), RGB(0, 255, 0)}, RGB(191, 64, 45)},
  };
  for (const auto& c : cases) {
    TBitmap src(c.Width, c.Height);
    src.Canvas().Brush.SetColor(c.Colours[1]);
    src.Canvas().FillRect({0, 0, c.Width, c.Height});
    src.Canvas().Brush.SetColor(c.Colours[0]);
    src.Canvas().FillRect(c.First);
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
// of the whole picture. Either way a target sharing its store with another
// bitmap is copied first.
TEST(CanvasStretch, RowsInBandsGiveTheWholePicturesPixels) {
  const TPoint sizes[][2] = {{{720, 480}, {120, 80}}, {{7, 5}, {3, 2}},    {{5, 3}, {9, 7}},    {{9, 3}, {4, 8}},
                             {{3, 600}, {2, 2}},      {{1, 50}, {1, 120}}, {{50, 1}, {120, 1}}, {{13, 9}, {13, 9}}};
  std::mt19937 random(7);
  for (const auto& [from, to] : sizes) {
    TBitmap src(from.X, from.Y);
    for (int y = 0; y < from.Y; ++y)
      for (int x = 0; x < from.X; ++x) src.ScanLine(y)[x] = 0xFF000000u | (random() & 0xFFFFFFu);
    for (const int mode : {COLORONCOLOR, HALFTONE}) {
      TBitmap whole(to.X, to.Y), sharer;
      const std::vector<std::uint32_t> blank(whole.Bits(), whole.Bits() + std::size_t(to.X) * std::size_t(to.Y));
      const auto untouched = [&] { return std::equal(blank.begin(), blank.end(), sharer.Bits()); };
      sharer.Assign(&whole);
      whole.Canvas().SetStretchBltMode(mode);
      whole.Canvas().StretchBlt(0, 0, to.X, to.Y, src, 0, 0, from.X, from.Y);
      EXPECT_TRUE(untouched());
      for (const int band : {1, 3, from.Y}) {
        TBitmap byRows(to.X, to.Y);
        sharer.Assign(&byRows);
        TRowStretcher rows(byRows, from.X, from.Y, mode);
        std::vector<std::uint32_t> copy;  // each band in memory of its own, spoilt after it
        for (int y = 0; y < from.Y; y += band) {
          const int count = std::min(band, from.Y - y);
          copy.assign(src.ScanLine(y), src.ScanLine(y) + std::size_t(count) * std::size_t(from.X));
          rows.AddRows(copy.data(), count);
          std::fill(copy.begin(), copy.end(), 0u);
        }
        EXPECT_TRUE(untouched());
        ASSERT_TRUE(std::equal(whole.Bits(), whole.Bits() + std::size_t(to.X) * std::size_t(to.Y), byRows.Bits()))
            << from.X << " x " << from.Y << " to " << to.X << " x " << to.Y << ", mode " << mode << ", band "
            << band;
      }
    }
  }
}

// The large view's fitted picture is the picture averaged (HALFTONE) onto
// the fitted size, as the canvas would stretch it.
TEST(CanvasStretch, FittedPictureIsTheHalftoneStretch) {
  std::mt19937 random(11);
  TBitmap picture(70, 60);
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 70; ++x) picture.ScanLine(y)[x] = 0xFF000000u | (random() & 0xFFFFFFu);
  const TFitSize size = FittedSize({70, 60}, {62, 62});
  ASSERT_EQ(size, (TFitSize{62, 53}));  // 60 * 62 / 70 = 53.1
  const std::shared_ptr<const TBitmap> fitted = FitPicture(picture, size);
  ASSERT_NE(fitted, nullptr);
  TBitmap expected(62, 53);
  expected.Canvas().SetStretchBltMode(HALFTONE);
  expected.Canvas().StretchBlt(0, 0, 62, 53, picture, 0, 0, 70, 60);
  ASSERT_EQ(fitted->Width(), 62);
  ASSERT_EQ(fitted->Height(), 53);
  EXPECT_TRUE(std::equal(expected.Bits(), expected.Bits() + 62 * 53, fitted->Bits()));
  EXPECT_EQ(FitPicture(TBitmap(), size), nullptr);
  // A part of it (a zoom larger than the view makes only what is in view)
  // is the same pixels, cut out: the blocks are the whole picture's.
  for (const TFitRect part : {TFitRect{0, 0, 62, 53}, TFitRect{7, 5, 30, 20}, TFitRect{61, 52, 1, 1}}) {
    const std::shared_ptr<const TBitmap> made = FitPicture(picture, size, nullptr, part);
    ASSERT_NE(made, nullptr);
    ASSERT_EQ(std::pair(made->Width(), made->Height()), std::pair(part.Width, part.Height));
    for (int y = 0; y < part.Height; ++y)
      ASSERT_TRUE(
          std::equal(made->ScanLine(y), made->ScanLine(y) + part.Width, expected.ScanLine(part.Y + y) + part.X))
          << part.X << ", " << part.Y << " row " << y;
  }
}

// Growing repeats pixels in both modes, and a source rectangle past the
// source's edge repeats its edge; shrinking without smoothing drops rows and
// columns; wild and empty targets draw nothing and are safe.
TEST(CanvasStretch, GrowthRepeatsShrinkingDropsAndWildTargetsClip) {
  TBitmap checker(2, 2);  // black and white
  checker.Canvas().SetPixel(1, 0, clWhite);
  checker.Canvas().SetPixel(0, 1, clWhite);
  for (int mode : {COLORONCOLOR, HALFTONE}) {
    WhiteBitmap dst(7, 4);  // columns 2 to 5 drawn
    dst.Canvas().SetStretchBltMode(mode);
    dst.Canvas().StretchBlt(2, 0, 4, 4, checker, 0, 0, 2, 2);
    ExpectEveryPixel(dst,
                     [](int x, int y) { return x >= 2 && x < 6 && (x / 2 + y / 2) % 2 == 1 ? clBlack : clWhite; });
    TBitmap edge(4, 1), pair(2, 2);  // red, blue over black
    pair.Canvas().SetPixel(0, 0, clRed);
    pair.Canvas().SetPixel(1, 0, clBlue);
    edge.Canvas().SetStretchBltMode(mode);
    edge.Canvas().StretchBlt(0, 0, 4, 1, pair, 0, 0, 4, 1);
    ExpectEveryPixel(edge, [](int x, int) { return x == 0 ? clRed : clBlue; });
  }
  TBitmap stripes(4, 1);
  for (int x = 0; x < 4; ++x) stripes.Canvas().SetPixel(x, 0, x % 2 ? clBlue : clRed);
  TBitmap dst(2, 1);
  dst.Canvas().SetStretchBltMode(COLORONCOLOR);
  dst.Canvas().StretchBlt(0, 0, 2, 1, stripes, 0, 0, 4, 1);
  EXPECT_EQ(dst.Canvas().Pixel(0, 0), dst.Canvas().Pixel(1, 0));  // every other column dropped
  EXPECT_TRUE(dst.Canvas().Pixel(0, 0) == clRed || dst.Canvas().Pixel(0, 0) == clBlue);  // none mixed

  // No width or height on either side, or no source: nothing drawn.
  WhiteBitmap wild(5, 5);
  wild.Canvas().StretchBlt(0, 0, 0, 5, checker, 0, 0, 2, 2);
  wild.Canvas().StretchBlt(0, 0, 5, -5, checker, 0, 0, 2, 2);
  wild.Canvas().StretchBlt(0, 0, 5, 5, checker, 0, 0, 2, 0);
  wild.Canvas().StretchBlt(0, 0, 5, 5, checker, 0, 0, 0, 2);
  wild.Canvas().StretchBlt(0, 0, 5, 5, TBitmap(), 0, 0, 2, 2);
  EXPECT_TRUE(wild.Drawn().empty());
  // Every target pixel inside the black source pixel (1, 1).
  wild.Canvas().StretchBlt(-kHuge, -kHuge, 2100000000, 2100000000, checker, 0, 0, 2, 2);
  ExpectEveryPixel(wild, [](int, int) { return clBlack; });
}

// A copy lands with its top-left corner at (x, y), cut at the target's edges.
TEST(CanvasDraw, CopiesLandAtTheirPlaceCutAtTheEdges) {
  TBitmap source(3, 2);
  for (int i = 0; i < 6; ++i) source.Canvas().SetPixel(i % 3, i / 3, TColor(0x102030 * (i + 1)));
  for (const TPoint at : {TPoint{0, 0}, TPoint{-1, 1}, TPoint{0, 3}, TPoint{4, 4}}) {
    TBitmap target(6, 5);
    target.Canvas().Draw(at.X, at.Y, source);
    SCOPED_TRACE(testing::Message() << "copy at " << at.X << "," << at.Y);
    ExpectEveryPixel(target, [&](int x, int y) {
      const int sx = x - at.X, sy = y - at.Y;
      return sx >= 0 && sx < 3 && sy >= 0 && sy < 2 ? source.Canvas().Pixel(sx, sy) : clBlack;
    });
  }
}

// A finer screen's copy: each pixel of the area r x r at r times its place,
// the area cut at the source's edges, nothing written beside its blocks.
TEST(CanvasDraw, RepeatedCopiesFillTheirBlocksAndNothingBeside) {
  TBitmap source(5, 4);
  for (int i = 0; i < 20; ++i) source.Canvas().SetPixel(i % 5, i / 5, TColor(0x0A0B0C * (i + 1)));
  for (const int r : {2, 3}) {
    for (const TRect area : {TRect{1, 1, 3, 2}, TRect{3, 2, 5, 4}, TRect{-2, 3, 9, 9}, TRect{0, 0, 5, 4}}) {
      SCOPED_TRACE(testing::Message() << "ratio " << r << ", area " << area.Left << "," << area.Top << " to "
                                      << area.Right << "," << area.Bottom);
      TBitmap target(5 * r, 4 * r);
      MagnifyPixels(source, area, r, target);
      ExpectEveryPixel(target, [&](int x, int y) {
        const int sx = x / r, sy = y / r;
        const bool inside = sx >= area.Left && sx < area.Right && sy >= area.Top && sy < area.Bottom;
        return inside ? source.Canvas().Pixel(sx, sy) : clBlack;
      });
    }
  }
}

}  // namespace
