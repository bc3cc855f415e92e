// Grid geometry on the browser's settings (299 x 453, SlideSize 120,
// SlideDistance 2, SlideMargin 7): columns, rows and the scroll position.
// Where slides lie and which one a point hits are pinned by the paint and
// mouse tables against the reference model.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "thumbnails_test_helpers.h"

// Two columns until the first paint, whatever the width; then 290 pixels or
// more give 2 columns (and 453 high, 4 rows), 426 or more 3, narrower still one.
TEST(ThumbnailsGeometry, ColumnCountFollowsTheWidth) {
  struct Case {
    int Width;
    int Columns;
  };
  for (const Case c :
       std::vector<Case>{{289, 1}, {290, 2}, {299, 2}, {425, 2}, {426, 3}, {1000, 7}, {100, 1}, {0, 1}}) {
    SCOPED_TRACE(c.Width);
    auto grid = MakeBrowserGrid();
    grid->SetWidth(c.Width);
    EXPECT_EQ(grid->NumColumns(), 2);
    grid->Paint();
    EXPECT_EQ(grid->NumColumns(), c.Columns);
    EXPECT_EQ(grid->NumRows(), 4);
  }
}

// Slide values are stored as the row's first slide plus the fraction of the
// row; writing the stored position again paints nothing; the border tests
// follow the size without a paint; a wider control renormalises the position.
TEST(ThumbnailsGeometry, SetScrollPositionNormalisesSlideNumbersToRows) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  const std::pair<double, double> cases[] = {{4.0, 3.5},  {2.0, 1.5}, {3.0, 3.0},    {6.0, 5.5},
                                             {2.5, 1.75}, {0.0, 1.0}, {100.0, 99.5}, {101.0, 99.5}};
  for (const auto& [value, stored] : cases) {
    grid->SetScrollPosition(value);
    EXPECT_DOUBLE_EQ(grid->ScrollPosition(), stored) << value;
  }
  grid->SetScrollPosition(4.0);
  PaintCounter paints(*grid);
  grid->SetScrollPosition(4.0);
  grid->SetScrollPosition(3.0);
  grid->SetScrollPosition(3.0);
  EXPECT_EQ(paints.Count, 1);
  grid->SetScrollPosition(4.0);
  EXPECT_EQ(grid->SlideAtPos(150, 443), 10);  // its box reaches y = 486, past the bottom border at 443
  grid->SetHeight(452);
  EXPECT_EQ(grid->SlideAtPos(150, 443), 0);
  grid->SetWidth(450);
  grid->Paint();
  EXPECT_EQ(grid->NumColumns(), 3);
  EXPECT_DOUBLE_EQ(grid->ScrollPosition(), 1.0 + 2.5 / 3.0);
}

TEST(ThumbnailsGeometry, ZeroPitchDividesNothingByZero) {
  TThumbnails grid(nullptr);
  grid.SetWidth(0);
  grid.SetSlideSize(0);
  grid.SetSlideDistance(0);
  grid.SetSlideMargin(0);
  ASSERT_EQ(grid.SlideSize(), 0);
  std::vector<int> asked;
  grid.OnImageRequest = [&](TObject*, int id, TImageRequestProcessing&, int&, TBitmap*&) { asked.push_back(id); };
  grid.Paint();
  EXPECT_EQ(grid.NumColumns(), 1);
  EXPECT_EQ(grid.SlideAtPos(10, 10), 0);
  grid.SetScrollPosition(3.0);
  EXPECT_FALSE(asked.empty());
}
