// Marker glyphs: every type's pixels around the centre, the brush it leaves
// behind, character placement and the printing variants.
#include <gtest/gtest.h>

#include <array>
#include <climits>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "lib/Tesk_teskbase.h"
#include "support/WhiteBitmap.h"

namespace {

constexpr int kSize = 61;
constexpr int kCX = 30, kCY = 30;
constexpr TColor kPen = clRed;
constexpr TColor kBrush = clGreen;

using Offsets = PixelSet;

// A white bitmap with the pen and brush of a marker test.
struct MarkerBitmap : WhiteBitmap {
  MarkerBitmap() : WhiteBitmap(kSize, kSize) {
    Canvas().Pen.Color = kPen;
    Canvas().Brush.SetColor(kBrush);
  }
  MarkerBitmap& Draw(int type, int x = kCX, int y = kCY) {
    DrawMarker(Canvas(), std::uint8_t(type), x, y);
    return *this;
  }
  Offsets Drawn() { return WhiteBitmap::Drawn(kCX, kCY); }
  bool Set(int dx, int dy) { return Canvas().Pixel(kCX + dx, kCY + dy) != clWhite; }
  bool SameAs(MarkerBitmap& other) {
    for (int y = 0; y < kSize; ++y)
      for (int x = 0; x < kSize; ++x)
        if (Canvas().Pixel(x, y) != other.Canvas().Pixel(x, y)) return false;
    return true;
  }
};

TEST(DrawMarker, PixelCountsOfTheLineDrawnAndSquareTypes) {
  const std::pair<int, int> counts[] = {{0, 1},   {3, 13},  {7, 9},   {8, 25},  {9, 49}, {10, 8},
                                        {11, 16}, {12, 24}, {18, 25}, {20, 5},  {21, 7}, {22, 5},
                                        {23, 7},  {25, 33}, {37, 14}, {38, 17}, {51, 25}};
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
  const std::set<int> rows[] = {{-3, -2, 2, 3},    {-3, -2, -1, 1, 2, 3}, {-2, -1, 0, 1, 2}, {-1, 0, 1},
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
  for (int k = -1; k <= 1; ++k)
    sight.insert({k, -3}), sight.insert({k, 3}), sight.insert({-3, k}), sight.insert({3, k});
  EXPECT_EQ(MarkerBitmap().Draw(51).Drawn(), sight);
}

// The composite symbols are exactly the union of their parts: 48 the 7 by 7
// square's border and the plus of arm 3, 49 the 5 by 5 square's border and
// the plus of arm 4 (two beyond the square), 39 the 7 by 7 circle outline
// (type 17, checked on its own) and the plus of arm 3, 50 the plus of arm 4
// and both diagonals of arm 3.
TEST(DrawMarker, CompositeSymbolsAreTheUnionOfTheirParts) {
  auto plus = [](int a) {
    Offsets s;
    for (int k = -a; k <= a; ++k) s.insert({k, 0}), s.insert({0, k});
    return s;
  };
  auto withBorder = [](Offsets s, int a) {
    for (int k = -a; k <= a; ++k) s.insert({k, -a}), s.insert({k, a}), s.insert({-a, k}), s.insert({a, k});
    return s;
  };
  Offsets star = plus(4), circlePlus = MarkerBitmap().Draw(17).Drawn();
  for (int k = -3; k <= 3; ++k)
    star.insert({k, k}), star.insert({k, -k}), circlePlus.insert({k, 0}), circlePlus.insert({0, k});
  EXPECT_EQ(MarkerBitmap().Draw(48).Drawn(), withBorder(plus(3), 3));
  EXPECT_EQ(MarkerBitmap().Draw(49).Drawn(), withBorder(plus(4), 2));
  EXPECT_EQ(MarkerBitmap().Draw(39).Drawn(), circlePlus);
  EXPECT_EQ(MarkerBitmap().Draw(50).Drawn(), star);
}

// Diamonds |x| + |y| <= a and triangles 0 <= y <= a - |x|: the filled types
// cover the closed shape, the outlines its boundary, every vertex included;
// 13 adds the centre to the outline of 19.
TEST(DrawMarker, ShapesWithStraightAndDiagonalEdgesAreExact) {
  struct Case {
    int type, a;
    bool diamond, filled;
  };
  const Case cases[] = {{14, 2, true, true},  {15, 3, true, true},   {19, 3, true, false}, {29, 2, false, true},
                        {30, 3, false, true}, {31, 2, false, false}, {32, 3, false, false}};
  Offsets outline19;
  for (const Case& c : cases) {
    auto inside = [&](int x, int y) {
      return c.diamond ? std::abs(x) + std::abs(y) <= c.a : y >= 0 && y <= c.a - std::abs(x);
    };
    Offsets want;
    for (int y = -c.a; y <= c.a; ++y)
      for (int x = -c.a; x <= c.a; ++x) {
        const bool boundary = !inside(x, y - 1) || !inside(x, y + 1) || !inside(x - 1, y) || !inside(x + 1, y);
        if (inside(x, y) && (c.filled || boundary)) want.insert({x, y});
      }
    EXPECT_EQ(MarkerBitmap().Draw(c.type).Drawn(), want) << "type " << c.type;
    if (c.type == 19) outline19 = want;
  }
  outline19.insert({0, 0});
  EXPECT_EQ(MarkerBitmap().Draw(13).Drawn(), outline19);
}

// Triangles with steeper edges: every vertex is set, a filled one covers
// every point of the closed triangle, the outline is part of it and leaves
// the inside alone.
TEST(DrawMarker, TrianglesSetEveryVertexAndFillOnlyWhenFilled) {
  struct Case {
    int outline, filled;
    TPoint p[3];
  };
  const Case cases[] = {{33, 34, {{-4, -3}, {0, 4}, {4, -3}}}, {35, 36, {{-4, 3}, {0, -4}, {4, 3}}},
                        {40, 41, {{3, -2}, {-2, 0}, {3, 2}}},  {42, 43, {{4, -3}, {-3, 0}, {4, 3}}},
                        {44, 45, {{-3, -2}, {2, 0}, {-3, 2}}}, {46, 47, {{-4, -3}, {3, 0}, {-4, 3}}}};
  for (const Case& c : cases) {
    // Signed distances to the three edges, scaled; all > 0 inside, >= 0 on it.
    auto side = [&](int i, int x, int y) {
      const TPoint a = c.p[i], b = c.p[(i + 1) % 3], o = c.p[(i + 2) % 3];
      const long long e = (long long)(b.X - a.X) * (y - a.Y) - (long long)(b.Y - a.Y) * (x - a.X);
      const long long ref = (long long)(b.X - a.X) * (o.Y - a.Y) - (long long)(b.Y - a.Y) * (o.X - a.X);
      return ref > 0 ? e : -e;
    };
    const Offsets hollow = MarkerBitmap().Draw(c.outline).Drawn();
    const Offsets solid = MarkerBitmap().Draw(c.filled).Drawn();
    for (const TPoint& v : c.p) {
      EXPECT_TRUE(hollow.count({v.X, v.Y})) << "type " << c.outline << " vertex " << v.X << "," << v.Y;
      EXPECT_TRUE(solid.count({v.X, v.Y})) << "type " << c.filled << " vertex " << v.X << "," << v.Y;
    }
    for (int y = -5; y <= 5; ++y)
      for (int x = -5; x <= 5; ++x) {
        if (side(0, x, y) >= 0 && side(1, x, y) >= 0 && side(2, x, y) >= 0) {
          EXPECT_TRUE(solid.count({x, y})) << "type " << c.filled << " at " << x << "," << y;
        }
      }
    for (const auto& px : hollow) EXPECT_TRUE(solid.count(px)) << "type " << c.filled << " lacks an outline pixel";
    EXPECT_LT(hollow.size() + 3, solid.size()) << "type " << c.outline << " is filled";
  }
}

// Circles are the pixels whose centres lie in the ellipse inscribed in the
// box; the outline is those with a neighbour outside. Round at every size:
// the corners of the box stay out, down to the 4 by 4 box of 27 and 28 that
// lies off centre from (-2, -2) to (1, 1).
TEST(DrawMarker, CirclesAreRoundAndLeaveTheCornersOfTheirBoxOut) {
  struct Case {
    int type, lo, hi;
    std::size_t count;
  };
  const Case cases[] = {{27, -2, 1, 8},  {28, -2, 1, 12}, {16, -2, 2, 12},
                        {26, -2, 2, 21}, {17, -3, 3, 16}, {24, -3, 3, 37}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.type);
    MarkerBitmap m;
    const Offsets drawn = m.Draw(c.type).Drawn();
    EXPECT_EQ(drawn.size(), c.count);
    for (int x : {c.lo, c.hi})
      for (int y : {c.lo, c.hi}) EXPECT_FALSE(m.Set(x, y)) << "corner " << x << "," << y;
    const int mid = (c.lo + c.hi) / 2;
    EXPECT_TRUE(m.Set(c.lo, mid) && m.Set(c.hi, mid) && m.Set(mid, c.lo) && m.Set(mid, c.hi));
    for (auto [x, y] : drawn) EXPECT_TRUE(drawn.count({c.lo + c.hi - x, y}) && drawn.count({x, c.lo + c.hi - y}));
  }
  MarkerBitmap ring;
  ring.Draw(27);
  EXPECT_FALSE(ring.Set(-1, -1) || ring.Set(0, 0) || ring.Set(-1, 0) || ring.Set(0, -1));
}

// Extent of each shape type: columns and rows, inclusive, around the centre.
struct Extent {
  int x1, x2, y1, y2;
};

Extent ShapeExtent(int t) {
  if (t == 0) return {0, 0, 0, 0};
  if (t <= 6) {
    const int a = (t - 1) % 3 + 1;
    return {-a, a, -a, a};
  }
  if (t <= 12) {
    const int a = (t - 7) % 3 + 1;
    return {-a, a, -a, a};
  }
  if (t == 14 || t == 16) return {-2, 2, -2, 2};
  if (t == 20 || t == 21) {
    const int a = t - 17;
    return {-(a - 1), a - 1, 0, a - 1};
  }
  if (t == 22 || t == 23) {
    const int a = t - 19;
    return {-(a - 1), a - 1, -(a - 1), 0};
  }
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
  const std::pair<int, std::string> chars[] = {{200, "0"}, {203, "3"}, {209, "9"},    {52, "4"},     {57, "9"},
                                               {65, "A"},  {97, "a"},  {199, "\xC7"}, {210, "\xD2"}, {255, "\xFF"}};
  for (const auto& [type, text] : chars) {
    MarkerBitmap got, want;
    got.Draw(type);
    DrawExpectedCharacter(want, text);
    EXPECT_FALSE(want.Drawn().empty()) << "type " << type;
    EXPECT_TRUE(got.SameAs(want)) << "type " << type;
  }
}

// Codes 128..159 are Windows-1252 characters: each of its 27 glyphs there
// is its own picture (not one missing-glyph box), centred by its own
// measured width (ink centre within 2 pixels of X; some glyphs reach beyond
// their advance) and height (ink inside the cell's rows).
TEST(DrawMarker, CharactersAreCentredByTheirCellAndCodes128To159AreOwnGlyphs) {
  const std::set<int> unassigned = {0x81, 0x8D, 0x8F, 0x90, 0x9D};
  std::set<Offsets> pictures;
  std::vector<int> types = {'W', 'i'};
  for (int type = 128; type <= 159; ++type) {
    if (!unassigned.count(type)) types.push_back(type);
  }
  for (int type : types) {
    SCOPED_TRACE(type);
    MarkerBitmap m;
    const std::string text(1, char(type));
    const int w = m.Canvas().TextWidth(text), h = m.Canvas().TextHeight(text);
    const Offsets drawn = m.Draw(type).Drawn();
    ASSERT_FALSE(drawn.empty());
    if (type >= 128) pictures.insert(drawn);
    int minX = kSize, maxX = -kSize;
    for (auto [x, y] : drawn) {
      minX = std::min(minX, x), maxX = std::max(maxX, x);
      EXPECT_TRUE(y >= -(h / 2) && y < -(h / 2) + h) << "row " << y;
    }
    EXPECT_LE(std::abs(minX + maxX), 4) << "ink " << minX << ".." << maxX << " of a cell " << w << " wide";
  }
  EXPECT_EQ(pictures.size(), 27u);
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
  auto hline = [](Offsets& s, int x1, int x2, int y) {
    for (int x = x1; x <= x2; ++x) s.insert({x, y});
  };
  auto vline = [](Offsets& s, int x, int y1, int y2) {
    for (int y = y1; y <= y2; ++y) s.insert({x, y});
  };
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
  // 18's lines from a point to itself set nothing; the pen ends on the last, (3, 3).
  MarkerBitmap dots;
  dots.Canvas().IsPrinterCanvas = true;
  EXPECT_TRUE(dots.Draw(18).Drawn().empty());
  EXPECT_EQ(dots.Canvas().PenPos, (TPoint{kCX + 3, kCY + 3}));
  // 25: six diagonal lines, each without its end point.
  Offsets bold;
  for (const auto& [x1, y1, x2, y2] : std::vector<std::array<int, 4>>{
           {-3, -3, 3, 3}, {-3, -2, 2, 3}, {-2, -3, 3, 2}, {-3, 3, 3, -3}, {-3, 2, 2, -3}, {-2, 3, 3, -2}}) {
    const int dx = x2 > x1 ? 1 : -1, dy = y2 > y1 ? 1 : -1;
    for (int k = 0; k < std::abs(x2 - x1); ++k) bold.insert({x1 + k * dx, y1 + k * dy});
  }
  EXPECT_EQ(printed(25), bold);
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

// Centres at the ends of the int range: nothing shows, nothing wraps round
// to the other side of the canvas.
TEST(DrawMarker, EveryTypeDrawsNearTheCentreAndNothingFromTheEndsOfTheRange) {
  for (int type = 0; type <= 255; ++type) {
    MarkerBitmap m;
    m.Draw(type);
    for (auto [x, y] : m.Drawn()) {
      EXPECT_TRUE(std::abs(x) <= 16 && std::abs(y) <= 16) << "type " << type << " at " << x << "," << y;
    }
    MarkerBitmap ends;
    for (auto [x, y] : {std::pair{INT_MAX, 10}, {INT_MIN, 10}, {10, INT_MAX}, {10, INT_MIN}, {INT_MIN, INT_MAX}}) {
      ends.Draw(type, x, y);
    }
    EXPECT_TRUE(ends.Drawn().empty()) << "type " << type;
  }
}

}  // namespace
