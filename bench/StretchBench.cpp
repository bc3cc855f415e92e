#include "StretchBench.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "BigPhotos.h"
#include "toolkit/Graphics.h"

namespace {

// Varied pixels, so no part of the work can be skipped.
void FillWithNoise(TBitmap& bitmap) {
  std::uint32_t state = 12345;
  std::uint32_t* p = bitmap.MutableBits();
  const std::size_t count = std::size_t(bitmap.Width()) * std::size_t(bitmap.Height());
  for (std::size_t i = 0; i < count; ++i) {
    state = state * 1664525u + 1013904223u;
    p[i] = 0xFF000000u | (state >> 8);
  }
}

}  // namespace

TMedians MeasureHalftoneAgainstMemcpy(int reps, TClock clock) {
  TBitmap source(kBigPhotoWidth, kBigPhotoHeight);
  FillWithNoise(source);
  TBitmap box(120, 90);
  box.Canvas().SetStretchBltMode(HALFTONE);
  const std::size_t bytes = std::size_t(source.Width()) * std::size_t(source.Height()) * 4;
  std::vector<std::uint32_t> copy(bytes / 4);  // touched once here, so no page is new to the copy
  return MeasureSideBySide(
      reps, clock,
      [&] { box.Canvas().StretchBlt(0, 0, 120, 90, source, 0, 0, source.Width(), source.Height(), SRCCOPY); },
      [&] { std::memcpy(copy.data(), source.Bits(), bytes); });
}
