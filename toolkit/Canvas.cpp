// The canvas primitives whose pixels the system fixes exactly: lines,
// rectangles, ellipses, single pixels and bitmap copies. Everything clips to
// the target.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "Graphics.h"

namespace {

int Clamp(long long v, int lo, int hi) { return int(std::min<long long>(std::max<long long>(v, lo), hi)); }

// Sets count pixels from p on, four at a store where the processor has SSE2
// (every x86-64 one does): the compiler leaves the plain loop one at a time.
void FillPixels(std::uint32_t* p, std::size_t count, std::uint32_t pixel) {
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i four = _mm_set1_epi32(int(pixel));
  for (; i + 4 <= count; i += 4) _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), four);
#endif
  for (; i < count; ++i) p[i] = pixel;
}

}  // namespace

void TCanvas::Changed() {
  if (FTarget.OnChange) FTarget.OnChange();
}

TRect TCanvas::Drawable() const {
  TRect r{0, 0, FTarget.Width(), FTarget.Height()};
  if (FClipped) {
    r.Left = std::max(r.Left, FClip.Left);
    r.Top = std::max(r.Top, FClip.Top);
    r.Right = std::min(r.Right, FClip.Right);
    r.Bottom = std::min(r.Bottom, FClip.Bottom);
  }
  return r;
}

void TCanvas::Plot(int x, int y, std::uint32_t pixel) {
  const int half = Pen.Width > 1 ? Pen.Width / 2 : 0;
  if (half == 0) {
    const TRect d = Drawable();
    if (x >= d.Left && y >= d.Top && x < d.Right && y < d.Bottom) {
      FTarget.ScanLine(y)[x] = pixel;
      PixelsSet(x, y, x + 1, y + 1);
    }
    return;
  }
  // A wider pen draws a square dab around each point of the line.
  for (int yy = y - half; yy < y - half + Pen.Width; ++yy) HLine(x - half, x - half + Pen.Width - 1, yy, pixel);
}

void TCanvas::HLine(int x1, int x2, int y, std::uint32_t pixel) {
  const TRect d = Drawable();
  if (y < d.Top || y >= d.Bottom || x2 < d.Left || x1 >= d.Right || x1 > x2) return;
  x1 = std::max(x1, d.Left);
  x2 = std::min(x2, d.Right - 1);
  FillPixels(FTarget.ScanLine(y) + x1, std::size_t(x2 - x1) + 1, pixel);
  PixelsSet(x1, y, x2 + 1, y + 1);
}

void TCanvas::VLine(int x, int y1, int y2, std::uint32_t pixel) {
  const TRect d = Drawable();
  if (x < d.Left || x >= d.Right || y2 < d.Top || y1 >= d.Bottom || y1 > y2) return;
  y1 = std::max(y1, d.Top);
  y2 = std::min(y2, d.Bottom - 1);
  const auto stride = std::size_t(FTarget.Width());
  std::uint32_t* p = FTarget.MutableBits() + std::size_t(y1) * stride + std::size_t(x);
  for (int y = y1; y <= y2; ++y, p += stride) *p = pixel;
  PixelsSet(x, y1, x + 1, y2 + 1);
}

void TCanvas::LineTo(int x, int y) {
  const TPoint from = PenPos;
  PenPos = {x, y};
  if (from == PenPos) return;
  const std::uint32_t pixel = ColorToPixel(Pen.Color);
  // Level and upright lines of a thin pen, the frames' staple, are runs.
  if (Pen.Width <= 1 && from.Y == y) {
    LevelRun(from.X, x, y, pixel);
  } else if (Pen.Width <= 1 && from.X == x) {
    UprightRun(x, from.Y, y, pixel);
  } else {
    GeneralLine(from, {x, y}, pixel);
  }
  Changed();
}

void TCanvas::LevelRun(int x0, int x1, int y, std::uint32_t pixel) {
  if (x0 < x1) {
    HLine(x0, x1 - 1, y, pixel);
  } else {
    HLine(x1 + 1, x0, y, pixel);
  }
}

void TCanvas::UprightRun(int x, int y0, int y1, std::uint32_t pixel) {
  if (y0 < y1) {
    VLine(x, y0, y1 - 1, pixel);
  } else {
    VLine(x, y1 + 1, y0, pixel);
  }
}

// Pixel k of a line from (x0, y0) to (x1, y1) lies at step k along the major
// axis and the rounded proportional step along the minor one; the end point
// (k = steps) is left out. Only the steps inside the target are visited, so
// lines with wild coordinates cost no more than their visible part.
void TCanvas::GeneralLine(TPoint from, TPoint to, std::uint32_t pixel) {
  const long long x0 = from.X;
  const long long y0 = from.Y;
  const long long dx = to.X - x0;
  const long long dy = to.Y - y0;
  const long long adx = std::llabs(dx);
  const long long ady = std::llabs(dy);
  const long long steps = std::max(adx, ady);
  const bool xMajor = adx >= ady;
  const long long major0 = xMajor ? x0 : y0;
  const int majorSign = (xMajor ? dx : dy) < 0 ? -1 : 1;
  const long long minorDelta = xMajor ? ady : adx;
  const int minorSign = (xMajor ? dy : dx) < 0 ? -1 : 1;
  const long long minor0 = xMajor ? y0 : x0;
  const int margin = Pen.Width / 2 + 1;
  const long long limit = (xMajor ? FTarget.Width() : FTarget.Height()) + margin;
  // Steps whose major coordinate lies in [-margin, limit).
  long long kFirst = majorSign > 0 ? -margin - major0 : major0 - (limit - 1);
  long long kLast = majorSign > 0 ? limit - 1 - major0 : major0 + margin;
  kFirst = std::max(kFirst, 0LL);
  kLast = std::min(kLast, steps - 1);
  for (long long k = kFirst; k <= kLast; ++k) {
    const long long major = major0 + majorSign * k;
    const long long minor = minor0 + minorSign * ((2 * k * minorDelta + steps) / (2 * steps));
    const long long px = xMajor ? major : minor;
    const long long py = xMajor ? minor : major;
    if (px < -margin || py < -margin || px > FTarget.Width() + margin || py > FTarget.Height() + margin) continue;
    Plot(int(px), int(py), pixel);
  }
}

void TCanvas::Rectangle(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  if (x1 == x2 || y1 == y2) return;
  // Clip to a frame just outside the target so huge rectangles stay cheap.
  const int cx1 = Clamp(x1, -2, FTarget.Width() + 1);
  const int cx2 = Clamp(x2, -2, FTarget.Width() + 1);
  const int cy1 = Clamp(y1, -2, FTarget.Height() + 1);
  const int cy2 = Clamp(y2, -2, FTarget.Height() + 1);
  if (Brush.Style() != bsClear) {
    const std::uint32_t fill = ColorToPixel(Brush.Color());
    for (int y = std::max(cy1 + 1, y1 + 1); y <= cy2 - 2; ++y) HLine(cx1 + 1, cx2 - 2, y, fill);
  }
  const std::uint32_t pen = ColorToPixel(Pen.Color);
  if (y1 == cy1) HLine(cx1, cx2 - 1, y1, pen);
  if (y2 == cy2) HLine(cx1, cx2 - 1, y2 - 1, pen);
  if (Pen.Width <= 1) {
    if (x1 == cx1) VLine(x1, cy1, cy2 - 1, pen);
    if (x2 == cx2) VLine(x2 - 1, cy1, cy2 - 1, pen);
  } else {
    for (int y = cy1; y < cy2; ++y) {
      if (x1 == cx1) Plot(x1, y, pen);
      if (x2 == cx2) Plot(x2 - 1, y, pen);
    }
  }
  Changed();
}

void TCanvas::FillRect(const TRect& r) {
  if (Brush.Style() == bsClear) return;
  const std::uint32_t fill = ColorToPixel(Brush.Color());
  const int y1 = Clamp(r.Top, 0, FTarget.Height());
  const int y2 = Clamp(r.Bottom, 0, FTarget.Height());
  const int x1 = Clamp(r.Left, -1, FTarget.Width());
  const int x2 = Clamp(r.Right, -1, FTarget.Width());
  for (int y = y1; y < y2; ++y) HLine(x1, x2 - 1, y, fill);
  Changed();
}

namespace {

// Columns [first, last] of row j of the ellipse inscribed in a w x h box: the
// pixels whose centres lie inside it, in exact integer arithmetic (offsets
// from the box centre are counted in half pixels). first > last: none.
struct Span {
  long long first, last;
};

Span EllipseRow(long long w, long long h, long long j) {
  if (j < 0 || j >= h) return {1, 0};
  // w and h are below 2^32, so w^2 h^2 needs all 128 bits of an unsigned.
  __extension__ using Wide = unsigned __int128;
  const long long v = 2 * j + 1 - h;  // |v| < h
  const Wide av = Wide(v < 0 ? -v : v);
  const Wide rest = Wide(w) * Wide(w) * (Wide(h) * Wide(h) - av * av);  // room left for u^2 h^2
  // u^2 <= q < 2^64, which a long double holds exactly.
  const Wide q = rest / (Wide(h) * Wide(h));
  auto u = static_cast<long long>(std::sqrt(static_cast<long double>(q)));
  while (Wide(u) * Wide(u) > q) --u;
  while (Wide(u + 1) * Wide(u + 1) <= q) ++u;
  if ((u + w + 1) % 2 != 0) --u;  // u = 2i + 1 - w has the parity of w + 1
  if (u < 0) return {1, 0};
  return {(w - 1 - u) / 2, (w - 1 + u) / 2};
}

}  // namespace

// A round shape: small boxes leave their corners out (a 4 x 4 circle is 12
// pixels, not 16). The outline is every inside pixel with a 4-neighbour
// outside; the brush fills the rest.
void TCanvas::Ellipse(int x1, int y1, int x2, int y2) {
  if (x1 > x2) std::swap(x1, x2);
  if (y1 > y2) std::swap(y1, y2);
  const long long w = (long long)x2 - x1;
  const long long h = (long long)y2 - y1;
  if (w < 1 || h < 1 || FTarget.Empty()) return;
  const std::uint32_t pen = ColorToPixel(Pen.Color);
  const std::uint32_t fill = ColorToPixel(Brush.Color());
  const long long jFirst = std::max(0LL, -(long long)y1);
  const long long jLast = std::min(h - 1, (long long)FTarget.Height() - 1 - y1);
  for (long long j = jFirst; j <= jLast; ++j) {
    const Span row = EllipseRow(w, h, j);
    if (row.first > row.last) continue;
    const Span above = EllipseRow(w, h, j - 1);
    const Span below = EllipseRow(w, h, j + 1);
    const long long inFirst = std::max({row.first + 1, above.first, below.first});
    const long long inLast = std::min({row.last - 1, above.last, below.last});
    const int y = int(y1 + j);
    const int left = Clamp(x1 + row.first, -1, FTarget.Width());
    const int right = Clamp(x1 + row.last, -1, FTarget.Width());
    if (inFirst > inLast) {
      HLine(left, right, y, pen);
      continue;
    }
    const int inLeft = Clamp(x1 + inFirst, -1, FTarget.Width());
    const int inRight = Clamp(x1 + inLast, -1, FTarget.Width());
    HLine(left, inLeft - 1, y, pen);
    if (Brush.Style() != bsClear) HLine(inLeft, inRight, y, fill);
    HLine(inRight + 1, right, y, pen);
  }
  Changed();
}

TColor TCanvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= FTarget.Width() || y >= FTarget.Height()) return 0xFFFFFFFF;
  return PixelToColor(static_cast<const TBitmap&>(FTarget).ScanLine(y)[x]);
}

void TCanvas::SetPixel(int x, int y, TColor c) {
  const TRect d = Drawable();
  if (x < d.Left || y < d.Top || x >= d.Right || y >= d.Bottom) return;
  FTarget.ScanLine(y)[x] = ColorToPixel(c);
  PixelsSet(x, y, x + 1, y + 1);
  Changed();
}

void TCanvas::Draw(int x, int y, const TBitmap& source) {
  const int x1 = std::max(x, 0);
  const int y1 = std::max(y, 0);
  const int x2 = int(std::min<long long>((long long)x + source.Width(), FTarget.Width()));
  const int y2 = int(std::min<long long>((long long)y + source.Height(), FTarget.Height()));
  if (x1 >= x2 || y1 >= y2) return;
  if (&source == &FTarget) return;
  // A whole-target copy of an equal-sized bitmap just shares its store.
  if (x == 0 && y == 0 && source.Width() == FTarget.Width() && source.Height() == FTarget.Height()) {
    FTarget.Assign(&source);
    FTarget.PixelFormat = pf24bit;
    PixelsSet(x1, y1, x2, y2);
    return;
  }
  for (int row = y1; row < y2; ++row) {
    std::memcpy(FTarget.ScanLine(row) + x1, source.ScanLine(row - y) + (x1 - x), std::size_t(x2 - x1) * 4);
  }
  PixelsSet(x1, y1, x2, y2);
  Changed();
}

int TCanvas::SetStretchBltMode(int mode) {
  const int previous = FStretchMode;
  FStretchMode = mode;
  return previous;
}
