#pragma once
// Shared pieces of the grid suites: a grid with the browser's settings,
// a paint counter, mouse messages and reading the selection back.
#include <cstdint>
#include <memory>
#include <vector>

#include "lib/Tesk_Thumbnails.h"

// The browser's grid: 299 x 453, SlideSize 120, SlideDistance 2,
// SlideMargin 7, Min 1, Max 100 (the last four are the defaults).
inline std::unique_ptr<TThumbnails> MakeBrowserGrid() {
  auto grid = std::make_unique<TThumbnails>(nullptr);
  grid->SetBounds(0, 0, 299, 453);
  return grid;
}

// Counts the paints that get past the paint guard, while it lives.
struct PaintCounter {
  explicit PaintCounter(TThumbnails& grid) : Grid(grid) {
    grid.OnFirstImageRequest = [this](TObject*) { ++Count; };
  }
  ~PaintCounter() { Grid.OnFirstImageRequest = nullptr; }
  PaintCounter(const PaintCounter&) = delete;
  PaintCounter& operator=(const PaintCounter&) = delete;
  TThumbnails& Grid;
  int Count = 0;
};

// The left button released at (x, y), or double-clicked there.
inline void ClickAt(TThumbnails& grid, int x, int y, int keys = 0, bool twice = false) {
  TWMMouse m{keys, std::int16_t(x), std::int16_t(y)};
  twice ? grid.WMLButtonDblClk(m) : grid.WMLButtonUp(m);
}

// Selected slide numbers in Min..Max, ascending.
inline std::vector<int> SelectedSlides(const TThumbnails& grid) {
  std::vector<int> ids;
  for (int id = grid.Min(); id <= grid.Max(); ++id) {
    if (grid.Selection().Bit(id - grid.Min())) ids.push_back(id);
  }
  return ids;
}
