#pragma once
// Small helpers shared by the picture suites: pixel reading, the number in
// "JPEG error #N" and the message an action raises.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "support/Rgb.h"
#include "toolkit/SysUtils.h"

inline std::uint32_t TopByteAt(const TBitmap& bitmap, int x, int y) { return bitmap.ScanLine(y)[x] >> 24; }

// libjpeg's message number in "JPEG error #N"; -1 for any other text.
inline int JpegErrorCode(const std::string& message) {
  return message.rfind("JPEG error #", 0) == 0 ? std::atoi(message.c_str() + sizeof("JPEG error #") - 1) : -1;
}

inline std::string JpegError(int code) { return "JPEG error #" + std::to_string(code); }

// The message of the exception the action raises; "(no error)" when none.
template <typename Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const Exception& e) {
    return e.Message;
  }
  return "(no error)";
}
