#pragma once
// Small helpers shared by the picture suites: pixel reading and the number
// in "JPEG error #N".
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/Rgb.h"

inline std::uint32_t TopByteAt(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x] >> 24; }

// libjpeg's message number in "JPEG error #N"; -1 for any other text.
inline int JpegErrorCode(const std::string& message) {
  const std::string prefix = "JPEG error #";
  if (message.rfind(prefix, 0) != 0) return -1;
  return std::atoi(message.c_str() + prefix.size());
}
