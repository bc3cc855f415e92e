#include "Types.h"

namespace {
// The fixed scheme of system colours (0x00BBGGRR), indexed by system colour
// number; the application installs the same values into Qt's palette.
constexpr TColor kSystemColors[] = {
    0xC8C8C8,  //  0 scroll bar
    0x000000,  //  1 background
    0xD1B499,  //  2 active caption
    0xDBCDBF,  //  3 inactive caption
    0xF0F0F0,  //  4 menu
    0xFFFFFF,  //  5 window
    0x646464,  //  6 window frame
    0x000000,  //  7 menu text
    0x000000,  //  8 window text
    0x000000,  //  9 caption text
    0xB4B4B4,  // 10 active border
    0xFCF7F4,  // 11 inactive border
    0xABABAB,  // 12 application workspace
    0xD77800,  // 13 highlight
    0xFFFFFF,  // 14 highlight text
    0xF0F0F0,  // 15 button face
    0xA0A0A0,  // 16 button shadow
    0x6D6D6D,  // 17 grey text
    0x000000,  // 18 button text
    0x000000,  // 19 inactive caption text
    0xFFFFFF,  // 20 button highlight
    0x696969,  // 21 3D dark shadow
    0xE3E3E3,  // 22 3D light
    0x000000,  // 23 info text
    0xE1FFFF,  // 24 info background
};
}  // namespace

TColor ColorToRGB(TColor c) {
  if ((c & 0xFF000000) == clSystemColor) {
    const unsigned index = c & 0xFF;
    if (index < sizeof kSystemColors / sizeof kSystemColors[0]) return kSystemColors[index];
    return clBlack;
  }
  return c & 0x00FFFFFF;
}
