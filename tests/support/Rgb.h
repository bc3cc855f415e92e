#pragma once
// Colours as the picture and window suites compare them: channels with a
// tolerance, since decoded JPEG pixels come back within a few levels.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "toolkit/Graphics.h"

struct Rgb {
  int R = 0, G = 0, B = 0;
};

inline Rgb RgbAt(const TBitmap& bitmap, int x, int y) {
  const std::uint32_t p = bitmap.ScanLine(y)[x];
  return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

// Every channel within tolerance of the expected colour.
inline testing::AssertionResult Near(const Rgb& actual, const Rgb& expected, int tolerance = 8) {
  if (std::abs(actual.R - expected.R) <= tolerance && std::abs(actual.G - expected.G) <= tolerance &&
      std::abs(actual.B - expected.B) <= tolerance) {
    return testing::AssertionSuccess();
  }
  return testing::AssertionFailure() << "got (" << actual.R << "," << actual.G << "," << actual.B << "), expected ("
                                     << expected.R << "," << expected.G << "," << expected.B << ") within "
                                     << tolerance;
}
