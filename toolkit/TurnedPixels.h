#pragma once
// Turning a picture's stored pixels upright by its Exif orientation (1 to 8;
// anything else counts as 1, as stored). The turned picture T of a stored
// picture S, W x H, is, for orientations 5 to 8, H x W (the sides swap):
//   1: T(x, y) = S(x, y)          5: T(x, y) = S(y, x)
//   2: T(x, y) = S(W-1-x, y)      6: T(x, y) = S(y, H-1-x)
//   3: T(x, y) = S(W-1-x, H-1-y)  7: T(x, y) = S(W-1-y, H-1-x)
//   4: T(x, y) = S(x, H-1-y)      8: T(x, y) = S(W-1-y, x)
// so each orientation reverses the stored columns, the stored rows, both or
// neither, and may swap the sides.
#include <cstdint>

struct TTurn {
  int Orientation = 1;

  bool Turns() const { return Orientation >= 2 && Orientation <= 8; }
  bool SwapsSides() const { return Orientation >= 5 && Orientation <= 8; }
  bool ReversesColumns() const {
    return Orientation == 2 || Orientation == 3 || Orientation == 7 || Orientation == 8;
  }
  bool ReversesRows() const { return Orientation == 3 || Orientation == 4 || Orientation == 6 || Orientation == 7; }
  // The turned size of a stored width x height, and (the swap undoing
  // itself) the stored size of a turned one.
  int TurnedWidth(int width, int height) const { return SwapsSides() ? height : width; }
  int TurnedHeight(int width, int height) const { return SwapsSides() ? width : height; }
};

// Writes the stored rows first .. first + count - 1 (storedWidth pixels
// each, one after another) to their places in the turned picture of a
// storedWidth x storedHeight picture.
void TurnRowsInto(TTurn turn, const std::uint32_t* rows, int first, int count, int storedWidth, int storedHeight,
                  std::uint32_t* turned);

// The opposite: reads the stored rows first .. first + count - 1 back out of
// the turned picture.
void StoredRowsFrom(TTurn turn, const std::uint32_t* turned, int first, int count, int storedWidth,
                    int storedHeight, std::uint32_t* rows);
