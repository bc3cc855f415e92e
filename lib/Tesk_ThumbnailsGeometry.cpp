// TThumbnails: where slides lie, how many fit, and the scroll position.
// A 10-pixel border surrounds the cells; the vertical gap between slides lies
// above each box, the horizontal gap to its right.
#include <algorithm>
#include <cmath>

#include "Tesk_Thumbnails.h"

// Independent of the floating-point environment's rounding mode.
std::int64_t TThumbnails::RoundHalfEven(double Value) {
  const double below = std::floor(Value);
  const double rest = Value - below;
  const bool up = rest > 0.5 || (rest == 0.5 && std::fmod(below, 2.0) != 0.0);
  return std::int64_t(up ? below + 1.0 : below);
}

// The products are formed in 64 bits: they equal the 32-bit ones wherever
// those do not overflow, and stay right for huge pictures.
TSlidePictureSize SlidePictureSize(std::int64_t Width, std::int64_t Height, int SlideSize) {
  if (Height > Width) {
    return {int(TThumbnails::RoundHalfEven(double(Width * SlideSize) / double(Height))), SlideSize};
  }
  return {SlideSize, int(TThumbnails::RoundHalfEven(double(Height * SlideSize) / double(Width)))};
}

// Kept at 1 or more: a zero slide size with no gap and no margin (possible
// only when the size was set on a control of width 0) would leave nothing to
// divide by.
int TThumbnails::Pitch() const { return std::max(1, FSlideSize + FSlideDistance + 2 * FSlideMargin); }

int TThumbnails::BoxSide() const { return FSlideSize + 2 * FSlideMargin; }

// The position always lies within Min..Max, so it fits a 64-bit integer.
std::int64_t TThumbnails::FirstSlide() const { return std::int64_t(FScrollPosition); }

// How many pixels of the top row are scrolled above its normal place.
int TThumbnails::ScrolledPixels() const {
  const double fraction = FScrollPosition - std::trunc(FScrollPosition);
  return int(RoundHalfEven(fraction * Pitch()));
}

int TThumbnails::ColumnCountForWidth() const {
  return std::max(1, (Width() - 2 * kBorder + FSlideDistance) / Pitch());
}

// A new column count renormalises the position; the paint that this asks for
// is turned away by the paint guard, and the running paint uses the new value.
void TThumbnails::UpdateLayoutCounts() {
  const int columns = ColumnCountForWidth();
  if (columns != FNumColumns) {
    FNumColumns = columns;
    SetScrollPosition(FScrollPosition);
  }
  FNumRows = std::max(1, Height() / Pitch() + 1);  // the extra row is the partly visible one
}

std::int64_t TThumbnails::CellThumbID(int Column, int Row) const {
  return FirstSlide() + std::int64_t(Row - 1) * FNumColumns + (Column - 1);
}

std::int64_t TThumbnails::CellLeft(std::int64_t Column0) const { return kBorder + Column0 * Pitch(); }

std::int64_t TThumbnails::CellTop(std::int64_t Row0) const {
  return kBorder + FSlideDistance + Row0 * Pitch() - ScrolledPixels();
}

// Value is a slide number; the stored position is in rows, which start at
// slides 1, 1 + N, 1 + 2N, ... whatever Min is.
void TThumbnails::SetScrollPosition(double Value) {
  if (FMin > Value) Value = FMin;
  if (!(FMax >= Value)) Value = FMax;  // also catches NaN
  const int columns = std::max(1, FNumColumns);
  const std::int64_t rowStart = (std::int64_t(Value - 1.0) / columns) * columns + 1;
  const double position = double(rowStart) + (Value - double(rowStart)) / columns;
  if (position == FScrollPosition) return;
  FScrollPosition = position;
  Paint();
}

// Slides before the first in view get negative offsets (division truncates).
void TThumbnails::SlideOrigin(int ThumbID, int& X, int& Y) const {
  const std::int64_t k = std::int64_t(ThumbID) - FirstSlide();
  X = int(CellLeft(k % FNumColumns));
  Y = int(CellTop(k / FNumColumns));
}

// Column 1..FNumColumns whose box holds X (limits included), or 0.
int TThumbnails::HitColumn(int X) const {
  const std::int64_t column = (std::int64_t(X) - kBorder) / Pitch() + 1;
  const std::int64_t left = CellLeft(column - 1);
  if (X > left + BoxSide() || X < left || column > FNumColumns) return 0;
  if (X < kBorder || X > Width() - kBorder) return 0;
  return int(column);
}

// Row of the view whose box holds Y (limits included), or 0; not limited to
// the painted rows.
std::int64_t TThumbnails::HitRow(int Y) const {
  const std::int64_t row = (std::int64_t(Y) - kBorder + ScrolledPixels() - FSlideDistance) / Pitch() + 1;
  const std::int64_t top = CellTop(row - 1);
  if (Y > top + BoxSide() || Y < top) return 0;
  if (Y < kBorder || Y > Height() - kBorder) return 0;
  return row;
}

int TThumbnails::SlideAtPos(int X, int Y) const {
  const int column = HitColumn(X);
  const std::int64_t row = HitRow(Y);
  if (column == 0 || row == 0) return 0;
  const std::int64_t id = FirstSlide() + (row - 1) * FNumColumns + (column - 1);
  return (id < FMin || id > FMax) ? 0 : int(id);
}
