#pragma once
// A bitmap for pixel tests: all white, so whatever is drawn shows, and the
// set of pixels that are no longer white.
#include <set>
#include <utility>

#include "toolkit/Graphics.h"

using PixelSet = std::set<std::pair<int, int>>;

class WhiteBitmap : public TBitmap {
 public:
  WhiteBitmap(int width, int height) : TBitmap(width, height) {
    Canvas().Brush.SetColor(clWhite);
    Canvas().FillRect({0, 0, width, height});
  }
  // Positions of the pixels that are not white, as offsets from (x0, y0).
  PixelSet Drawn(int x0 = 0, int y0 = 0) {
    PixelSet s;
    for (int y = 0; y < Height(); ++y)
      for (int x = 0; x < Width(); ++x)
        if (Canvas().Pixel(x, y) != clWhite) s.insert({x - x0, y - y0});
    return s;
  }
};
