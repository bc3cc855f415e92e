// The mouse on the grid: rows of pointer moves, clicks with Ctrl and Shift,
// double clicks and scrolling, each step compared with the reference model
// (every pixel of the focus outline and of the repaints, the focused slide,
// the selection, the anchor and the events).
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "support/GridReference.h"
#include "thumbnails_test_helpers.h"

// Rows name only what differs from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

enum Kind { Move, Click, DoubleClick, Scroll, Pen };
struct Step {
  Kind What;
  int X = 0, Y = 0;  // for Scroll, X is the slide value; for Pen, the canvas pen's width
  int Keys = 0;
};

struct MouseRow {
  const char* Name;
  reference::Look Look;
  TSlideSelectMode Mode = ssmMultiple;
  std::vector<Step> Steps;
};

// Points on the browser's settings: slides 1..8 at position 1.0.
Step At(Kind what, int id, int keys = 0) {
  const int x = id % 2 ? 50 : 200;
  const int y = 50 + (id - 1) / 2 * 136;
  return {what, x, y, keys};
}
const Step kGap{Move, 145, 50};  // between slides 1 and 2
const TColor kRose = 0x8080FF, kMint = 0x90EE90, kInk = 0x402000;

const MouseRow kRows[] = {
    {"the outline follows across slides, gaps and borders",
     {},
     ssmMultiple,
     {{Move, 50, 50},
      {Move, 60, 70},
      {Move, 145, 50},
      {Move, 200, 50},
      {Move, 5, 50},
      {Move, 50, 140},
      {Move, 50, 150},
      {Move, 280, 300},
      {Move, 281, 300},
      {Move, 50, 443}}},
    {"three outlines at 3.5, erased in the cover and then the selected colour",
     {.FocusLinewidth = 3},
     ssmMultiple,
     {{Scroll, 4}, {Move, 50, 100}, {Move, 145, 100}, {Move, 50, 100}, {Click, 50, 100}, {Move, 145, 100}}},
    {"outlines held inside the frame at the top and bottom, strips repainted",
     {.FocusLinewidth = 2},
     ssmMultiple,
     {{Scroll, 4},
      {Move, 50, 20},
      {Move, 50, 400},
      {Move, 200, 440},
      {Scroll, 7},
      {Move, 50, 430},
      {Scroll, 1},
      {Move, 50, 50}}},
    {"erased where the slide lies after scrolling",
     {},
     ssmMultiple,
     {{Move, 200, 50}, {Scroll, 4}, {Move, 50, 100}}},
    {"outlines deeper than the margin lie on the card",
     {.FocusLinewidth = 10},
     ssmMultiple,
     {{Move, 50, 50}, {Move, 200, 200}, {Click, 200, 200}, {Move, 50, 50}}},
    {"no outline and no focus without a line width",
     {.FocusLinewidth = 0},
     ssmMultiple,
     {{Move, 50, 50}, {Move, 200, 50}, {Click, 200, 50}}},
    {"own colours",
     {.Back = kRose, .Cover = kMint, .Selected = kInk, .Focus = clRed, .FocusLinewidth = 2},
     ssmMultiple,
     {{Click, 50, 50}, {Move, 50, 50}, {Move, 200, 50}, {Move, 50, 50}}},
    {"the multiple mode by keys",
     {},
     ssmMultiple,
     {At(Click, 2), At(Click, 4, MK_CONTROL), At(Click, 4, MK_CONTROL), At(Click, 4, MK_CONTROL),
      At(Click, 7, MK_SHIFT), At(Click, 1, MK_SHIFT), At(Click, 5, MK_CONTROL | MK_SHIFT),
      At(Click, 3, MK_CONTROL | MK_SHIFT), At(Click, 8), At(Click, 6, MK_CONTROL | MK_SHIFT)}},
    {"clicks on no slide by keys",
     {},
     ssmMultiple,
     {At(Click, 2),
      At(Click, 4, MK_CONTROL),
      {Click, 145, 50, MK_CONTROL},
      At(Click, 7),
      {Click, 145, 50, MK_SHIFT},
      At(Click, 3, MK_CONTROL),
      {Click, 145, 50},
      At(Click, 5, MK_SHIFT)}},
    {"the single mode ignores the keys",
     {},
     ssmSingle,
     {At(Click, 3), At(Click, 4, MK_CONTROL | MK_SHIFT), At(Click, 4), At(Click, 4, MK_CONTROL), {Click, 145, 50}}},
    {"the disabled mode only reports", {}, ssmDisabled, {At(Move, 3), At(Click, 3), At(Click, 4, MK_SHIFT)}},
    {"a release at (-1, -1) is ignored", {}, ssmMultiple, {At(Click, 3), {Click, -1, -1}, {Click, -1, 50}}},
    {"a Ctrl double click inverts twice; the double click itself paints nothing",
     {},
     ssmMultiple,
     {At(Click, 3),
      At(Click, 3, MK_CONTROL),
      At(Move, 3),
      At(DoubleClick, 3, MK_CONTROL),
      At(Click, 3, MK_CONTROL),
      {DoubleClick, 145, 50}}},
    {"hit tests at 3.5 on every limit",
     {},
     ssmSingle,
     {{Scroll, 4},
      {Click, 50, 100},
      {Click, 10, 100},
      {Click, 9, 100},
      {Click, 144, 100},
      {Click, 145, 100},
      {Click, 146, 100},
      {Click, 280, 100},
      {Click, 281, 100},
      {Click, 285, 100},
      {Click, 290, 100},
      {Click, 50, 10},
      {Click, 50, 78},
      {Click, 50, 79},
      {Click, 50, 80},
      {Click, 50, 9},
      {Click, 50, 443},
      {Click, 150, 443},
      {Click, 50, 444}}},
    {"the right border where a box reaches it",
     {.Width = 290},
     ssmSingle,
     {{Click, 280, 50}, {Click, 281, 50}, {Move, 280, 200}, {Move, 279, 200}}},
    {"the right border cuts a box that does not fit",
     {.Width = 100},
     ssmSingle,
     {{Click, 90, 50}, {Click, 91, 50}, {Move, 90, 200}, {Move, 91, 200}}},
    {"the bottom border in a low grid",
     {.Height = 200},
     ssmSingle,
     {{Click, 50, 190}, {Click, 50, 191}, {Move, 50, 190}, {Move, 50, 191}}},
    {"without a gap the shared column and row belong to the right and lower slide",
     {.SlideDistance = 0},
     ssmSingle,
     {{Click, 143, 50},
      {Click, 144, 50},
      {Move, 143, 50},
      {Move, 144, 50},
      {Click, 50, 143},
      {Click, 50, 144},
      {Move, 50, 143},
      {Move, 50, 144}}},
    {"outlines are one pixel wide whatever pen the canvas holds",
     {.FocusLinewidth = 2},
     ssmMultiple,
     {{Pen, 3}, {Move, 50, 50}, {Move, 200, 50}}},
    {"slides before Min do not exist",
     {.Min = 3},
     ssmMultiple,
     {{Scroll, 0}, {Move, 50, 50}, {Move, 200, 50}, {Click, 200, 50}, {Click, 50, 190, MK_SHIFT}}},
};

}  // namespace

TEST(ThumbnailsMouse, EveryStepAsTheReferenceHasIt) {
  for (const MouseRow& row : kRows) {
    SCOPED_TRACE(row.Name);
    reference::Look look = row.Look;
    auto grid = std::make_unique<TThumbnails>(nullptr);
    grid->SetBounds(0, 0, look.Width, look.Height);
    grid->SetSlideDistance(look.SlideDistance);
    grid->SetMin(look.Min);
    grid->SetColorBackGnd(look.Back);
    grid->SetColorCover(look.Cover);
    grid->SetColorSelected(look.Selected);
    grid->SetColorFocus(look.Focus);
    grid->SetFocusLinewidth(look.FocusLinewidth);
    grid->SetSlideSelectMode(row.Mode);
    grid->Paint();
    std::vector<std::string> log;
    grid->OnImageClick = [&](TObject*, int, int, int id) { log.push_back("click " + std::to_string(id)); };
    grid->OnImageDblClick = [&](TObject*, int, int, int id) { log.push_back("dblclick " + std::to_string(id)); };
    grid->OnFocusChange = [&](TObject*) { log.push_back("focus " + std::to_string(grid->FocusedSlide())); };

    std::vector<std::string> want;
    TBitmap shown;
    reference::Paint(look, shown);
    int anchor = 0, focused = 0;
    for (const Step& s : row.Steps) {
      SCOPED_TRACE(testing::Message() << "step " << s.What << " at " << s.X << "," << s.Y << " keys " << s.Keys);
      const int slide = reference::Layout(look, reference::Columns(look)).SlideAt(s.X, s.Y);
      if (s.What == Move) {
        grid->MouseMove(0, s.X, s.Y);
        if (look.FocusLinewidth > 0 && slide != focused) {
          reference::FocusOutline(look, shown, focused, look.Chosen.count(focused) ? look.Selected : look.Cover);
          reference::FocusOutline(look, shown, slide, look.Focus);
          focused = slide;
          want.push_back("focus " + std::to_string(slide));
        }
      } else if (s.What == Click) {
        ClickAt(*grid, s.X, s.Y, s.Keys);
        if (s.X != -1 || s.Y != -1) {
          if (reference::Click(look, anchor, row.Mode, slide, s.Keys)) reference::Paint(look, shown);
          want.push_back("click " + std::to_string(slide));
        }
      } else if (s.What == DoubleClick) {
        DoubleClickAt(*grid, s.X, s.Y, s.Keys);
        want.push_back("dblclick " + std::to_string(slide));
      } else if (s.What == Pen) {
        grid->Canvas().Pen.Width = s.X;
      } else {
        grid->SetScrollPosition(s.X);
        const double position = reference::Normalised(s.X, reference::Columns(look), look.Min, look.Max);
        if (position != look.Position) {
          look.Position = position;
          reference::Paint(look, shown);
        }
      }
      ASSERT_TRUE(SamePixels(grid->Surface(), shown));
      EXPECT_EQ(grid->FocusedSlide(), focused);
      EXPECT_EQ(SelectedSlides(*grid), std::vector<int>(look.Chosen.begin(), look.Chosen.end()));
      EXPECT_EQ(grid->SelectAnchor(), anchor);
      ASSERT_EQ(log, want);
    }
  }
}

// Every event carries the grid as sender and the message's own X and Y.
TEST(ThumbnailsMouse, ToolkitEventsComeBeforeTheGridsOwnWithTheirArguments) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  std::vector<std::string> log;
  auto at = [&](TObject* sender, const std::string& what, int x, int y) {
    EXPECT_EQ(sender, grid.get()) << what;
    log.push_back(what + " " + std::to_string(x) + "," + std::to_string(y));
  };
  grid->OnMouseUp = [&](TObject* s, TMouseButton, TShiftState, int x, int y) { at(s, "mouse up", x, y); };
  grid->OnDblClick = [&](TObject* s) { at(s, "toolkit dblclick", 0, 0); };
  grid->OnMouseMove = [&](TObject* s, TShiftState, int x, int y) { at(s, "mouse move", x, y); };
  grid->OnImageClick = [&](TObject* s, int x, int y, int id) { at(s, "click " + std::to_string(id), x, y); };
  grid->OnImageDblClick = [&](TObject* s, int x, int y, int id) { at(s, "dblclick " + std::to_string(id), x, y); };
  grid->OnFocusChange = [&](TObject* s) { at(s, "focus " + std::to_string(grid->FocusedSlide()), 0, 0); };
  ClickAt(*grid, 31, 170);  // slide 3
  DoubleClickAt(*grid, 32, 171);
  grid->MouseMove(0, 33, 172);
  ClickAt(*grid, -1, -1);  // the toolkit's handling only
  EXPECT_EQ(log,
            (std::vector<std::string>{"mouse up 31,170", "click 3 31,170", "toolkit dblclick 0,0",
                                      "dblclick 3 32,171", "mouse move 33,172", "focus 3 0,0", "mouse up -1,-1"}));
}

// Mouse moves draw straight on the screen: none of them runs the paint.
TEST(ThumbnailsMouse, MovesNeverPaint) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  PaintCounter paints(*grid);
  for (int x = 0; x < 299; x += 7) grid->MouseMove(0, x, x + 20);
  EXPECT_EQ(paints.Count, 0);
}
