// StretchBlt: COLORONCOLOR samples one source pixel per target pixel
// (dropping or repeating rows and columns); HALFTONE averages the block of
// source pixels that falls on each target pixel. Only the visible part of the
// target is computed, with per-column maps worked out once per call.
#include <algorithm>
#include <vector>

#include "Graphics.h"

namespace {

struct Span {
  int first;  // first target index inside the bitmap
  int last;   // one past the last
};

Span Visible(int d, int size, int limit) {
  const long long first = std::max<long long>(d, 0);
  const long long last = std::min<long long>((long long)d + size, limit);
  return {int(first), int(std::max(first, last))};
}

// Source index range [begin, end) that falls on target index t of a
// target length dn mapped onto a source length sn starting at s; never empty.
void SourceRange(long long t, long long dn, long long s, long long sn, int limit, int& begin, int& end) {
  long long b = s + t * sn / dn;
  long long e = s + (t + 1) * sn / dn;
  if (e <= b) e = b + 1;
  b = std::clamp<long long>(b, 0, limit - 1);
  e = std::clamp<long long>(e, b + 1, limit);
  begin = int(b);
  end = int(e);
}

void Sample(TBitmap& dst, const TBitmap& src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
            Span cols, Span rows) {
  std::vector<int> srcCol(std::size_t(cols.last - cols.first));
  for (int x = cols.first; x < cols.last; ++x) {
    int b, e;
    SourceRange(x - dx, dw, sx, sw, src.Width(), b, e);
    srcCol[std::size_t(x - cols.first)] = b;
  }
  for (int y = rows.first; y < rows.last; ++y) {
    int b, e;
    SourceRange(y - dy, dh, sy, sh, src.Height(), b, e);
    const std::uint32_t* in = src.ScanLine(b);
    std::uint32_t* out = dst.ScanLine(y) + cols.first;
    for (int i : srcCol) *out++ = in[i];
  }
}

void Average(TBitmap& dst, const TBitmap& src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
             Span cols, Span rows) {
  const std::size_t n = std::size_t(cols.last - cols.first);
  std::vector<int> colBegin(n), colEnd(n);
  for (std::size_t i = 0; i < n; ++i) SourceRange(cols.first + int(i) - dx, dw, sx, sw, src.Width(), colBegin[i], colEnd[i]);
  std::vector<unsigned long long> sumR(n), sumG(n), sumB(n);
  for (int y = rows.first; y < rows.last; ++y) {
    int rowBegin, rowEnd;
    SourceRange(y - dy, dh, sy, sh, src.Height(), rowBegin, rowEnd);
    std::fill(sumR.begin(), sumR.end(), 0);
    std::fill(sumG.begin(), sumG.end(), 0);
    std::fill(sumB.begin(), sumB.end(), 0);
    for (int r = rowBegin; r < rowEnd; ++r) {
      const std::uint32_t* in = src.ScanLine(r);
      for (std::size_t i = 0; i < n; ++i) {
        // Red and blue add up side by side in one 64-bit word; one row's
        // part of a block stays far below the 32 bits of blue's half.
        unsigned long long rb = 0, g = 0;
        for (int c = colBegin[i]; c < colEnd[i]; ++c) {
          const std::uint32_t p = in[c];
          rb += ((unsigned long long)(p & 0xFF0000) << 16) | (p & 0xFF);
          g += (p >> 8) & 0xFF;
        }
        sumR[i] += rb >> 32;
        sumB[i] += rb & 0xFFFFFFFFull;
        sumG[i] += g;
      }
    }
    std::uint32_t* out = dst.ScanLine(y) + cols.first;
    const unsigned long long rowsIn = (unsigned long long)(rowEnd - rowBegin);
    for (std::size_t i = 0; i < n; ++i) {
      const unsigned long long count = rowsIn * (unsigned long long)(colEnd[i] - colBegin[i]);
      const unsigned long long half = count / 2;
      const unsigned long long r = (sumR[i] + half) / count;
      const unsigned long long b = (sumB[i] + half) / count;
      const unsigned long long g = (sumG[i] + half) / count;
      out[i] = 0xFF000000u | std::uint32_t(r << 16) | std::uint32_t(g << 8) | std::uint32_t(b);
    }
  }
}

}  // namespace

void TCanvas::StretchBlt(int dx, int dy, int dw, int dh, const TBitmap& source, int sx, int sy, int sw, int sh,
                         std::uint32_t /*rop: only SRCCOPY is used*/) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || source.Empty() || FTarget.Empty()) return;
  const Span cols = Visible(dx, dw, FTarget.Width());
  const Span rows = Visible(dy, dh, FTarget.Height());
  if (cols.first >= cols.last || rows.first >= rows.last) return;
  if (&source == &FTarget) return;
  FTarget.MutableBits();
  if (FStretchMode == HALFTONE) {
    Average(FTarget, source, dx, dy, dw, dh, sx, sy, sw, sh, cols, rows);
  } else {
    Sample(FTarget, source, dx, dy, dw, dh, sx, sy, sw, sh, cols, rows);
  }
  Changed();
}
