// Marker glyphs: every type's pixels around the centre, the brush it leaves
// behind, character placement and the printing variants.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <utility>

#include "lib/Tesk_teskbase.h"

namespace {

constexpr int kSize = 61;
constexpr int kCX = 30, kCY = 30;
constexpr TColor kPen = clRed;
constexpr TColor kBrush = clGreen;

using Offsets = std::set<std::pair<int, int>>;

struct MarkerBitmap {
  MarkerBitmap() : bmp(kSize, kSize) {
    Canvas().Brush.SetColor(clWhite);
    Canvas().FillRect({0, 0, kSize, kSize});
    Canvas().Pen.Color = kPen;
    Canvas().Brush.SetColor(kBrush);
  }
  TCanvas& Canvas() { return bmp.Canvas(); }
  MarkerBitmap& Draw(int type, int x = kCX, int y = kCY) {
    DrawMarker(Canvas(), std::uint8_t(type), x, y);
    return *this;
  }
  // Offsets from the centre of every non-white pixel.
  Offsets Drawn() {
    Offsets s;
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        if (Canvas().Pixel(x, y) != clWhite) s.insert({x - kCX, y - kCY});
    return s;
  }
  bool Set(int dx, int dy) { return Canvas().Pixel(kCX + dx, kCY + dy) != clWhite; }
  bool SameAs(MarkerBitmap& other) {
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        if (Canvas().Pixel(x, y) != other.Canvas().Pixel(x, y)) return false;
    return true;
  }
  TBitmap bmp;
};

TEST(DrawMarker, PixelCountsOfTheLineDrawnAndSquareTypes) {
  const std::pair<int, int> counts[] = {{0, 1},   {3, 13},  {7, 9},   {8, 25},  {9, 49},  {10, 8},
                                        {11, 16}, {12, 24}, {13, 13}, {18, 25}, {19, 12}, {20, 5},
                                        {21, 7},  {22, 5},  {23, 7},  {25, 33}, {37, 14}, {38, 17},
                                        {48, 33}, {49, 29}, {50, 29}, {51, 25}};
  for (const auto& [type, count] : counts) {
    EXPECT_EQ(MarkerBitmap().Draw(type).Drawn().size(), std::size_t(count)) << "type " << type;
  }
}

// Predicates of the patterns' pixel sets as the table describes them.
TEST(DrawMarker, PlusAndCrossPatterns) {
  auto plus = [](int a) {
    Offsets s;
    for (int k = -a; k <= a; ++k) s.insert({k, 0}), s.insert({0, k});
    return s;
  };
  auto cross = [](int a) {
    Offsets s;
    for (int k = -a; k <= a; ++k) s.insert({k, k}), s.insert({k, -k});
    return s;
  };
  for (int a = 1; a <= 3; ++a) {
    EXPECT_EQ(MarkerBitmap().Draw(a).Drawn(), plus(a)) << "type " << a;
    EXPECT_EQ(MarkerBitmap().Draw(a + 3).Drawn(), cross(a)) << "type " << a + 3;
  }
  EXPECT_EQ(MarkerBitmap().Draw(0).Drawn(), (Offsets{{0, 0}}));
}

TEST(DrawMarker, CheckerboardSetsEvenSumsOnly) {
  Offsets want;
  for (int i = -3; i <= 3; ++i)
    for (int j = -3; j <= 3; ++j)
      if ((i + j) % 2 == 0) want.insert({i, j});
  MarkerBitmap m;
  EXPECT_EQ(m.Draw(18).Drawn(), want);
  EXPECT_TRUE(m.Set(0, 0) && m.Set(-3, -3) && m.Set(3, 3) && m.Set(-3, 3) && m.Set(3, -3));
  EXPECT_FALSE(m.Set(1, 0) || m.Set(-1, 0) || m.Set(0, 1) || m.Set(0, -1));
}

TEST(DrawMarker, BoldCrossRows) {
  const std::set<int> rows[] = {{-3, -2, 2, 3}, {-3, -2, -1, 1, 2, 3}, {-2, -1, 0, 1, 2}, {-1, 0, 1},
                                {-2, -1, 0, 1, 2}, {-3, -2, -1, 1, 2, 3}, {-3, -2, 2, 3}};
  Offsets want;
  for (int r = -3; r <= 3; ++r)
    for (int c : rows[r + 3]) want.insert({c, r});
  EXPECT_EQ(MarkerBitmap().Draw(25).Drawn(), want);
}

TEST(DrawMarker, SquaresFilledAndOutlined) {
  for (int a = 1; a <= 3; ++a) {
    Offsets block, border;
    for (int i = -a; i <= a; ++i)
      for (int j = -a; j <= a; ++j) {
        block.insert({i, j});
        if (std::abs(i) == a || std::abs(j) == a) border.insert({i, j});
      }
    EXPECT_EQ(MarkerBitmap().Draw(6 + a).Drawn(), block) << "type " << 6 + a;
    EXPECT_EQ(MarkerBitmap().Draw(9 + a).Drawn(), border) << "type " << 9 + a;
  }
}

TEST(DrawMarker, InvertedTStemEndsAtMinusSeven) {
  MarkerBitmap m;
  m.Draw(37);
  EXPECT_TRUE(m.Set(0, -7));
  EXPECT_FALSE(m.Set(0, -8));
  EXPECT_TRUE(m.Set(-3, 0) && m.Set(3, 0));
  EXPECT_FALSE(m.Set(4, 0) || m.Set(-4, 0));
}

TEST(DrawMarker, IBeamAndSightBars) {
  Offsets beam;
  for (int c = -3; c <= 3; ++c) beam.insert({c, -2}), beam.insert({c, 2});
  for (int r = -1; r <= 1; ++r) beam.insert({0, r});
  EXPECT_EQ(MarkerBitmap().Draw(38).Drawn(), beam);

  Offsets sight;
  for (int k = -4; k <= 4; ++k) sight.insert({k, 0}), sight.insert({0, k});
  for (int k = -1; k <= 1; ++k) sight.insert({k, -3}), sight.insert({k, 3}), sight.insert({-3, k}), sight.insert({3, k});
  EXPECT_EQ(MarkerBitmap().Draw(51).Drawn(), sight);
}

TEST(DrawMarker, SmallSquareWithLongPlusReachesTwoBeyond) {
  MarkerBitmap m;
  m.Draw(49);
  for (auto [x, y] : {std::pair{4, 0}, {-4, 0}, {0, 4}, {0, -4}}) EXPECT_TRUE(m.Set(x, y));
  for (auto [x, y] : {std::pair{5, 0}, {-5, 0}, {0, 5}, {0, -5}}) EXPECT_FALSE(m.Set(x, y));
  EXPECT_TRUE(m.Set(2, 2) && m.Set(-2, -2));  // the 5 by 5 square's corners
}

TEST(DrawMarker, FourByFourCirclesLieOffCentreTowardsTopLeft) {
  for (int type : {27, 28}) {
    const Offsets drawn = MarkerBitmap().Draw(type).Drawn();
    ASSERT_FALSE(drawn.empty());
    for (auto [x, y] : drawn) {
      EXPECT_TRUE(x >= -2 && x <= 1 && y >= -2 && y <= 1) << "type " << type << " at " << x << "," << y;
    }
  }
  MarkerBitmap filled;
  filled.Draw(28);
  EXPECT_TRUE(filled.Set(-1, -1) && filled.Set(0, 0) && filled.Set(-1, 0) && filled.Set(0, -1));
}

// Extent of each shape type: columns and rows, inclusive, around the centre.
struct Extent {
  int x1, x2, y1, y2;
};

Extent ShapeExtent(int t) {
  if (t == 0) return {0, 0, 0, 0};
  if (t <= 6) { const int a = (t - 1) % 3 + 1; return {-a, a, -a, a}; }
  if (t <= 12) { const int a = (t - 7) % 3 + 1; return {-a, a, -a, a}; }
  if (t == 14 || t == 16) return {-2, 2, -2, 2};
  if (t == 20 || t == 21) { const int a = t - 17; return {-(a - 1), a - 1, 0, a - 1}; }
  if (t == 22 || t == 23) { const int a = t - 19; return {-(a - 1), a - 1, -(a - 1), 0}; }
  if (t == 26) return {-2, 2, -2, 2};
  if (t == 27 || t == 28) return {-2, 1, -2, 1};
  if (t == 29 || t == 31) return {-2, 2, 0, 2};
  if (t == 30 || t == 32) return {-3, 3, 0, 3};
  if (t == 33 || t == 34) return {-4, 4, -3, 4};
  if (t == 35 || t == 36) return {-4, 4, -4, 3};
  if (t == 37) return {-3, 3, -7, 0};
  if (t == 38) return {-3, 3, -2, 2};
  if (t == 40 || t == 41) return {-2, 3, -2, 2};
  if (t == 42 || t == 43) return {-3, 4, -3, 3};
  if (t == 44 || t == 45) return {-3, 2, -2, 2};
  if (t == 46 || t == 47) return {-4, 3, -3, 3};
  if (t >= 49) return {-4, 4, -4, 4};
  return {-3, 3, -3, 3};  // 13, 15, 17, 18, 19, 24, 25, 39, 48
}

TEST(DrawMarker, EveryShapeStaysInsideItsExtentInThePenColour) {
  for (int type = 0; type <= 51; ++type) {
    SCOPED_TRACE(type);
    MarkerBitmap m;
    m.Draw(type);
    const Extent e = ShapeExtent(type);
    const Offsets drawn = m.Drawn();
    EXPECT_FALSE(drawn.empty());
    for (auto [x, y] : drawn) {
      EXPECT_TRUE(x >= e.x1 && x <= e.x2 && y >= e.y1 && y <= e.y2) << "pixel at " << x << "," << y;
      // Filled shapes carry the pen colour inside; hollow ones show no brush.
      EXPECT_EQ(m.Canvas().Pixel(kCX + x, kCY + y), kPen) << "at " << x << "," << y;
    }
  }
}

TEST(DrawMarker, ShapesGiveTheBrushColourBackAndLeaveItSolid) {
  for (int type = 0; type <= 51; ++type) {
    SCOPED_TRACE(type);
    MarkerBitmap solid;
    solid.Draw(type);
    EXPECT_EQ(solid.Canvas().Brush.Color(), kBrush);
    EXPECT_EQ(solid.Canvas().Brush.Style(), bsSolid);
    EXPECT_EQ(solid.Canvas().Pen.Color, kPen);

    MarkerBitmap clear;  // a clear brush is white; restoring that colour makes it solid
    clear.Canvas().Brush.SetStyle(bsClear);
    clear.Draw(type);
    EXPECT_EQ(clear.Canvas().Brush.Color(), clWhite);
    EXPECT_EQ(clear.Canvas().Brush.Style(), bsSolid);
  }
}

// What a character marker of this text must look like: the cell's top-left
// at the centre minus half its size, in the pen colour, without background.
void DrawExpectedCharacter(MarkerBitmap& m, const std::string& text, int x = kCX, int y = kCY) {
  TCanvas& c = m.Canvas();
  const int w = c.TextWidth(text), h = c.TextHeight(text);
  c.Font.Color = c.Pen.Color;
  c.Brush.SetStyle(bsClear);
  c.TextOut(x - w / 2, y - h / 2, text);
}

TEST(DrawMarker, CharacterTypesAndTheirCodes) {
  const std::pair<int, std::string> chars[] = {{200, "0"}, {203, "3"}, {209, "9"}, {52, "4"},  {57, "9"},
                                               {65, "A"},  {97, "a"},  {199, "\xC7"}, {210, "\xD2"}, {255, "\xFF"}};
  for (const auto& [type, text] : chars) {
    MarkerBitmap got, want;
    got.Draw(type);
    DrawExpectedCharacter(want, text);
    EXPECT_FALSE(want.Drawn().empty()) << "type " << type;
    EXPECT_TRUE(got.SameAs(want)) << "type " << type;
  }
  // 48..51 are shapes, never the digits 0..3.
  for (int type = 48; type <= 51; ++type) {
    MarkerBitmap shape, digit;
    shape.Draw(type);
    DrawExpectedCharacter(digit, std::string(1, char('0' + type - 48)));
    EXPECT_FALSE(shape.SameAs(digit)) << "type " << type;
  }
}

TEST(DrawMarker, CharacterCellIsCentredByHalfWidthAndHalfHeight) {
  MarkerBitmap m;
  TCanvas& c = m.Canvas();
  const int w = c.TextWidth("W"), h = c.TextHeight("W");
  m.Draw('W');
  const Offsets drawn = m.Drawn();
  ASSERT_FALSE(drawn.empty());
  int minX = kSize, maxX = -kSize, minY = kSize, maxY = -kSize;
  for (auto [x, y] : drawn) {
    minX = std::min(minX, x), maxX = std::max(maxX, x), minY = std::min(minY, y), maxY = std::max(maxY, y);
  }
  // The glyph's ink lies inside its cell, which starts at -(w div 2), -(h div 2).
  EXPECT_GE(minX, -(w / 2));
  EXPECT_LT(maxX, -(w / 2) + w);
  EXPECT_GE(minY, -(h / 2));
  EXPECT_LT(maxY, -(h / 2) + h);
}

TEST(DrawMarker, CharacterLeavesFontInPenColourAndBrushClear) {
  MarkerBitmap m;
  m.Draw(65);
  TCanvas& c = m.Canvas();
  EXPECT_EQ(c.Font.Color, kPen);
  EXPECT_EQ(c.Brush.Style(), bsClear);
  EXPECT_EQ(c.Brush.Color(), clWhite);
  // A rectangle drawn next without setting the brush shows no interior.
  c.Pen.Color = clBlue;
  c.Rectangle(2, 2, 12, 12);
  EXPECT_EQ(c.Pixel(2, 2), clBlue);
  EXPECT_EQ(c.Pixel(6, 6), clWhite);
}

TEST(DrawMarker, PrintingCanvasDrawsLinesForTheEightVariantTypes) {
  auto printed = [](int type) {
    MarkerBitmap m;
    m.Canvas().IsPrinterCanvas = true;
    return m.Draw(type).Drawn();
  };
  auto hline = [](Offsets& s, int x1, int x2, int y) { for (int x = x1; x <= x2; ++x) s.insert({x, y}); };
  auto vline = [](Offsets& s, int x, int y1, int y2) { for (int y = y1; y <= y2; ++y) s.insert({x, y}); };
  for (int type = 1; type <= 3; ++type) {
    const int a = type + 1;  // lines leave out their end points
    Offsets want;
    hline(want, -a, a - 1, 0);
    vline(want, 0, -a, a - 1);
    EXPECT_EQ(printed(type), want) << "type " << type;
  }
  for (int type = 4; type <= 6; ++type) {
    const int a = type - 2;
    Offsets want;
    for (int k = 0; k < 2 * a; ++k) want.insert({-a + k, -a + k}), want.insert({-a + k, a - k});
    EXPECT_EQ(printed(type), want) << "type " << type;
  }
  EXPECT_TRUE(printed(18).empty());  // lines from a point to itself set nothing
  EXPECT_EQ(printed(25).size(), 27u);
  // Every other type draws the same on both canvases.
  for (int type : {0, 7, 12, 13, 17, 24, 37, 48, 51, 65, 200}) {
    MarkerBitmap screen;
    screen.Draw(type);
    MarkerBitmap printer;
    printer.Canvas().IsPrinterCanvas = true;
    printer.Draw(type);
    EXPECT_TRUE(screen.SameAs(printer)) << "type " << type;
  }
}

TEST(DrawMarker, EveryTypeDrawsNearTheCentreAndIsClippedAtTheEdges) {
  for (int type = 0; type <= 255; ++type) {
    MarkerBitmap m;
    m.Draw(type);
    for (auto [x, y] : m.Drawn()) {
      EXPECT_TRUE(std::abs(x) <= 16 && std::abs(y) <= 16) << "type " << type << " at " << x << "," << y;
    }
    MarkerBitmap edges;
    for (auto [x, y] : {std::pair{0, 0}, {-3, -3}, {kSize, kSize}, {-1000000, 5}, {5, 2000000000}}) {
      edges.Draw(type, x, y);
    }
  }
}

}  // namespace
