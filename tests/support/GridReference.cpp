// The grid's rules, restated as plainly as they read, on the bare canvas.
#include "GridReference.h"

#include <algorithm>
#include <cmath>
#include <sstream>

namespace reference {
namespace {

constexpr int kBorder = 10;

void Plot(TBitmap& on, int x, int y, TColor c, int minY, int maxY) {
  if (x < 0 || y < 0 || x >= on.Width() || y >= on.Height() || y < minY || y > maxY) return;
  on.Canvas().SetPixel(x, y, c);
}

// From (x0, y0) towards (x1, y1), one pixel at a time, the end left out.
// Every line of frames and outlines is level or upright.
void Line(TBitmap& on, int x0, int y0, int x1, int y1, TColor c, int minY = -1000000, int maxY = 1000000) {
  if (x0 != x1 && y0 != y1) {
    ADD_FAILURE() << "the model draws level and upright lines only";
    return;
  }
  const int dx = (x1 > x0) - (x1 < x0);
  const int dy = (y1 > y0) - (y1 < y0);
  for (int x = x0, y = y0; x != x1 || y != y1; x += dx, y += dy) Plot(on, x, y, c, minY, maxY);
}

// Every pixel of x1..x2-1, y1..y2-1.
void Fill(TBitmap& on, TColor c, int x1, int y1, int x2, int y2) {
  on.Canvas().Brush.SetColor(c);
  on.Canvas().FillRect(TRect{x1, y1, x2, y2});
}

// Down the left side, along the bottom, up the right, back along the top.
void Outline(TBitmap& on, int l, int t, int r, int b, TColor c, int minY = -1000000, int maxY = 1000000) {
  Line(on, l, t, l, b, c, minY, maxY);
  Line(on, l, b, r, b, c, minY, maxY);
  Line(on, r, b, r, t, c, minY, maxY);
  Line(on, r, t, l, t, c, minY, maxY);
}

// Frame styles as drawn by the line sequence of their rules.
void Frame(TBitmap& on, std::uint8_t style, int l, int t, int r, int b) {
  const int s = style & 0x7F;
  if (s == 1) Outline(on, l, t, r, b, clBlack);
  if (s < 2 || s > 5) return;
  // Outer top/left, outer bottom/right, inner top/left, inner bottom/right.
  const TColor colours[4][4] = {{clGray, clWhite, clBlack, clSilver},
                                {clWhite, clBlack, clSilver, clGray},
                                {clWhite, clGray, clGray, clWhite},
                                {clGray, clWhite, clWhite, clGray}};
  const TColor* c = colours[s - 2];
  Line(on, l, b, l, t, c[0]);
  Line(on, l, t, r + 1, t, c[0]);
  Line(on, r, t + 1, r, b, c[1]);
  Line(on, r, b, l - 1, b, c[1]);
  Line(on, l + 1, b - 1, l + 1, t + 1, c[2]);
  Line(on, l + 1, t + 1, r, t + 1, c[2]);
  Line(on, r - 1, t + 2, r - 1, b - 1, c[3]);
  Line(on, r - 1, b - 1, l, b - 1, c[3]);
}

// A marker glyph of the types the tables use (0, 3, 7, 8, 9, 15, 16, 17 and
// characters), centred on (x, y).
void Marker(TBitmap& on, int type, int x, int y, TColor color, const TFont& font) {
  TCanvas& c = on.Canvas();
  if (type == 0) {
    Plot(on, x, y, color, 0, on.Height());
  } else if (type == 3) {
    for (int k = -3; k <= 3; ++k) {
      Plot(on, x + k, y, color, 0, on.Height());
      Plot(on, x, y + k, color, 0, on.Height());
    }
  } else if (type >= 7 && type <= 9) {
    const int a = type - 6;
    Fill(on, color, x - a, y - a, x + a + 1, y + a + 1);
  } else if (type == 16 || type == 17) {
    const int a = type - 14;
    c.Pen.Color = color;
    c.Brush.SetStyle(bsClear);  // hollow: the inside stays as it was
    c.Ellipse(x - a, y - a, x + a + 1, y + a + 1);
  } else if (type == 15) {
    c.Pen.Color = color;
    c.Brush.SetColor(color);  // filled: outline and inside in the marker's colour
    c.Polygon({{x - 3, y}, {x, y + 3}, {x + 3, y}, {x, y - 3}});
  } else if (type >= 52) {
    const std::string text(1, char(type >= 200 && type <= 209 ? type - 152 : type));
    c.Font = font;
    c.Font.Color = color;
    c.Brush.SetStyle(bsClear);
    c.TextOut(x - c.TextWidth(text) / 2, y - c.TextHeight(text) / 2, text);
  } else {
    ADD_FAILURE() << "the model has no marker type " << type;
  }
}

std::int64_t RoundToEven(double v) { return std::int64_t(std::nearbyint(v)); }

void Card(TBitmap& on, const Look& look, int id, int x, int y, int x2, int y2) {
  const int m = look.SlideMargin;
  Fill(on, clBlack, x + m, y + m + 20, x2 - m, y2 - m - 20);
  Fill(on, clWhite, x + m + 1, y + m + 21, x2 - m - 1, y2 - m - 21);
  TCanvas& c = on.Canvas();
  c.Font = look.Font;
  c.Font.Color = clBlack;
  c.Brush.SetColor(clWhite);
  const std::string text = std::to_string(id);
  const int w = c.TextWidth(text);
  const int h = c.TextHeight(text);
  c.TextOut((x + x2) / 2 - w / 2, (y + y2) / 2 - h / 2, text);
}

// How a pass of the model draws pictures: plainly, or with their colours
// inverted (what differs between the two is what a picture decides), and
// whether also ratio times finer into fine.
struct PicturePass {
  bool Inverted = false;
  TBitmap* Fine = nullptr;
  int Ratio = 1;
};

void Invert(TBitmap& on, int l, int t, int r, int b) {
  for (int y = std::max(t, 0); y < std::min(b, on.Height()); ++y) {
    for (int x = std::max(l, 0); x < std::min(r, on.Width()); ++x) on.ScanLine(y)[x] ^= 0xFFFFFF;
  }
}

void Picture(TBitmap& on, const Look& look, const TBitmap& pic, int x, int y, int x2, int y2,
             const PicturePass& pass) {
  const std::int64_t w = pic.Width(), h = pic.Height(), s = look.SlideSize;
  const int m = look.SlideMargin;
  int l, t, r, b;
  if (h > w) {
    const int sw = int(RoundToEven(double(w * s) / double(h)));
    l = x + m + int(s - sw) / 2;
    t = y + m;
    r = l + sw;
    b = y2 - m;
  } else {
    const int sh = int(RoundToEven(double(h * s) / double(w)));
    l = x + m;
    r = x2 - m;
    t = y + m + int(s - sh) / 2;
    b = t + sh;
  }
  const int mode = look.AntiAlias ? HALFTONE : COLORONCOLOR;
  on.Canvas().SetStretchBltMode(mode);
  on.Canvas().StretchBlt(l, t, r - l, b - t, pic, 0, 0, int(w), int(h));
  if (pass.Inverted) Invert(on, l, t, r, b);
  if (pass.Fine) {
    const int k = pass.Ratio;
    pass.Fine->Canvas().SetStretchBltMode(mode);
    pass.Fine->Canvas().StretchBlt(l * k, t * k, (r - l) * k, (b - t) * k, pic, 0, 0, int(w), int(h));
  }
  Frame(on, look.Inner, l, t, r, b);
}

}  // namespace

int Columns(const Look& look) { return Layout(look).N; }

double Normalised(double v, int columns, int min, int max) {
  if (min > v) v = min;
  if (!(max >= v)) v = max;
  const std::int64_t rowStart = (std::int64_t(std::trunc(v - 1.0)) / columns) * columns + 1;
  return double(rowStart) + (v - double(rowStart)) / columns;
}

Layout::Layout(const Look& look)
    : P(std::max(1, look.SlideSize + look.SlideDistance + 2 * look.SlideMargin)),
      B(look.SlideSize + 2 * look.SlideMargin),
      N(std::max(1, (look.Width - 2 * kBorder + look.SlideDistance) / P)),
      Rows(std::max(1, look.Height / P + 1)),
      F(std::int64_t(std::trunc(look.Position))),
      V(int(RoundToEven((look.Position - std::trunc(look.Position)) * P))),
      L(look) {}

TPoint Layout::Origin(int thumbID) const {
  const std::int64_t k = thumbID - F;
  return {int(kBorder + (k % N) * P), int(kBorder + L.SlideDistance + (k / N) * P - V)};
}

int Layout::SlideAt(int x, int y) const {
  std::int64_t i = (x - kBorder) / P + 1;
  const std::int64_t left = kBorder + (i - 1) * P;
  if (x > left + B || x < left || i > N || x < kBorder || x > L.Width - kBorder) i = 0;
  std::int64_t j = (std::int64_t(y) - kBorder + V - L.SlideDistance) / P + 1;
  const std::int64_t top = kBorder - V + (j - 1) * P + L.SlideDistance;
  if (y > top + B || y < top || y < kBorder || y > L.Height - kBorder) j = 0;
  if (i == 0 || j == 0) return 0;
  const std::int64_t id = F + (j - 1) * N + (i - 1);
  return id < L.Min || id > L.Max ? 0 : int(id);
}

namespace {

Painted PaintPass(const Look& look, TBitmap& shown, const Answers& answers, const PicturePass& pass) {
  Painted out;
  const Layout lay(look);
  TBitmap pic(look.Width, look.Height);
  pic.Canvas().Font = look.Font;
  Fill(pic, look.Back, 0, 0, look.Width, look.Height);
  TBitmap empty;
  const TBitmap* buffer = &empty;
  for (int i = 1; i <= lay.N; ++i) {
    for (int j = 1; j <= lay.Rows; ++j) {
      const std::int64_t id = lay.F + std::int64_t(j - 1) * lay.N + (i - 1);
      if (id < look.Min || id > look.Max) continue;
      out.Requests.push_back(int(id));
      const Answer a = answers ? answers(int(id)) : Answer{};
      if (a.Throw) {
        out.Threw = true;
        return out;
      }
      if (a.DropBuffer) buffer = nullptr;
      if (a.Picture) buffer = a.Picture;
      const auto [x, y] = lay.Origin(int(id));
      const int x2 = x + lay.B, y2 = y + lay.B;
      if (a.How != 3) {
        Fill(pic, look.Chosen.count(int(id)) ? look.Selected : look.Cover, x, y, x2 + 1, y2 + 1);
        Frame(pic, look.Outer, x, y, x2, y2);
      }
      if (a.How == 0) Card(pic, look, int(id), x, y, x2, y2);
      if (a.How == 1 && buffer && buffer->Width() > 0 && buffer->Height() > 0) {
        Picture(pic, look, *buffer, x, y, x2, y2, pass);
      }
      if (a.Mark != -1) Marker(pic, a.Mark & 0xFF, x + 10, y + 12, look.Mark, look.Font);
    }
  }
  Fill(pic, look.Back, 0, 0, look.Width, kBorder);
  Fill(pic, look.Back, 0, look.Height - kBorder, look.Width, look.Height);
  Frame(pic, look.Frame, 0, 0, look.Width - 2, look.Height - 2);
  shown.Assign(&pic);
  return out;
}

}  // namespace

void Repeat(const TBitmap& in, int ratio, TBitmap& out) {
  out.Reset(in.Width() * ratio, in.Height() * ratio);
  for (int y = 0; y < out.Height(); ++y) {
    for (int x = 0; x < out.Width(); ++x) out.ScanLine(y)[x] = in.ScanLine(y / ratio)[x / ratio];
  }
}

Painted Paint(const Look& look, TBitmap& shown, const Answers& answers, int ratio) {
  if (ratio == 1) return PaintPass(look, shown, answers, {});
  TBitmap fine(look.Width * ratio, look.Height * ratio);
  TBitmap plain, inverted;
  const Painted out = PaintPass(look, plain, answers, {false, &fine, ratio});
  PaintPass(look, inverted, answers, {true, nullptr, 1});
  Repeat(plain, ratio, shown);
  for (int y = 0; y < shown.Height(); ++y) {
    for (int x = 0; x < shown.Width(); ++x) {
      const int px = x / ratio, py = y / ratio;
      const bool picture = (plain.ScanLine(py)[px] ^ inverted.ScanLine(py)[px]) & 0xFFFFFF;
      if (picture) shown.ScanLine(y)[x] = fine.ScanLine(y)[x];
    }
  }
  return out;
}

// Rows above 2 and below Height - 3 are the control frame's: outlines of
// slides scrolled partly or wholly out of view stop short of it.
void FocusOutline(const Look& look, TBitmap& shown, int thumbID, TColor color) {
  if (thumbID < look.Min || thumbID > look.Max) return;
  const Layout lay(look);
  const TPoint o = lay.Origin(thumbID);
  const int l = o.X + 2, t = std::max(o.Y + 2, 2);
  const int r = o.X + lay.B - 2, b = std::min(o.Y + lay.B - 2, look.Height - 3);
  for (int n = 1; n <= look.FocusLinewidth; ++n) {
    Outline(shown, l + n - 1, t + n - 1, r - n + 1, b - n + 1, color, 2, look.Height - 3);
  }
  Fill(shown, look.Back, 2, 2, look.Width - 2, kBorder);
  Fill(shown, look.Back, 2, look.Height - kBorder, look.Width - 2, look.Height - 2);
}

bool Click(Look& look, int& anchor, int mode, int s, int keys) {
  const auto flag = [&](int id) {
    if (id >= look.Min) look.Chosen.insert(id);
  };
  if (mode == 0) return false;
  const bool ctrl = keys & MK_CONTROL, shift = keys & MK_SHIFT;
  if (mode == 1 || (!ctrl && !shift)) look.Chosen.clear();
  if (mode == 1) {
    flag(s);
    anchor = s;
    return true;
  }
  if (ctrl && s >= look.Min && !look.Chosen.erase(s)) flag(s);
  if (shift) {
    for (int id = std::min(anchor, s); id <= std::max(anchor, s); ++id) flag(id);
  }
  if (!ctrl) {
    flag(s);
    anchor = s;
  }
  return true;
}

}  // namespace reference

testing::AssertionResult SamePixels(const TBitmap& actual, const TBitmap& expected) {
  if (actual.Width() != expected.Width() || actual.Height() != expected.Height()) {
    return testing::AssertionFailure() << "size " << actual.Width() << " x " << actual.Height() << ", expected "
                                       << expected.Width() << " x " << expected.Height();
  }
  int differ = 0;
  std::ostringstream first;
  for (int y = 0; y < actual.Height(); ++y) {
    for (int x = 0; x < actual.Width(); ++x) {
      const std::uint32_t a = actual.ScanLine(y)[x] & 0xFFFFFF, e = expected.ScanLine(y)[x] & 0xFFFFFF;
      if (a == e) continue;
      if (differ++ < 8) first << " (" << x << "," << y << ") 0x" << std::hex << a << " not 0x" << e << std::dec;
    }
  }
  if (differ == 0) return testing::AssertionSuccess();
  return testing::AssertionFailure() << differ << " pixels differ:" << first.str();
}
