// Focus outline and selection by clicks, on the browser's settings
// (299 x 453, SlideSize 120, SlideDistance 2, SlideMargin 7).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "thumbnails_test_helpers.h"

namespace {

const TPoint kGap{145, 50};  // between the boxes of slides 1 and 2

class MouseGrid : public testing::Test {
 protected:
  void SetUp() override {
    grid = MakeBrowserGrid();
    grid->Paint();
    grid->OnImageClick = [this](TObject* s, int, int, int id) { Log(s, "click " + std::to_string(id)); };
    grid->OnImageDblClick = [this](TObject* s, int, int, int id) { Log(s, "dblclick " + std::to_string(id)); };
    grid->OnFocusChange = [this](TObject* s) { Log(s, "focus " + std::to_string(grid->FocusedSlide())); };
  }
  void Log(TObject* sender, const std::string& what) {
    EXPECT_EQ(sender, grid.get()) << what;
    log.push_back(what);
  }
  // A point inside the slide's box, above the bottom border for slide 7.
  TPoint Inside(int id) const {
    TPoint p;
    grid->SlideOrigin(id, p.X, p.Y);
    return {p.X + 20, p.Y + 20};
  }
  // Slide 0: the gap between two boxes.
  void Click(int id, int keys = 0) {
    const TPoint p = id ? Inside(id) : kGap;
    ClickAt(*grid, p.X, p.Y, keys);
  }
  void MoveTo(int x, int y) { grid->MouseMove(0, x, y); }
  TColor Px(int x, int y) { return ShownPixel(*grid, x, y); }
  std::vector<std::uint32_t> Shown() const {
    const TBitmap& s = grid->Surface();
    return std::vector<std::uint32_t>(s.Bits(), s.Bits() + std::size_t(s.Width()) * std::size_t(s.Height()));
  }
  // Every pixel of the closed outline (inclusive corners) in colour c.
  void ExpectOutline(int left, int top, int right, int bottom, TColor c) {
    for (int x = left; x <= right; ++x) {
      ASSERT_EQ(Px(x, top), c) << x << "," << top;
      ASSERT_EQ(Px(x, bottom), c) << x << "," << bottom;
    }
    for (int y = top; y <= bottom; ++y) {
      ASSERT_EQ(Px(left, y), c) << left << "," << y;
      ASSERT_EQ(Px(right, y), c) << right << "," << y;
    }
  }

  std::unique_ptr<TThumbnails> grid;
  std::vector<std::string> log;
};

}  // namespace

// Multiple mode from slides 2 and 4 selected with the anchor on 2.
TEST_F(MouseGrid, MultipleModeFollowsTheKeyTable) {
  struct Case {
    const char* Keys;
    int KeyState;
    int Slide;
    std::vector<int> Selected;
    int Anchor;
  };
  const std::vector<Case> cases = {
      {"none", 0, 5, {5}, 5},
      {"Ctrl on a selected slide", MK_CONTROL, 4, {2}, 2},
      {"Ctrl", MK_CONTROL, 5, {2, 4, 5}, 2},
      {"Shift below the anchor", MK_SHIFT, 5, {2, 3, 4, 5}, 5},
      {"Shift above the anchor", MK_SHIFT, 1, {1, 2, 4}, 1},
      {"Ctrl and Shift on a selected slide", MK_CONTROL | MK_SHIFT, 4, {2, 3, 4}, 2},
      {"Ctrl and Shift", MK_CONTROL | MK_SHIFT, 5, {2, 3, 4, 5}, 2},
      // No slide (0): its flag index is negative and ignored, the rest runs.
      {"none on no slide", 0, 0, {}, 0},
      {"Ctrl on no slide", MK_CONTROL, 0, {2, 4}, 2},
      {"Shift on no slide", MK_SHIFT, 0, {1, 2, 4}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.Keys);
    grid->SetSlideSelectMode(ssmSingle);
    grid->SetSlideSelectMode(ssmMultiple);
    Click(2);
    Click(4, MK_CONTROL);
    ASSERT_EQ(SelectedSlides(*grid), (std::vector<int>{2, 4}));
    ASSERT_EQ(grid->SelectAnchor(), 2);
    PaintCounter paints(*grid);
    Click(c.Slide, c.KeyState);
    EXPECT_EQ(SelectedSlides(*grid), c.Selected);
    EXPECT_EQ(grid->SelectAnchor(), c.Anchor);
    EXPECT_EQ(paints.Count, 1);
    EXPECT_EQ(log.back(), "click " + std::to_string(c.Slide));
  }
}

TEST_F(MouseGrid, SingleModeKeepsAClickedSelectedSlideSelected) {
  grid->SetSlideSelectMode(ssmSingle);
  Click(3);
  Click(4, MK_CONTROL | MK_SHIFT);  // keys play no part
  EXPECT_EQ(SelectedSlides(*grid), (std::vector<int>{4}));
  PaintCounter paints(*grid);
  Click(4);
  EXPECT_EQ(SelectedSlides(*grid), (std::vector<int>{4}));
  EXPECT_EQ(grid->SelectAnchor(), 4);
  EXPECT_EQ(paints.Count, 1);
}

TEST_F(MouseGrid, DisabledModeChangesNothingButReportsTheClick) {
  Click(3);
  grid->SetSlideSelectMode(ssmDisabled);
  PaintCounter paints(*grid);
  log.clear();
  Click(4);
  EXPECT_TRUE(SelectedSlides(*grid).empty());  // cleared by the mode change only
  EXPECT_EQ(paints.Count, 0);
  EXPECT_EQ(log, (std::vector<std::string>{"click 4"}));
}

TEST_F(MouseGrid, ReleaseAtMinusOneIsIgnoredAfterTheToolkitsHandling) {
  Click(3);
  int mouseUps = 0;
  grid->OnMouseUp = [&](TObject*, TMouseButton, TShiftState, int, int) { ++mouseUps; };
  PaintCounter paints(*grid);
  log.clear();
  ClickAt(*grid, -1, -1);
  EXPECT_EQ(mouseUps, 1);
  EXPECT_EQ(SelectedSlides(*grid), (std::vector<int>{3}));
  EXPECT_EQ(grid->SelectAnchor(), 3);
  EXPECT_EQ(paints.Count, 0);
  EXPECT_TRUE(log.empty());
}

// Every event carries the grid as sender and the message's own X and Y.
TEST_F(MouseGrid, ToolkitEventsComeBeforeTheGridsOwnWithTheirArguments) {
  auto at = [&](TObject* sender, const std::string& what, int x, int y) {
    Log(sender, what + " " + std::to_string(x) + "," + std::to_string(y));
  };
  grid->OnMouseUp = [&](TObject* s, TMouseButton, TShiftState, int x, int y) { at(s, "mouse up", x, y); };
  grid->OnDblClick = [&](TObject* s) { Log(s, "toolkit dblclick"); };
  grid->OnMouseMove = [&](TObject* s, TShiftState, int x, int y) { at(s, "mouse move", x, y); };
  grid->OnImageClick = [&](TObject* s, int x, int y, int id) { at(s, "click " + std::to_string(id), x, y); };
  grid->OnImageDblClick = [&](TObject* s, int x, int y, int id) { at(s, "dblclick " + std::to_string(id), x, y); };
  ClickAt(*grid, 31, 170);  // slide 3
  DoubleClickAt(*grid, 32, 171);
  MoveTo(33, 172);
  EXPECT_EQ(log, (std::vector<std::string>{"mouse up 31,170", "click 3 31,170", "toolkit dblclick",
                                           "dblclick 3 32,171", "mouse move 33,172", "focus 3"}));
}

TEST_F(MouseGrid, CtrlDoubleClickInvertsTwiceAndReportsClickDoubleClickClick) {
  Click(3);
  PaintCounter paints(*grid);
  log.clear();
  const TPoint p = Inside(3);
  ClickAt(*grid, p.X, p.Y, MK_CONTROL);
  DoubleClickAt(*grid, p.X, p.Y, MK_CONTROL);
  ClickAt(*grid, p.X, p.Y, MK_CONTROL);
  EXPECT_EQ(SelectedSlides(*grid), (std::vector<int>{3}));
  EXPECT_EQ(paints.Count, 2);            // the two releases; the double click paints nothing
  DoubleClickAt(*grid, kGap.X, kGap.Y);  // no slide: reported as 0
  EXPECT_EQ(log, (std::vector<std::string>{"click 3", "dblclick 3", "click 3", "dblclick 0"}));
}

// Moves never paint; the focus follows only across slides, and not at all
// without a line width.
TEST_F(MouseGrid, MovingWithinOneSlideDrawsNothingAndMovesNeverPaint) {
  PaintCounter paints(*grid);
  grid->SetFocusLinewidth(0);
  auto before = Shown();
  MoveTo(Inside(3).X, Inside(3).Y);
  EXPECT_EQ(grid->FocusedSlide(), 0);
  EXPECT_EQ(Shown(), before);
  grid->SetFocusLinewidth(1);
  paints.Count = 0;
  MoveTo(50, 50);
  before = Shown();
  MoveTo(60, 70);
  EXPECT_EQ(Shown(), before);
  EXPECT_EQ(log, (std::vector<std::string>{"focus 1"}));
  MoveTo(kGap.X, kGap.Y);
  EXPECT_EQ(grid->FocusedSlide(), 0);
  EXPECT_EQ(log, (std::vector<std::string>{"focus 1", "focus 0"}));
  EXPECT_EQ(paints.Count, 0);
}

TEST_F(MouseGrid, ThreeNestedOutlinesFromTwoPixelsInsideTheBoxErasedInTheSlidesColour) {
  grid->SetScrollPosition(4.0);  // slide 5 at (10, 80)
  grid->SetFocusLinewidth(3);
  MoveTo(50, 100);
  ASSERT_EQ(grid->FocusedSlide(), 5);
  ExpectOutline(12, 82, 142, 212, clBlue);
  ExpectOutline(13, 83, 141, 211, clBlue);
  ExpectOutline(14, 84, 140, 210, clBlue);
  EXPECT_EQ(Px(10, 100), clWhite);  // the box's frame is untouched
  EXPECT_EQ(Px(11, 100), clSilver);
  EXPECT_EQ(Px(15, 100), clSilver);

  MoveTo(kGap.X, 100);  // erased in the cover colour
  ExpectOutline(12, 82, 142, 212, clSilver);
  ExpectOutline(13, 83, 141, 211, clSilver);
  ExpectOutline(14, 84, 140, 210, clSilver);

  MoveTo(50, 100);
  Click(5);             // selected; the repaint takes the outline, the focus stays
  MoveTo(kGap.X, 100);  // erased in the selected colour
  ExpectOutline(12, 82, 142, 212, clNavy);
  ExpectOutline(14, 84, 140, 210, clNavy);
}

TEST_F(MouseGrid, OutlinesStopAtTheFrameAndTheStripsAreRepainted) {
  grid->SetScrollPosition(4.0);
  const TColor background = ColorToRGB(clBtnFace);
  MoveTo(50, 20);  // slide 3 at y = -56: Top raised to 2
  ASSERT_EQ(grid->FocusedSlide(), 3);
  EXPECT_EQ(Px(12, 10), clBlue);
  EXPECT_EQ(Px(142, 76), clBlue);
  for (int y = 2; y <= 9; ++y) EXPECT_EQ(Px(12, y), background) << y;
  MoveTo(50, 400);  // slide 9 at y = 352: Bottom lowered to 450
  ASSERT_EQ(grid->FocusedSlide(), 9);
  EXPECT_EQ(Px(12, 354), clBlue);
  EXPECT_EQ(Px(12, 442), clBlue);
  EXPECT_EQ(Px(142, 442), clBlue);
  for (int y = 443; y <= 450; ++y) EXPECT_EQ(Px(12, y), background) << y;
  EXPECT_EQ(Px(12, 451), clWhite);  // the control frame below stays
  // The strips cover x = 2..296, over the frame's inner ring on column 296
  // (silver) and row 450, but not its outer ring (white column 297).
  for (int y : {2, 9, 443, 450}) {
    EXPECT_EQ(Px(2, y), background) << y;
    EXPECT_EQ(Px(296, y), background) << y;
    EXPECT_EQ(Px(297, y), clWhite) << y;
  }
  EXPECT_EQ(Px(296, 10), clSilver);
  EXPECT_EQ(Px(296, 442), clSilver);
  EXPECT_EQ(Px(100, 450), background);
  EXPECT_EQ(Px(1, 5), clBlack);
}

// Slides scrolled wholly above or below the view: their outline is clipped
// to rows 2..450, so the control frame (rows 0-1 gray and black, row 451
// white, row 452 background) keeps its colours.
TEST_F(MouseGrid, OutlinesOfSlidesOutOfViewNeverReachTheControlFrame) {
  const TColor background = ColorToRGB(clBtnFace);
  auto expectFrame = [&](int x) {
    EXPECT_EQ(Px(x, 0), 0x808080u) << x;
    EXPECT_EQ(Px(x, 1), clBlack) << x;
    EXPECT_EQ(Px(x, 451), clWhite) << x;
    EXPECT_EQ(Px(x, 452), background) << x;
  };
  MoveTo(50, 50);
  ASSERT_EQ(grid->FocusedSlide(), 1);
  grid->SetScrollPosition(7.0);  // slide 1 now at y = -396
  MoveTo(50, 430);               // slide 13 at y = 420
  ASSERT_EQ(grid->FocusedSlide(), 13);
  expectFrame(12);
  expectFrame(142);
  grid->SetScrollPosition(1.0);  // slide 13 now at y = 828
  MoveTo(50, 50);
  ASSERT_EQ(grid->FocusedSlide(), 1);
  expectFrame(12);
  expectFrame(142);
  EXPECT_EQ(Px(12, 14), clBlue);  // the outline of slide 1 is whole
  EXPECT_EQ(Px(142, 144), clBlue);
}

TEST_F(MouseGrid, EraseAfterScrollingPaintsWhereTheSlideNowLies) {
  MoveTo(200, 50);
  ASSERT_EQ(grid->FocusedSlide(), 2);
  grid->SetScrollPosition(4.0);  // slide 2 now at (-126, -56)
  const TColor background = ColorToRGB(clBtnFace);
  ASSERT_EQ(Px(6, 40), background);
  MoveTo(50, 100);
  // Outline (-124, 2)-(6, 76) in the cover colour, strips repainted over y = 2..9.
  for (int y = 10; y <= 76; ++y) EXPECT_EQ(Px(6, y), clSilver) << y;
  for (int x = 0; x <= 6; ++x) EXPECT_EQ(Px(x, 76), clSilver) << x;
  EXPECT_EQ(Px(0, 2), clSilver);
  EXPECT_EQ(Px(1, 2), clSilver);
  EXPECT_EQ(Px(2, 2), background);
  EXPECT_EQ(Px(6, 2), background);
  EXPECT_EQ(Px(7, 40), background);
}
