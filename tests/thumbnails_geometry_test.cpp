// Grid geometry on the browser's settings (299 x 453, SlideSize 120,
// SlideDistance 2, SlideMargin 7): columns, rows, the scroll position, slide
// origins and hit tests.
#include <gtest/gtest.h>

#include <vector>

#include "thumbnails_test_helpers.h"

namespace {

class BrowserGrid : public testing::Test {
 protected:
  void SetUp() override {
    grid = MakeBrowserGrid();
    grid->Paint();
  }
  TPoint Origin(int id) const {
    TPoint p;
    grid->SlideOrigin(id, p.X, p.Y);
    return p;
  }
  std::unique_ptr<TThumbnails> grid;
};

}  // namespace

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

TEST_F(BrowserGrid, SetScrollPositionNormalisesSlideNumbersToRows) {
  struct Case {
    double Value;
    double Stored;
  };
  const std::vector<Case> cases = {{4.0, 3.5},  {2.0, 1.5}, {3.0, 3.0},    {6.0, 5.5},
                                   {2.5, 1.75}, {0.0, 1.0}, {100.0, 99.5}, {101.0, 99.5}};
  for (const Case c : cases) {
    SCOPED_TRACE(c.Value);
    grid->SetScrollPosition(c.Value);
    EXPECT_DOUBLE_EQ(grid->ScrollPosition(), c.Stored);
  }
}

// Box origins at positions 1.0 and 3.5 (set as 4.0); slide 2 lies before
// the first slide in view at 3.5, left of the view.
TEST_F(BrowserGrid, OriginsAtTheTopAndAtPositionThreeAndAHalf) {
  struct Case {
    double position;
    int id;
    TPoint origin;
  };
  const Case cases[] = {{1.0, 1, {10, 12}},  {1.0, 2, {146, 12}},   {1.0, 3, {10, 148}},  {1.0, 7, {10, 420}},
                        {4.0, 3, {10, -56}}, {4.0, 4, {146, -56}},  {4.0, 5, {10, 80}},   {4.0, 6, {146, 80}},
                        {4.0, 9, {10, 352}}, {4.0, 10, {146, 352}}, {4.0, 2, {-126, -56}}};
  for (const Case& c : cases) {
    grid->SetScrollPosition(c.position);
    EXPECT_EQ(Origin(c.id), c.origin) << "slide " << c.id << " at " << c.position;
  }
}

TEST_F(BrowserGrid, HitTestsAtPositionThreeAndAHalf) {
  grid->SetScrollPosition(4.0);
  struct Case {
    int X, Y, Slide;
  };
  const std::vector<Case> cases = {
      {50, 100, 5},  {10, 100, 5},  {144, 100, 5}, {145, 100, 0},  {146, 100, 6}, {280, 100, 6},
      {281, 100, 0}, {285, 100, 0}, {290, 100, 0}, {50, 10, 3},    {50, 78, 3},   {50, 79, 0},
      {50, 80, 5},   {50, 9, 0},    {50, 443, 9},  {150, 443, 10}, {50, 444, 0},
  };
  for (const Case c : cases) {
    SCOPED_TRACE(testing::Message() << c.X << "," << c.Y);
    EXPECT_EQ(grid->SlideAtPos(c.X, c.Y), c.Slide);
  }
}

TEST_F(BrowserGrid, WiderControlRenormalisesThePositionForThreeColumns) {
  grid->SetScrollPosition(4.0);
  grid->SetWidth(450);
  grid->Paint();
  EXPECT_EQ(grid->NumColumns(), 3);
  EXPECT_DOUBLE_EQ(grid->ScrollPosition(), 1.0 + 2.5 / 3.0);
}

TEST_F(BrowserGrid, HalfPixelScrollOffsetsRoundToEven) {
  for (int slideSize : {121, 119}) {  // P = 137 (68.5) and P = 135 (67.5): both 68
    SCOPED_TRACE(slideSize);
    grid->SetSlideSize(slideSize);
    grid->SetScrollPosition(2.0);  // fraction 0.5
    ASSERT_DOUBLE_EQ(grid->ScrollPosition(), 1.5);
    EXPECT_EQ(Origin(1).Y, 10 - 68 + 2);
  }
}

TEST_F(BrowserGrid, WritingTheStoredPositionAgainDoesNotRepaint) {
  grid->SetScrollPosition(4.0);
  PaintCounter paints(*grid);
  grid->SetScrollPosition(4.0);
  grid->SetScrollPosition(3.0);
  EXPECT_EQ(paints.Count, 1);
  grid->SetScrollPosition(3.0);
  EXPECT_EQ(paints.Count, 1);
}

TEST_F(BrowserGrid, PositionBelowMinLeavesTheMissingFirstCellEmpty) {
  grid->SetMin(2);
  grid->SetScrollPosition(0.0);
  EXPECT_DOUBLE_EQ(grid->ScrollPosition(), 1.5);
  RequestRecorder requests(*grid);
  grid->Paint();
  EXPECT_EQ(requests.Ids, (std::vector<int>{3, 5, 7, 2, 4, 6, 8}));
  EXPECT_EQ(requests.Announced, requests.Ids);
}

TEST_F(BrowserGrid, WithoutAGapNeighboursShareAColumnThatBelongsToTheRightSlide) {
  grid->SetSlideDistance(0);
  EXPECT_EQ(grid->NumColumns(), 2);
  EXPECT_EQ(Origin(2).X, 144);
  EXPECT_EQ(grid->SlideAtPos(143, 50), 1);
  EXPECT_EQ(grid->SlideAtPos(144, 50), 2);
}

TEST_F(BrowserGrid, BorderTestsUseTheCurrentSizeAndTheirLimits) {
  // The box of slide 10 reaches y = 486, past the bottom border at 443.
  grid->SetScrollPosition(4.0);
  EXPECT_EQ(grid->SlideAtPos(150, 443), 10);
  grid->SetHeight(452);  // no paint: the border test follows the new height
  EXPECT_EQ(grid->SlideAtPos(150, 443), 0);
}

TEST(ThumbnailsGeometry, ZeroPitchDividesNothingByZero) {
  TThumbnails grid(nullptr);
  grid.SetWidth(0);
  grid.SetSlideSize(0);
  grid.SetSlideDistance(0);
  grid.SetSlideMargin(0);
  ASSERT_EQ(grid.SlideSize(), 0);
  RequestRecorder requests(grid);
  grid.Paint();
  EXPECT_EQ(grid.NumColumns(), 1);
  EXPECT_EQ(grid.SlideAtPos(10, 10), 0);
  grid.SetScrollPosition(3.0);
  EXPECT_FALSE(requests.Ids.empty());
}
