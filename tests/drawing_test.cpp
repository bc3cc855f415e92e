// The library's drawing primitives on a white bitmap: marker glyphs (every
// type's pixels around the centre, the brush they leave behind, characters,
// the printing variants) and frames (the outline and the two-ring bevels).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lib/Tesk_teskbase.h"
#include "support/GridReference.h"
#include "support/WhiteBitmap.h"

namespace {

constexpr int kSize = 61, kC = 30;
constexpr TColor kPen = clRed, kBrush = clGreen;

// A white bitmap with the pen and brush of a marker test.
struct MarkerBitmap : WhiteBitmap {
  explicit MarkerBitmap(bool printer = false) : WhiteBitmap(kSize, kSize) {
    Canvas().Pen.Color = kPen;
    Canvas().Brush.SetColor(kBrush);
    Canvas().IsPrinterCanvas = printer;
  }
  MarkerBitmap& Draw(int type, int x = kC, int y = kC) {
    DrawMarker(Canvas(), std::uint8_t(type), x, y);
    return *this;
  }
  PixelSet Drawn() { return WhiteBitmap::Drawn(kC, kC); }
};

using Segments = std::vector<std::array<int, 4>>;

// The pixels of level, upright and diagonal segments, both ends included.
PixelSet Pixels(const Segments& segments) {
  PixelSet s;
  for (const auto& [x1, y1, x2, y2] : segments) {
    const int dx = (x2 > x1) - (x2 < x1), dy = (y2 > y1) - (y2 < y1);
    for (int k = 0; k <= std::max(std::abs(x2 - x1), std::abs(y2 - y1)); ++k) s.insert({x1 + k * dx, y1 + k * dy});
  }
  return s;
}

// The types made of straight strokes, on the screen and on the printing
// device (whose variants draw lines that leave out their end points).
TEST(DrawMarker, StrokeTypesAreExactlyTheirSegments) {
  struct Case {
    int type;
    bool printer;
    Segments segments;
  };
  std::vector<Case> cases = {
      {0, false, {{0, 0, 0, 0}}},
      {20, false, {{0, 0, -2, 2}, {0, 0, 2, 2}}},
      {21, false, {{0, 0, -3, 3}, {0, 0, 3, 3}}},
      {22, false, {{0, 0, -2, -2}, {0, 0, 2, -2}}},
      {23, false, {{0, 0, -3, -3}, {0, 0, 3, -3}}},
      {25, false, {{-3, -3, 3, 3}, {-3, -2, 2, 3}, {-2, -3, 3, 2}, {-3, 3, 3, -3}, {-3, 2, 2, -3}, {-2, 3, 3, -2}}},
      {37, false, {{-3, 0, 3, 0}, {0, 0, 0, -7}}},
      {38, false, {{-3, -2, 3, -2}, {-3, 2, 3, 2}, {0, -2, 0, 2}}},
      {48, false, {{-3, -3, 3, -3}, {-3, 3, 3, 3}, {-3, -3, -3, 3}, {3, -3, 3, 3}, {-3, 0, 3, 0}, {0, -3, 0, 3}}},
      {49, false, {{-2, -2, 2, -2}, {-2, 2, 2, 2}, {-2, -2, -2, 2}, {2, -2, 2, 2}, {-4, 0, 4, 0}, {0, -4, 0, 4}}},
      {50, false, {{-4, 0, 4, 0}, {0, -4, 0, 4}, {-3, -3, 3, 3}, {-3, 3, 3, -3}}},
      {51, false, {{-4, 0, 4, 0}, {0, -4, 0, 4}, {-1, -3, 1, -3}, {-1, 3, 1, 3}, {-3, -1, -3, 1}, {3, -1, 3, 1}}},
      {18, true, {}},  // lines from a point to itself set nothing
      {25, true, {{-3, -3, 2, 2}, {-3, -2, 1, 2}, {-2, -3, 2, 1}, {-3, 3, 2, -2}, {-3, 2, 1, -2}, {-2, 3, 2, -1}}},
  };
  // The plus (1..3) and the cross (4..6) of arm a; printed, every stroke
  // starts one pixel further out.
  for (int k = 0; k < 6; ++k) {
    const int a = k / 2 + 1, p = k % 2;
    cases.push_back({a, p == 1, {{-a - p, 0, a, 0}, {0, -a - p, 0, a}}});
    cases.push_back({a + 3, p == 1, {{-a - p, -a - p, a, a}, {-a - p, a + p, a, -a}}});
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "type " << c.type << (c.printer ? " printed" : ""));
    MarkerBitmap m(c.printer);
    EXPECT_EQ(m.Draw(c.type).Drawn(), Pixels(c.segments));
    // 18's pen ends on its last point.
    EXPECT_TRUE(c.type != 18 || m.Canvas().PenPos == (TPoint{kC + 3, kC + 3}));
  }
  // 39 is the 7 by 7 circle of 17 with the plus of arm 3.
  PixelSet circlePlus = MarkerBitmap().Draw(17).Drawn(), plus = Pixels({{-3, 0, 3, 0}, {0, -3, 0, 3}});
  circlePlus.insert(plus.begin(), plus.end());
  EXPECT_EQ(MarkerBitmap().Draw(39).Drawn(), circlePlus);
  // Every other type draws the same on both canvases.
  for (int type : {0, 7, 12, 13, 17, 24, 37, 48, 51, 65, 200}) {
    EXPECT_TRUE(SamePixels(MarkerBitmap(true).Draw(type), MarkerBitmap().Draw(type))) << "type " << type;
  }
}

// Squares |x|, |y| <= a, diamonds |x| + |y| <= a, triangles 0 <= y <= a - |x|,
// the 7 by 7 checkerboard of even x + y, and circles: the pixels whose centres
// lie in the circle inscribed in the box of side a from -(a / 2) (off centre
// for the 4 by 4 of 27 and 28). The filled types cover the closed shape, the
// outlines its pixels with a neighbour outside; 13 adds the centre to 19.
TEST(DrawMarker, AreasAndTheirOutlinesAreExact) {
  enum Shape { Square, Diamond, Triangle, Checker, Circle };
  struct Case {
    int type;
    Shape shape;
    int a;
    bool filled, centre = false;
  };
  const Case cases[] = {{7, Square, 1, true},     {8, Square, 2, true},          {9, Square, 3, true},
                        {10, Square, 1, false},   {11, Square, 2, false},        {12, Square, 3, false},
                        {14, Diamond, 2, true},   {15, Diamond, 3, true},        {19, Diamond, 3, false},
                        {29, Triangle, 2, true},  {13, Diamond, 3, false, true}, {30, Triangle, 3, true},
                        {31, Triangle, 2, false}, {32, Triangle, 3, false},      {18, Checker, 3, true},
                        {27, Circle, 4, false},   {28, Circle, 4, true},         {16, Circle, 5, false},
                        {26, Circle, 5, true},    {17, Circle, 7, false},        {24, Circle, 7, true}};
  for (const Case& c : cases) {
    auto inside = [&](int x, int y) {
      const bool box = std::abs(x) <= c.a && std::abs(y) <= c.a;
      const int u = 2 * x + c.a / 2 - (c.a - 1) / 2, v = 2 * y + c.a / 2 - (c.a - 1) / 2;
      if (c.shape == Circle) return u * u + v * v <= c.a * c.a;
      if (c.shape == Diamond) return std::abs(x) + std::abs(y) <= c.a;
      if (c.shape == Triangle) return y >= 0 && y <= c.a - std::abs(x);
      return box && (c.shape == Square || (x + y) % 2 == 0);
    };
    PixelSet want;
    for (int y = -c.a; y <= c.a; ++y)
      for (int x = -c.a; x <= c.a; ++x) {
        const bool boundary = !inside(x, y - 1) || !inside(x, y + 1) || !inside(x - 1, y) || !inside(x + 1, y);
        if (inside(x, y) && (c.filled || boundary)) want.insert({x, y});
      }
    if (c.centre) want.insert({0, 0});
    EXPECT_EQ(MarkerBitmap().Draw(c.type).Drawn(), want) << "type " << c.type;
  }
}

// Triangles with steeper edges: every vertex is set, a filled one covers
// every point of the closed triangle, the outline is part of it and leaves
// the inside alone, and nothing lies outside the vertices' box.
TEST(DrawMarker, TrianglesSetEveryVertexAndFillOnlyWhenFilled) {
  struct Case {
    int outline, filled;
    TPoint p[3];
  };
  const Case cases[] = {{33, 34, {{-4, -3}, {0, 4}, {4, -3}}}, {35, 36, {{-4, 3}, {0, -4}, {4, 3}}},
                        {40, 41, {{3, -2}, {-2, 0}, {3, 2}}},  {42, 43, {{4, -3}, {-3, 0}, {4, 3}}},
                        {44, 45, {{-3, -2}, {2, 0}, {-3, 2}}}, {46, 47, {{-4, -3}, {3, 0}, {-4, 3}}}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filled);
    // Signed distances to the three edges, scaled; all > 0 inside, >= 0 on it.
    auto side = [&](int i, int x, int y) {
      const TPoint a = c.p[i], b = c.p[(i + 1) % 3], o = c.p[(i + 2) % 3];
      const long long e = (long long)(b.X - a.X) * (y - a.Y) - (long long)(b.Y - a.Y) * (x - a.X);
      const long long ref = (long long)(b.X - a.X) * (o.Y - a.Y) - (long long)(b.Y - a.Y) * (o.X - a.X);
      return ref > 0 ? e : -e;
    };
    const PixelSet hollow = MarkerBitmap().Draw(c.outline).Drawn();
    const PixelSet solid = MarkerBitmap().Draw(c.filled).Drawn();
    for (const TPoint& v : c.p) EXPECT_TRUE(hollow.count({v.X, v.Y}) && solid.count({v.X, v.Y}));
    for (int y = -5; y <= 5; ++y)
      for (int x = -5; x <= 5; ++x) {
        const bool in = side(0, x, y) >= 0 && side(1, x, y) >= 0 && side(2, x, y) >= 0;
        EXPECT_TRUE(!in || solid.count({x, y})) << x << "," << y;
      }
    for (const auto& px : hollow) EXPECT_TRUE(solid.count(px)) << "lacks an outline pixel";
    EXPECT_LT(hollow.size() + 3, solid.size()) << "type " << c.outline << " is filled";
    const auto [x1, x2] = std::minmax({c.p[0].X, c.p[1].X, c.p[2].X});
    const auto [y1, y2] = std::minmax({c.p[0].Y, c.p[1].Y, c.p[2].Y});
    for (auto [x, y] : solid) EXPECT_TRUE(x >= x1 && x <= x2 && y >= y1 && y <= y2) << x << "," << y;
  }
}

// Every type draws near the centre; from centres at the ends of the int
// range nothing shows, nothing wraps round to the other side of the canvas.
// Shapes (up to 51) draw in the pen colour alone (filled ones carry it
// inside, hollow ones show no brush) and give the brush colour back, solid;
// a clear brush is white, and restoring that colour makes it solid.
// A character (from 52; 200..209 the digits) is its text's cell with the
// top-left at the centre minus half its size, in the pen colour, without
// background: its ink lies in the cell's rows, centred on X within 2 pixels
// (some glyphs reach beyond their advance). The font is left in the pen
// colour and the brush clear, so a rectangle drawn next shows no interior.
// Codes 128..159 are Windows-1252 characters: each of its 27 glyphs there is
// its own picture, not one missing-glyph box.
TEST(DrawMarker, EveryTypeDrawsNearTheCentreInThePenColour) {
  std::set<PixelSet> pictures;
  for (int type = 0; type <= 255; ++type) {
    SCOPED_TRACE(type);
    MarkerBitmap solid, ends, other;
    const PixelSet drawn = solid.Draw(type).Drawn();
    for (auto [x, y] : drawn) EXPECT_TRUE(std::abs(x) <= 16 && std::abs(y) <= 16);
    for (auto [x, y] : {std::pair{INT_MAX, 10}, {INT_MIN, 10}, {10, INT_MAX}, {10, INT_MIN}, {INT_MIN, INT_MAX}}) {
      ends.Draw(type, x, y);
    }
    EXPECT_TRUE(ends.Drawn().empty());
    if (type > 51) {
      TCanvas& c = other.Canvas();
      const std::string text(1, char(type >= 200 && type <= 209 ? type - 152 : type));
      const int h = c.TextHeight(text);
      c.Font.Color = kPen;
      c.Brush.SetStyle(bsClear);
      c.TextOut(kC - c.TextWidth(text) / 2, kC - h / 2, text);
      EXPECT_TRUE(SamePixels(solid, other));
      EXPECT_EQ(drawn.empty(), type == 160 || type == 173);  // the no-break space and the soft hyphen show no ink
      EXPECT_EQ(solid.Canvas().Font.Color, kPen);
      EXPECT_EQ(solid.Canvas().Brush.Style(), bsClear);
      EXPECT_EQ(solid.Canvas().Brush.Color(), clWhite);
      int minX = kSize, maxX = -kSize;
      for (auto [x, y] : drawn) {
        minX = std::min(minX, x), maxX = std::max(maxX, x);
        EXPECT_TRUE(y >= -(h / 2) && y < -(h / 2) + h) << "row " << y;
      }
      EXPECT_TRUE(drawn.empty() || std::abs(minX + maxX) <= 4) << "ink " << minX << ".." << maxX;
      if (type >= 128 && type <= 159 && type != 0x81 && type != 0x8D && type != 0x8F && type != 0x90 &&
          type != 0x9D) {
        pictures.insert(drawn);
      }
      continue;
    }
    EXPECT_FALSE(drawn.empty());
    for (auto [x, y] : drawn) EXPECT_EQ(solid.Canvas().Pixel(kC + x, kC + y), kPen) << "at " << x << "," << y;
    EXPECT_EQ(solid.Canvas().Brush.Color(), kBrush);
    EXPECT_EQ(solid.Canvas().Brush.Style(), bsSolid);
    EXPECT_EQ(solid.Canvas().Pen.Color, kPen);
    other.Canvas().Brush.SetStyle(bsClear);
    other.Draw(type);
    EXPECT_EQ(other.Canvas().Brush.Color(), clWhite);
    EXPECT_EQ(other.Canvas().Brush.Style(), bsSolid);
  }
  EXPECT_EQ(pictures.size(), 27u);
  MarkerBitmap m;
  m.Draw(65).Canvas().Pen.Color = clBlue;
  m.Canvas().Rectangle(2, 2, 12, 12);
  EXPECT_EQ(m.Canvas().Pixel(2, 2), clBlue);
  EXPECT_EQ(m.Canvas().Pixel(6, 6), clWhite);
}

// Frames: five distinct colours, so a swapped argument shows.
constexpr TColor kHighlight = 0x0000F1, kLight = 0x00F200, kShadow = 0xF30000, kDark = 0x404040, kLine = 0x123456;

void DrawTestFrame(TCanvas& c, int style, const TRect& r) {
  DrawFrame(c, std::uint8_t(style), r.Left, r.Top, r.Right, r.Bottom, kHighlight, kLight, kShadow, kDark, kLine);
}

// Paints x1..x2, y1..y2, inclusive.
void Span(TBitmap& b, TColor c, int x1, int y1, int x2, int y2) {
  b.Canvas().Brush.SetColor(c);
  b.Canvas().FillRect({x1, y1, x2 + 1, y2 + 1});
}

// Rings from the outside in, each {top/left, bottom/right} colour: the
// first owns the ring's top row and left column, the second its bottom row
// (with the bottom-left corner) and right column. For rectangles at least 3
// wide and 4 high; at 3 high the last line starts on the bottom row.
void Rings(TBitmap& b, TRect r, const std::vector<TColor>& k) {
  for (std::size_t i = 0; i + 1 < k.size(); i += 2, r = {r.Left + 1, r.Top + 1, r.Right - 1, r.Bottom - 1}) {
    Span(b, k[i], r.Left, r.Top, r.Right, r.Top);
    Span(b, k[i], r.Left, r.Top + 1, r.Left, r.Bottom - 1);
    Span(b, k[i + 1], r.Left, r.Bottom, r.Right, r.Bottom);
    Span(b, k[i + 1], r.Right, r.Top + 1, r.Right, r.Bottom - 1);
  }
}

// Ring colours by style, from fsLowered on.
const std::vector<TColor> kBevels[] = {{kShadow, kHighlight, kDark, kLight},
                                       {kHighlight, kDark, kLight, kShadow},
                                       {kHighlight, kShadow, kShadow, kHighlight},
                                       {kShadow, kHighlight, kHighlight, kShadow}};

// Every style byte, bit 128 ignored: fsSimple the inclusive boundary in
// LineColor (DrawRectOutline in the pen DrawFrame sets), the bevels their
// two rings, the pen left in the last colour set; fsNone and 6..127 draw
// nothing and leave the pen. Edges at the ends of the int range stay there
// (no sum wraps round): the canvas clips the frame to the part in view, as
// it would a frame whose edges lie just outside.
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
      WhiteBitmap w(size, size), want(size, size);
      w.Canvas().Pen.Color = clRed;
      DrawTestFrame(w.Canvas(), style, r);
      TColor pen = clRed;
      if (base == fsSimple) Rings(want, m, {pen = kLine, kLine});
      if (base >= fsLowered && base <= fsEngraved) Rings(want, m, kBevels[base - fsLowered]);
      if (base >= fsLowered && base <= fsEngraved) pen = kBevels[base - fsLowered][3];
      EXPECT_TRUE(SamePixels(w, want));
      EXPECT_EQ(w.Canvas().Pen.Color, pen);
      // The outline, DrawRectOutline, leaves the pen on the top-left corner.
      EXPECT_TRUE(base != fsSimple || w.Canvas().PenPos == (TPoint{r.Left, r.Top}));
    }
  }
}

// Worked by hand from the line sequence of the raised style (each line
// leaves out its end point, on which the next starts): in a 3 by 3 the
// inner bottom/right line starts on the middle of the bottom row and takes
// it; a single point; a reversed rectangle comes out turned inside out.
TEST(DrawFrame, TinyAndReversedRectanglesFollowTheOrderOfTheEightLines) {
  struct Case {
    TRect r;
    std::vector<std::tuple<TColor, int, int, int, int>> spans;
  };
  const Case cases[] = {
      {{3, 4, 5, 6},
       {{kHighlight, 3, 4, 5, 4},
        {kHighlight, 3, 5, 3, 5},
        {kDark, 5, 5, 5, 6},
        {kDark, 3, 6, 3, 6},
        {kShadow, 4, 5, 4, 6}}},
      {{5, 5, 5, 5}, {{kDark, 5, 5, 5, 6}, {kLight, 6, 4, 6, 6}, {kShadow, 4, 4, 4, 7}}},
      {{30, 30, 3, 2},
       {{kHighlight, 30, 2, 30, 29},
        {kHighlight, 5, 30, 30, 30},
        {kDark, 3, 3, 3, 31},
        {kDark, 3, 2, 28, 2},
        {kLight, 31, 1, 31, 30},
        {kLight, 4, 31, 31, 31},
        {kShadow, 2, 2, 2, 32},
        {kShadow, 2, 1, 29, 1}}},
  };
  for (const auto& [r, spans] : cases) {
    WhiteBitmap w(40, 40), want(40, 40);
    DrawTestFrame(w.Canvas(), fsRaised, r);
    for (const auto& [c, x1, y1, x2, y2] : spans) Span(want, c, x1, y1, x2, y2);
    EXPECT_TRUE(SamePixels(w, want)) << r.Left << "," << r.Top << "," << r.Right << "," << r.Bottom;
  }
}

// Whatever shows lies on the bounding box of the rectangle, one pixel wider.
TEST(DrawFrame, SmallReversedAndOffCanvasRectanglesStayInsideTheirLines) {
  const TRect odd[] = {
      {5, 5, 5, 5},       {5, 5, 6, 6}, {30, 30, 3, 2}, {-50, -50, 500, 500}, {-2000000000, 0, 2000000000, 20},
      {100, 100, 90, 120}};
  for (const TRect& r : odd) {
    for (int style = 1; style <= 5; ++style) {
      WhiteBitmap w(40, 40);
      DrawTestFrame(w.Canvas(), style, r);
      for (auto [x, y] : w.Drawn())
        EXPECT_TRUE(x >= std::min(r.Left, r.Right) - 1 && x <= std::max(r.Left, r.Right) + 1);
    }
  }
}

}  // namespace
