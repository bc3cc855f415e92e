// DrawMarker of the base drawing unit: the shape markers 0..51 and the
// character markers 52..255.
#include <array>
#include <initializer_list>
#include <string>
#include <vector>

#include "Tesk_saturate.h"
#include "Tesk_teskbase.h"

namespace {

// One byte per row from -3 to +3; bit 6 - k is column k - 3. Only the
// plus, cross and checkerboard types have entries.
constexpr std::array<std::array<std::uint8_t, 7>, 19> MarkerPatterns = {{
    {},
    {0x00, 0x00, 0x08, 0x1C, 0x08, 0x00, 0x00},
    {0x00, 0x08, 0x08, 0x3E, 0x08, 0x08, 0x00},
    {0x08, 0x08, 0x08, 0x7F, 0x08, 0x08, 0x08},
    {0x00, 0x00, 0x14, 0x08, 0x14, 0x00, 0x00},
    {0x00, 0x22, 0x14, 0x08, 0x14, 0x22, 0x00},
    {0x41, 0x22, 0x14, 0x08, 0x14, 0x22, 0x41},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {},
    {0x55, 0x2A, 0x55, 0x2A, 0x55, 0x2A, 0x55},
}};

// The canvas calls of one marker, with every point an offset from the centre.
class MarkerPen {
 public:
  MarkerPen(TCanvas& canvas, int x, int y) : c(canvas), X(x), Y(y) {}

  int Px(int dx) const { return SatAdd(X, dx); }
  int Py(int dy) const { return SatAdd(Y, dy); }
  void Pixel(int dx, int dy) { c.SetPixel(Px(dx), Py(dy), c.Pen.Color); }
  void Line(int x1, int y1, int x2, int y2) {
    c.MoveTo(Px(x1), Py(y1));
    c.LineTo(Px(x2), Py(y2));
  }
  void Path(std::initializer_list<TPoint> points) {
    const auto* p = points.begin();
    c.MoveTo(Px(p->X), Py(p->Y));
    for (++p; p != points.end(); ++p) c.LineTo(Px(p->X), Py(p->Y));
  }
  void Rect(int x1, int y1, int x2, int y2) { c.Rectangle(Px(x1), Py(y1), Px(x2), Py(y2)); }
  void Ellipse(int x1, int y1, int x2, int y2) { c.Ellipse(Px(x1), Py(y1), Px(x2), Py(y2)); }
  void Polygon(std::initializer_list<TPoint> points) {
    std::vector<TPoint> shifted;
    for (const TPoint& p : points) shifted.push_back({Px(p.X), Py(p.Y)});
    c.Polygon(shifted);
  }
  void Pattern(int index, TColor color) {
    const auto& rows = MarkerPatterns[std::size_t(index)];
    for (int r = 1; r <= 7; ++r) {
      const std::uint8_t bits = rows[std::size_t(r - 1)];
      for (int b = 0; bits != 0 && b <= 6; ++b) {
        if (bits & (1u << b)) c.SetPixel(Px(3 - b), Py(r - 4), color);
      }
    }
  }

  // Brush treatments: fill copies the pen colour into the brush (a clear
  // brush turns solid by the brush rule); hollow draws with a clear brush.
  // The solid style that hollow and the line symbols 50, 51 end or begin
  // with comes from the colour restore that closes every shape.
  void Fill() { c.Brush.SetColor(c.Pen.Color); }
  void Hollow() { c.Brush.SetStyle(bsClear); }

  TCanvas& c;
  const int X, Y;
};

// Types 1..6, 18 and 25 on the printing device: lines instead of pixel patterns.
// The points of 18 set no pixel on a bitmap (a line leaves out its end) but
// move the pen.
void DrawPrintingVariant(MarkerPen& m, int type) {
  if (type <= 3) {
    const int a = type + 1;
    m.Line(-a, 0, a, 0);
    m.Line(0, -a, 0, a);
  } else if (type <= 6) {
    const int a = type - 2;
    m.Line(-a, -a, a, a);
    m.Line(-a, a, a, -a);
  } else if (type == 18) {
    for (int i = -3; i <= 3; ++i) {
      for (int j = -3; j <= 3; ++j) {
        if ((i + j) % 2 == 0) m.Line(i, j, i, j);
      }
    }
  } else {  // 25
    m.Line(-3, -3, 3, 3);
    m.Line(-3, -2, 2, 3);
    m.Line(-2, -3, 3, 2);
    m.Line(-3, 3, 3, -3);
    m.Line(-3, 2, 2, -3);
    m.Line(-2, 3, 3, -2);
  }
}

void DrawBoldCross(MarkerPen& m) {
  m.Line(-3, -3, 4, 4);
  m.Line(-3, -2, 3, 4);
  m.Line(-2, -3, 4, 3);
  m.Line(-3, 3, 4, -4);
  m.Line(-3, 2, 3, -4);
  m.Line(-2, 3, 4, -3);
}

void DrawDiamondOutline(MarkerPen& m) { m.Path({{-3, 0}, {0, 3}, {3, 0}, {0, -3}, {-3, 0}}); }

// 24: 7 by 7 filled; 26: 5 by 5 filled; 27 (outline), 28: 4 by 4, off centre.
void DrawRoundMarker(MarkerPen& m, int type) {
  if (type == 27) {
    m.Hollow();
    m.Ellipse(-2, -2, 2, 2);
    return;
  }
  m.Fill();
  if (type == 24) m.Ellipse(-3, -3, 4, 4);
  if (type == 26) m.Ellipse(-2, -2, 3, 3);
  if (type == 28) m.Ellipse(-2, -2, 2, 2);
}

// Squares, diamonds, circles, chevrons and the bold cross: types 0..28.
void DrawBasicShape(MarkerPen& m, int type) {
  if (type == 0) {
    m.Pixel(0, 0);
  } else if (type <= 6 || type == 18) {
    m.Pattern(type, m.c.Pen.Color);
  } else if (type <= 9) {
    const int a = type - 6;
    m.Fill();
    m.Rect(-a, -a, a + 1, a + 1);
  } else if (type <= 12) {
    const int a = type - 9;
    m.Path({{-a, -a}, {-a, a}, {a, a}, {a, -a}, {-a, -a}});
  } else if (type == 13) {
    DrawDiamondOutline(m);
    m.Pixel(0, 0);
  } else if (type <= 15) {
    const int a = type - 12;
    m.Fill();
    m.Polygon({{-a, 0}, {0, a}, {a, 0}, {0, -a}});
  } else if (type <= 17) {
    const int a = type - 14;
    m.Hollow();
    m.Ellipse(-a, -a, a + 1, a + 1);
  } else if (type == 19) {
    DrawDiamondOutline(m);
  } else if (type <= 23) {
    const int a = type % 2 == 0 ? 3 : 4;
    const int dy = type <= 21 ? a : -a;  // 20, 21 open downward; 22, 23 upward
    m.Line(0, 0, -a, dy);
    m.Line(0, 0, a, dy);
  } else if (type == 25) {
    DrawBoldCross(m);
  } else {
    // 24: 7 by 7 filled; 26: 5 by 5 filled; 27, 28: 4 by 4 off centre.
    DrawRoundMarker(m, type);
  }
}

// Triangles: outline (hollow) or filled, types 29..36 and 40..47.
void DrawTriangle(MarkerPen& m, int type) {
  const bool filled = type == 29 || type == 30 || type == 34 || type == 36 || (type >= 41 && type % 2 == 1);
  if (filled) {
    m.Fill();
  } else {
    m.Hollow();
  }
  switch (type) {
    case 29:
    case 31:
      m.Polygon({{-2, 0}, {0, 2}, {2, 0}});
      break;
    case 30:
    case 32:
      m.Polygon({{-3, 0}, {0, 3}, {3, 0}});
      break;
    case 33:
    case 34:
      m.Polygon({{-4, -3}, {0, 4}, {4, -3}});
      break;
    case 35:
    case 36:
      m.Polygon({{-4, 3}, {0, -4}, {4, 3}});
      break;
    case 40:
    case 41:
      m.Polygon({{3, -2}, {-2, 0}, {3, 2}});
      break;
    case 42:
    case 43:
      m.Polygon({{4, -3}, {-3, 0}, {4, 3}});
      break;
    case 44:
    case 45:
      m.Polygon({{-3, -2}, {2, 0}, {-3, 2}});
      break;
    default:
      m.Polygon({{-4, -3}, {3, 0}, {-4, 3}});
      break;  // 46, 47
  }
}

// The line symbols 37, 38 and the composite ones 39 and 48..51.
void DrawLineSymbol(MarkerPen& m, int type) {
  switch (type) {
    case 37:
      m.Line(-3, 0, 4, 0);
      m.Line(0, 0, 0, -8);
      return;
    case 38:
      m.Line(-3, -2, 4, -2);
      m.Line(-3, 2, 4, 2);
      m.Line(0, -2, 0, 2);
      return;
    case 39:
    case 48:
      m.Hollow();
      if (type == 39)
        m.Ellipse(-3, -3, 4, 4);
      else
        m.Rect(-3, -3, 4, 4);
      m.Line(-3, 0, 4, 0);
      m.Line(0, -3, 0, 4);
      return;
    case 49:
      m.Hollow();
      m.Rect(-2, -2, 3, 3);
      break;
    default:  // 50, 51
      break;
  }
  m.Line(-4, 0, 5, 0);
  m.Line(0, -4, 0, 5);
  if (type == 50) {
    m.Line(-3, -3, 4, 4);
    m.Line(-3, 3, 4, -4);
  } else if (type == 51) {
    m.Line(-1, -3, 2, -3);
    m.Line(-1, 3, 2, 3);
    m.Line(-3, -1, -3, 2);
    m.Line(3, -1, 3, 2);
  }
}

bool HasPrintingVariant(int type) { return (type >= 1 && type <= 6) || type == 18 || type == 25; }

void DrawShapeMarker(TCanvas& Canvas, int type, int X, int Y) {
  const TColor savedBrush = Canvas.Brush.Color();
  MarkerPen m(Canvas, X, Y);
  if (HasPrintingVariant(type) && Canvas.IsPrinterCanvas) {
    DrawPrintingVariant(m, type);
  } else if (type <= 28) {
    DrawBasicShape(m, type);
  } else if ((type >= 29 && type <= 36) || (type >= 40 && type <= 47)) {
    DrawTriangle(m, type);
  } else {
    DrawLineSymbol(m, type);
  }
  // Also turns a brush that was clear on entry solid again.
  Canvas.Brush.SetColor(savedBrush);
}

void DrawCharacterMarker(TCanvas& Canvas, int type, int X, int Y) {
  const int code = type >= 200 && type <= 209 ? type - 152 : type;  // 200..209: digits 0..9
  // The canvas reads the byte in the platform's 8-bit set, Windows-1252, which
  // has glyphs for 128..159 where Latin-1 has none.
  const std::string text(1, char(code));
  const int w = Canvas.TextWidth(text);
  const int h = Canvas.TextHeight(text);
  Canvas.Font.Color = Canvas.Pen.Color;
  Canvas.Brush.SetStyle(bsClear);  // glyph without a background; left clear on purpose
  Canvas.TextOut(SatAdd(X, -(w / 2)), SatAdd(Y, -(h / 2)), text);
}

}  // namespace

void DrawMarker(TCanvas& Canvas, std::uint8_t MarkerType, int X, int Y) {
  if (MarkerType <= 51) {
    DrawShapeMarker(Canvas, MarkerType, X, Y);
  } else {
    DrawCharacterMarker(Canvas, MarkerType, X, Y);
  }
}
