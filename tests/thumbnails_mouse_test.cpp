// The mouse on the grid: rows of pointer moves, clicks with Ctrl and Shift,
// double clicks and scrolling, each step compared with the reference model
// (every pixel of the focus outline and of the repaints, the focused slide,
// the selection, the anchor and the events).
#include <gtest/gtest.h>

#include <cstdlib>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "support/GridReference.h"
#include "thumbnails_test_helpers.h"

// Rows name only what differs from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

struct Step {
  char What;         // m move, c click, d double click, s scroll, p the canvas pen
  int X = 0, Y = 0;  // for s the slide value, for p the pen's width
  int Keys = 0;
};

// Steps written "m50,60", "c#3" (inside slide 3 at position 1.0), "s4", "p3";
// a trailing C or S holds Ctrl or Shift.
std::vector<Step> Steps(const std::string& text) {
  std::vector<Step> steps;
  std::istringstream in(text);
  for (std::string word; in >> word;) {
    Step s{word[0]};
    char* end = nullptr;
    if (word[1] == '#') {
      const long id = std::strtol(word.c_str() + 2, &end, 10);
      s.X = id % 2 ? 50 : 200;
      s.Y = int(50 + (id - 1) / 2 * 136);
    } else {
      s.X = int(std::strtol(word.c_str() + 1, &end, 10));
      if (*end == ',') s.Y = int(std::strtol(end + 1, &end, 10));
    }
    for (; *end; ++end) s.Keys |= *end == 'C' ? MK_CONTROL : MK_SHIFT;
    steps.push_back(s);
  }
  return steps;
}

struct MouseRow {
  const char* Name;
  reference::Look Look;
  TSlideSelectMode Mode;
  std::string Steps;
};

const TColor kRose = 0x8080FF, kMint = 0x90EE90, kInk = 0x402000;

const MouseRow kRows[] = {
    {"the outline follows across slides, gaps and borders",
     {},
     ssmMultiple,
     "m50,50 m60,70 m145,50 m200,50 m5,50 m50,140 m50,150 m280,300 m281,300 m50,443"},
    {"three outlines at 3.5, erased in the cover and then the selected colour",
     {.FocusLinewidth = 3},
     ssmMultiple,
     "s4 m50,100 m145,100 m50,100 c50,100 m145,100"},
    {"outlines held inside the frame at the top and bottom, strips repainted",
     {.FocusLinewidth = 2},
     ssmMultiple,
     "s4 m50,20 m50,400 m200,440 s7 m50,430 s1 m50,50"},
    {"erased where the slide lies after scrolling", {}, ssmMultiple, "m200,50 s4 m50,100"},
    {"outlines deeper than the margin lie on the card",
     {.FocusLinewidth = 10},
     ssmMultiple,
     "m50,50 m200,200 c200,200 m50,50"},
    {"no outline and no focus without a line width", {.FocusLinewidth = 0}, ssmMultiple, "m50,50 m200,50 c200,50"},
    {"own colours",
     {.Back = kRose, .Cover = kMint, .Selected = kInk, .Focus = clRed, .FocusLinewidth = 2},
     ssmMultiple,
     "c50,50 m50,50 m200,50 m50,50"},
    {"the multiple mode by keys", {}, ssmMultiple, "c#2 c#4C c#4C c#4C c#7S c#1S c#5CS c#3CS c#8 c#6CS"},
    {"clicks on no slide by keys", {}, ssmMultiple, "c#2 c#4C c145,50C c#7 c145,50S c#3C c145,50 c#5S"},
    {"the single mode ignores the keys", {}, ssmSingle, "c#3 c#4CS c#4 c#4C c145,50"},
    {"the disabled mode only reports", {}, ssmDisabled, "m#3 c#3 c#4S"},
    {"a release at (-1, -1) is ignored", {}, ssmMultiple, "c#3 c-1,-1 c-1,50"},
    {"a Ctrl double click inverts twice; the double click itself paints nothing",
     {},
     ssmMultiple,
     "c#3 c#3C m#3 d#3C c#3C d145,50"},
    {"hit tests at 3.5 on every limit, a double click's on the lower edge of a box",
     {},
     ssmSingle,
     "s4 c50,100 c10,100 c9,100 c144,100 c145,100 c146,100 c280,100 c281,100 c285,100 c290,100 c50,10 c50,78 "
     "d50,78 c50,79 c50,80 c50,9 c50,443 c150,443 c50,444"},
    {"the right border where a box reaches it", {.Width = 290}, ssmSingle, "c280,50 c281,50 m280,200 m279,200"},
    {"the right border cuts a box that does not fit", {.Width = 100}, ssmSingle, "c90,50 c91,50 m90,200 m91,200"},
    {"the bottom border in a low grid", {.Height = 200}, ssmSingle, "c50,190 c50,191 m50,190 m50,191"},
    {"without a gap the shared column and row belong to the right and lower slide",
     {.SlideDistance = 0},
     ssmSingle,
     "c143,50 c144,50 m143,50 m144,50 c50,143 c50,144 m50,143 m50,144"},
    {"outlines are one pixel wide whatever pen the canvas holds",
     {.FocusLinewidth = 2},
     ssmMultiple,
     "p3 m50,50 m200,50"},
    {"slides before Min do not exist", {.Min = 3}, ssmMultiple, "s0 m50,50 m200,50 c200,50 c50,190S"},
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
    // Every event carries the grid as sender and the message's own X and Y;
    // the toolkit's events come before the grid's own.
    std::vector<std::string> log;
    const auto record = [&](TObject* sender, const std::string& what) {
      EXPECT_EQ(sender, grid.get()) << what;
      log.push_back(what);
    };
    const auto at = [](int x, int y) { return " at " + std::to_string(x) + "," + std::to_string(y); };
    grid->OnMouseUp = [&](TObject* o, TMouseButton, TShiftState, int x, int y) { record(o, "up" + at(x, y)); };
    grid->OnMouseMove = [&](TObject* o, TShiftState, int x, int y) { record(o, "move" + at(x, y)); };
    grid->OnDblClick = [&](TObject* o) { record(o, "toolkit dblclick"); };
    grid->OnImageClick = [&](TObject* o, int x, int y, int id) {
      record(o, "click " + std::to_string(id) + at(x, y));
    };
    grid->OnImageDblClick = [&](TObject* o, int x, int y, int id) {
      record(o, "dblclick " + std::to_string(id) + at(x, y));
    };
    grid->OnFocusChange = [&](TObject* o) { record(o, "focus " + std::to_string(grid->FocusedSlide())); };

    std::vector<std::string> want;
    TBitmap shown;
    reference::Paint(look, shown);
    int anchor = 0, focused = 0;
    PaintCounter paints(*grid);
    for (const Step& s : Steps(row.Steps)) {
      SCOPED_TRACE(testing::Message() << "step " << s.What << " at " << s.X << "," << s.Y << " keys " << s.Keys);
      const int slide = reference::Layout(look, reference::Columns(look)).SlideAt(s.X, s.Y);
      if (s.What == 'm') {
        const int before = paints.Count;
        grid->MouseMove(0, s.X, s.Y);
        want.push_back("move" + at(s.X, s.Y));
        EXPECT_EQ(paints.Count, before) << "moves draw straight on the screen, they never paint";
        if (look.FocusLinewidth > 0 && slide != focused) {
          reference::FocusOutline(look, shown, focused, look.Chosen.count(focused) ? look.Selected : look.Cover);
          reference::FocusOutline(look, shown, slide, look.Focus);
          focused = slide;
          want.push_back("focus " + std::to_string(slide));
        }
      } else if (s.What == 'c') {
        ClickAt(*grid, s.X, s.Y, s.Keys);
        want.push_back("up" + at(s.X, s.Y));
        if (s.X != -1 || s.Y != -1) {  // a release at (-1, -1) is the toolkit's only
          if (reference::Click(look, anchor, row.Mode, slide, s.Keys)) reference::Paint(look, shown);
          want.push_back("click " + std::to_string(slide) + at(s.X, s.Y));
        }
      } else if (s.What == 'd') {
        ClickAt(*grid, s.X, s.Y, s.Keys, true);
        want.push_back("toolkit dblclick");
        want.push_back("dblclick " + std::to_string(slide) + at(s.X, s.Y));
      } else if (s.What == 'p') {
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
