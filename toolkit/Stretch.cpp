// StretchBlt: COLORONCOLOR samples one source pixel per target pixel
// (dropping or repeating rows and columns); HALFTONE averages the block of
// source pixels that falls on each target pixel. Only the visible part of the
// target is computed, with per-column maps worked out once per call.
#include <algorithm>
#include <cstdint>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
  b = std::clamp<long long>(b, 0, limit - 1);
  e = std::clamp<long long>(e, b + 1, limit);
  begin = int(b);
  end = int(e);
}

// Each target column's source columns [begin, end), for the visible columns.
struct ColumnMap {
  std::vector<int> Begin, End;
};

ColumnMap MapColumns(int dx, int dw, int sx, int sw, int limit, Span cols) {
  ColumnMap map{std::vector<int>(std::size_t(cols.last - cols.first)),
                std::vector<int>(std::size_t(cols.last - cols.first))};
  for (int x = cols.first; x < cols.last; ++x) {
    const auto i = std::size_t(x - cols.first);
    SourceRange(x - dx, dw, sx, sw, limit, map.Begin[i], map.End[i]);
  }
  return map;
}

void SampleRow(const std::uint32_t* in, const ColumnMap& map, std::uint32_t* out) {
  for (const int i : map.Begin) *out++ = in[i];
}

void Sample(TBitmap& dst, const TBitmap& src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
            Span cols, Span rows) {
  const ColumnMap map = MapColumns(dx, dw, sx, sw, src.Width(), cols);
  for (int y = rows.first; y < rows.last; ++y) {
    int b, e;
    SourceRange(y - dy, dh, sy, sh, src.Height(), b, e);
    SampleRow(src.ScanLine(b), map, dst.ScanLine(y) + cols.first);
  }
}

struct ChannelTotals {
  unsigned long long B = 0, G = 0, R = 0;
};

// Sums per channel of a run of source columns over up to kLaneRows rows, 16
// bits a channel (B, G, R and the unused top byte of each pixel). Rows are
// added whole, 16 bytes at a time where the processor has SSE2 (every
// x86-64 one does); the plain loop serves elsewhere.
class ColumnSums {
 public:
  static constexpr int kLaneRows = 257;  // 257 * 255 still fits 16 bits

  explicit ColumnSums(int columns) : FLanes(std::size_t(columns) * 4) {}

  void Clear() { std::fill(FLanes.begin(), FLanes.end(), std::uint16_t(0)); }

  // Adds one row's pixels, or two rows' (b may be null), from the run's
  // first column on. Two rows at a time halve the traffic to the sums.
  void AddRows(const std::uint32_t* a, const std::uint32_t* b) {
    const auto* x = reinterpret_cast<const std::uint8_t*>(a);
    const auto* y = reinterpret_cast<const std::uint8_t*>(b ? b : a);
    const int rows = b ? 2 : 1;
    std::uint16_t* lanes = FLanes.data();
    const std::size_t count = FLanes.size();
    std::size_t i = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    const __m128i keep = b ? _mm_set1_epi16(-1) : zero;  // adds the second row or nothing
    for (; i + 16 <= count; i += 16) {
      const __m128i p = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
      const __m128i q = _mm_and_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(y + i)), keep);
      auto* l = reinterpret_cast<__m128i*>(lanes + i);
      const __m128i low = _mm_add_epi16(_mm_unpacklo_epi8(p, zero), _mm_unpacklo_epi8(q, zero));
      const __m128i high = _mm_add_epi16(_mm_unpackhi_epi8(p, zero), _mm_unpackhi_epi8(q, zero));
      _mm_storeu_si128(l, _mm_add_epi16(_mm_loadu_si128(l), low));
      _mm_storeu_si128(l + 1, _mm_add_epi16(_mm_loadu_si128(l + 1), high));
    }
#endif
    for (; i < count; ++i) lanes[i] = std::uint16_t(lanes[i] + x[i] + (rows == 2 ? y[i] : 0));
  }

  // Adds columns [begin, end) of the run to the totals.
  void AddTo(int begin, int end, ChannelTotals& totals) const {
    for (int c = begin; c < end; ++c) {
      const std::uint16_t* pixel = &FLanes[std::size_t(c) * 4];
      totals.B += pixel[0];
      totals.G += pixel[1];
      totals.R += pixel[2];
    }
  }

 private:
  std::vector<std::uint16_t> FLanes;
};

// Each channel's sum / count to the nearest, halves up. Both lie far below
// 2^53, so a double holds them exactly and their correctly rounded quotient
// never reaches the next integer: its integer part is the integer quotient,
// at a fraction of an integer division's cost.
std::uint32_t MeanPixel(const ChannelTotals& t, unsigned long long count) {
  const auto c = double(count);
  const unsigned long long half = count / 2;
  const auto r = (unsigned long long)(double(t.R + half) / c);
  const auto g = (unsigned long long)(double(t.G + half) / c);
  const auto b = (unsigned long long)(double(t.B + half) / c);
  return 0xFF000000u | std::uint32_t(r << 16) | std::uint32_t(g << 8) | std::uint32_t(b);
}

// Adds each target column's columns of the summed rows to its totals.
void MoveSums(const ColumnSums& sums, int first, const ColumnMap& map, std::vector<ChannelTotals>& totals) {
  for (std::size_t i = 0; i < totals.size(); ++i) sums.AddTo(map.Begin[i] - first, map.End[i] - first, totals[i]);
}

void WriteMeans(const std::vector<ChannelTotals>& totals, const ColumnMap& map, int rows, std::uint32_t* out) {
  const auto rowsIn = static_cast<unsigned long long>(rows);
  for (std::size_t i = 0; i < totals.size(); ++i)
    out[i] = MeanPixel(totals[i], rowsIn * unsigned(map.End[i] - map.Begin[i]));
}

// Totals of each target column's block over source rows [rowBegin, rowEnd):
// the rows are summed column by column first, then each block's columns.
void SumBlocks(const TBitmap& src, int rowBegin, int rowEnd, int first, const ColumnMap& map, ColumnSums& sums,
               std::vector<ChannelTotals>& totals) {
  std::fill(totals.begin(), totals.end(), ChannelTotals());
  for (int r = rowBegin; r < rowEnd; r += ColumnSums::kLaneRows) {
    sums.Clear();
    const int stop = std::min(rowEnd, r + ColumnSums::kLaneRows);
    for (int rr = r; rr < stop; rr += 2) {
      sums.AddRows(src.ScanLine(rr) + first, rr + 1 < stop ? src.ScanLine(rr + 1) + first : nullptr);
    }
    MoveSums(sums, first, map, totals);
  }
}

// Each target pixel is the rounded mean of its block of source pixels.
void Average(TBitmap& dst, const TBitmap& src, int dx, int dy, int dw, int dh, int sx, int sy, int sw, int sh,
             Span cols, Span rows) {
  const ColumnMap map = MapColumns(dx, dw, sx, sw, src.Width(), cols);
  // The blocks' columns grow with the target column, so these bound them all.
  const int first = map.Begin.front();
  ColumnSums sums(map.End.back() - first);
  std::vector<ChannelTotals> totals(map.Begin.size());
  for (int y = rows.first; y < rows.last; ++y) {
    int rowBegin, rowEnd;
    SourceRange(y - dy, dh, sy, sh, src.Height(), rowBegin, rowEnd);
    SumBlocks(src, rowBegin, rowEnd, first, map, sums, totals);
    WriteMeans(totals, map, rowEnd - rowBegin, dst.ScanLine(y) + cols.first);
  }
}

}  // namespace

void StretchInto(TBitmap& target, int dx, int dy, int dw, int dh, const TBitmap& source, int mode) {
  if (dw <= 0 || dh <= 0 || source.Empty() || target.Empty() || &source == &target) return;
  const Span cols = Visible(dx, dw, target.Width());
  const Span rows = Visible(dy, dh, target.Height());
  if (cols.first >= cols.last || rows.first >= rows.last) return;
  if (mode == HALFTONE) {
    Average(target, source, dx, dy, dw, dh, 0, 0, source.Width(), source.Height(), cols, rows);
  } else {
    Sample(target, source, dx, dy, dw, dh, 0, 0, source.Width(), source.Height(), cols, rows);
  }
}

void TCanvas::StretchBlt(int dx, int dy, int dw, int dh, const TBitmap& source, int sx, int sy, int sw, int sh,
                         std::uint32_t /*rop: only SRCCOPY is used*/) {
  if (dw <= 0 || dh <= 0 || sw <= 0 || sh <= 0 || source.Empty() || FTarget.Empty()) return;
  const Span cols = Visible(dx, dw, FTarget.Width());
  const Span rows = Visible(dy, dh, FTarget.Height());
  if (cols.first >= cols.last || rows.first >= rows.last) return;
  if (&source == &FTarget) return;
  if (FStretchMode == HALFTONE) {
    Average(FTarget, source, dx, dy, dw, dh, sx, sy, sw, sh, cols, rows);
  } else {
    Sample(FTarget, source, dx, dy, dw, dh, sx, sy, sw, sh, cols, rows);
  }
  PixelsSet(cols.first, rows.first, cols.last, rows.last);
  Changed();
}

namespace {

// The source range of target index t as SourceRange gives it for the
// source read backwards, in the source's own indexes: turning the source
// then stretching it reads these ranges. Sampling takes the range's last
// index, which the backwards source has first.
void ReversedRange(long long t, long long dn, long long sn, bool samples, int& begin, int& end) {
  int b, e;
  SourceRange(dn - 1 - t, dn, 0, sn, int(sn), b, e);
  begin = int(sn) - e;
  end = int(sn) - b;
  if (samples) begin = end - 1;
}

ColumnMap MapColumnsReversed(int dw, int sw, bool samples) {
  ColumnMap map{std::vector<int>(std::size_t(dw)), std::vector<int>(std::size_t(dw))};
  for (int x = 0; x < dw; ++x)
    ReversedRange(x, dw, sw, samples, map.Begin[std::size_t(x)], map.End[std::size_t(x)]);
  return map;
}

}  // namespace

// A turned picture is stretched in its stored orientation, into a bitmap of
// the target's stored size, each reversed axis reading its ranges backwards;
// turning that small bitmap then gives exactly the target.
struct TRowStretcher::TTurnedTarget {
  TTurnedTarget(TBitmap& target, TTurn turn)
      : Pixels(target.MutableBits()),
        Turn(turn),
        Stored(turn.TurnedWidth(target.Width(), target.Height()),
               turn.TurnedHeight(target.Width(), target.Height()), TPixelInit::Unset) {}

  void Finish() { TurnRowsInto(Turn, Stored.Bits(), 0, Stored.Height(), Stored.Width(), Stored.Height(), Pixels); }

  std::uint32_t* Pixels;
  TTurn Turn;
  TBitmap Stored;
};

struct TRowStretcher::TState {
  TState(TBitmap& target, int sourceWidth, int sourceHeight, int mode, TTurn turn)
      : Pixels(target.MutableBits()),
        Width(std::size_t(target.Width())),
        Height(target.Height()),
        SourceWidth(std::size_t(sourceWidth)),
        SourceHeight(sourceHeight),
        Averages(mode == HALFTONE),
        ReversesRows(turn.ReversesRows()),
        Map(turn.ReversesColumns()
                ? MapColumnsReversed(target.Width(), sourceWidth, !Averages)
                : MapColumns(0, target.Width(), 0, sourceWidth, sourceWidth, {0, target.Width()})),
        Sums(Averages ? sourceWidth : 0),
        Totals(Averages ? Map.Begin.size() : 0),
        WaitingCopy(Averages ? SourceWidth : 0) {}

  void Take(const std::uint32_t* row) noexcept;
  void RowsOf(int targetRow, int& begin, int& end) const {
    if (ReversesRows) {
      ReversedRange(targetRow, Height, SourceHeight, !Averages, begin, end);
    } else {
      SourceRange(targetRow, Height, 0, SourceHeight, SourceHeight, begin, end);
    }
  }

  // The target's pixels, unshared here, where it may allocate and raise:
  // rows are then written without either.
  std::uint32_t* Pixels;
  std::size_t Width;
  int Height;
  std::size_t SourceWidth;
  int SourceHeight;
  bool Averages;
  bool ReversesRows;
  ColumnMap Map;
  ColumnSums Sums;
  std::vector<ChannelTotals> Totals;
  int RowsIn = 0;      // source rows taken so far
  int TargetRow = 0;   // the target row being made
  int RowsInSums = 0;  // rows in Sums, not yet moved to Totals
  // HALFTONE sums rows two at a time, which halves the traffic to the sums:
  // the first of a pair waits, in its band or, past the band's end, copied.
  const std::uint32_t* Waiting = nullptr;
  std::vector<std::uint32_t> WaitingCopy;
};

TRowStretcher::TRowStretcher(TBitmap& target, int sourceWidth, int sourceHeight, int mode, TTurn turn) {
  if (target.Empty() || sourceWidth <= 0 || sourceHeight <= 0) return;
  if (turn.Turns()) FTurned = std::make_unique<TTurnedTarget>(target, turn);
  F = std::make_unique<TState>(FTurned ? FTurned->Stored : target, sourceWidth, sourceHeight, mode, turn);
}

TRowStretcher::~TRowStretcher() = default;

void TRowStretcher::AddRows(const std::uint32_t* rows, int count) noexcept {
  if (!F) return;
  const bool done = F->TargetRow >= F->Height;
  for (int k = 0; k < count; ++k) F->Take(rows + std::size_t(k) * F->SourceWidth);
  if (F->Waiting && F->Waiting != F->WaitingCopy.data()) {
    std::copy(F->Waiting, F->Waiting + F->SourceWidth, F->WaitingCopy.begin());
    F->Waiting = F->WaitingCopy.data();
  }
  if (FTurned && !done && F->TargetRow >= F->Height) FTurned->Finish();
}

// A source row serves the target rows whose source rows it is in: one when
// shrinking, one or more in a row when enlarging. HALFTONE sums the rows of a
// target row's block as they come and writes the means after its last.
void TRowStretcher::TState::Take(const std::uint32_t* row) noexcept {
  const int r = RowsIn++;
  while (TargetRow < Height) {
    int begin, end;
    RowsOf(TargetRow, begin, end);
    if (r < begin) return;
    std::uint32_t* out = Pixels + std::size_t(TargetRow) * Width;
    if (!Averages) {
      SampleRow(row, Map, out);  // r == begin: the row sampled
      ++TargetRow;
      continue;
    }
    if (r == begin) std::fill(Totals.begin(), Totals.end(), ChannelTotals());
    const bool last = r + 1 == end;
    if (!Waiting && !last) {
      Waiting = row;
      return;
    }
    Sums.AddRows(Waiting ? Waiting : row, Waiting ? row : nullptr);
    RowsInSums += Waiting ? 2 : 1;
    Waiting = nullptr;
    if (RowsInSums + 2 > ColumnSums::kLaneRows || last) {
      MoveSums(Sums, 0, Map, Totals);
      Sums.Clear();
      RowsInSums = 0;
    }
    if (!last) return;
    WriteMeans(Totals, Map, end - begin, out);
    ++TargetRow;
  }
}
