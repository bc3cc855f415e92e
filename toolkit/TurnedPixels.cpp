#include "toolkit/TurnedPixels.h"

#include <cstddef>
#include <vector>

namespace {

// Where stored pixel (c, r) lies in the turned picture, as an index; walking
// c by one moves the index by a fixed step.
struct TPlace {
  std::ptrdiff_t Start;  // the index of stored pixel (0, r)
  std::ptrdiff_t Step;   // the index's move for c + 1
};

TPlace PlaceOfRow(TTurn turn, int r, int width, int height) {
  const std::ptrdiff_t w = width, h = height;
  // The turned coordinate each stored axis becomes, and its direction.
  const std::ptrdiff_t row = turn.ReversesRows() ? h - 1 - r : r;
  const std::ptrdiff_t turnedWidth = turn.TurnedWidth(width, height);
  if (!turn.SwapsSides()) {
    // Stored row r is turned row `row`; columns run along it.
    return turn.ReversesColumns() ? TPlace{row * turnedWidth + w - 1, -1} : TPlace{row * turnedWidth, 1};
  }
  // Stored row r is turned column `row`; columns run down it.
  return turn.ReversesColumns() ? TPlace{(w - 1) * turnedWidth + row, -turnedWidth} : TPlace{row, turnedWidth};
}

// Calls copy(index in the stored rows, index in the turned picture) for
// every pixel of the rows. When the sides swap, a stored row becomes a turned
// column: the rows are then walked side by side, so that neighbouring rows
// write neighbouring pixels of each turned row.
template <typename Copy>
void Walk(TTurn turn, int first, int count, int width, int height, Copy copy) {
  if (count <= 0 || width <= 0) return;
  std::vector<TPlace> places(std::size_t(count), TPlace{0, 0});
  for (int k = 0; k < count; ++k) places[std::size_t(k)] = PlaceOfRow(turn, first + k, width, height);
  const auto w = std::size_t(width);
  if (!turn.SwapsSides()) {
    for (std::size_t k = 0; k < places.size(); ++k) {
      for (std::size_t c = 0; c < w; ++c) copy(k * w + c, places[k].Start + std::ptrdiff_t(c) * places[k].Step);
    }
    return;
  }
  for (std::size_t c = 0; c < w; ++c) {
    for (std::size_t k = 0; k < places.size(); ++k)
      copy(k * w + c, places[k].Start + std::ptrdiff_t(c) * places[k].Step);
  }
}

}  // namespace

void TurnRowsInto(TTurn turn, const std::uint32_t* rows, int first, int count, int storedWidth, int storedHeight,
                  std::uint32_t* turned) {
  Walk(turn, first, count, storedWidth, storedHeight,
       [&](std::size_t stored, std::ptrdiff_t at) { turned[at] = rows[stored]; });
}

void StoredRowsFrom(TTurn turn, const std::uint32_t* turned, int first, int count, int storedWidth,
                    int storedHeight, std::uint32_t* rows) {
  Walk(turn, first, count, storedWidth, storedHeight,
       [&](std::size_t stored, std::ptrdiff_t at) { rows[stored] = turned[at]; });
}
