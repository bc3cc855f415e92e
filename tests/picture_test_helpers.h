#pragma once
// Small helpers shared by the picture suites: pixel reading and the number
// in "JPEG error #N".
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "toolkit/Graphics.h"

struct Rgb {
  int R = 0, G = 0, B = 0;
};

inline Rgb RgbAt(const TBitmap& bitmap, int x, int y) {
  const std::uint32_t p = bitmap.ScanLine(y)[x];
  return {int((p >> 16) & 0xFF), int((p >> 8) & 0xFF), int(p & 0xFF)};
}

inline std::uint32_t TopByteAt(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x] >> 24; }

// Every channel within tolerance of the expected colour.
inline testing::AssertionResult Near(const Rgb& actual, const Rgb& expected, int tolerance) {
  const bool ok = std::abs(actual.R - expected.R) <= tolerance && std::abs(actual.G - expected.G) <= tolerance &&
                  std::abs(actual.B - expected.B) <= tolerance;
  if (ok) return testing::AssertionSuccess();
  return testing::AssertionFailure() << "got (" << actual.R << "," << actual.G << "," << actual.B << "), expected ("
                                     << expected.R << "," << expected.G << "," << expected.B << ") within "
                                     << tolerance;
}

// libjpeg's message number in "JPEG error #N"; -1 for any other text.
inline int JpegErrorCode(const std::string& message) {
  const std::string prefix = "JPEG error #";
  if (message.rfind(prefix, 0) != 0) return -1;
  return std::atoi(message.c_str() + prefix.size());
}
