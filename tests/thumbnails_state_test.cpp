// The grid's properties: defaults, clamps, when setters repaint, the paint
// guard, and copying between grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "thumbnails_test_helpers.h"
#include "toolkit/SysUtils.h"

TEST(ThumbnailsState, ConstructionGivesTheDocumentedDefaultsWithoutPainting) {
  TThumbnails grid(nullptr);
  EXPECT_EQ(grid.Width(), 260);
  EXPECT_EQ(grid.Height(), 400);
  EXPECT_EQ(grid.SlideSelectMode(), ssmMultiple);
  EXPECT_TRUE(grid.AntiAlias());
  EXPECT_EQ(grid.ColorBackGnd(), 0xFF00000Fu);
  EXPECT_EQ(grid.ColorCover(), 0xC0C0C0u);
  EXPECT_EQ(grid.ColorSelected(), 0x800000u);
  EXPECT_EQ(grid.ColorFocus(), 0xFF0000u);
  EXPECT_EQ(grid.ColorMark(), 0u);
  EXPECT_EQ(grid.ColorScheme(), csBWG);
  EXPECT_EQ(grid.FrameStyle(), fsLowered);
  EXPECT_EQ(grid.InnerFrameStyle(), fsLowered);
  EXPECT_EQ(grid.OuterFrameStyle(), fsRaised);
  EXPECT_EQ(grid.FocusLinewidth(), 1);
  EXPECT_EQ(grid.FocusedSlide(), 0);
  EXPECT_EQ(grid.Min(), 1);
  EXPECT_EQ(grid.Max(), 100);
  EXPECT_EQ(grid.SlideSize(), 120);
  EXPECT_EQ(grid.SlideDistance(), 2);
  EXPECT_EQ(grid.SlideMargin(), 7);
  EXPECT_EQ(grid.ScrollPosition(), 1.0);
  EXPECT_EQ(grid.NumColumns(), 2);
  EXPECT_EQ(grid.NumRows(), 0);
  EXPECT_EQ(grid.SelectAnchor(), 0);
  EXPECT_EQ(grid.Selection().Size(), 1000);
  EXPECT_FALSE(grid.Selection().Bit(0));
  EXPECT_FALSE(grid.OnImageRequest || grid.OnImageClick || grid.OnImageDblClick || grid.OnFocusChange ||
               grid.OnFirstImageRequest || grid.OnLastImageRequest || grid.OnSlideRendered);
}

// An integer view of one property: its setter and getter.
struct Property {
  const char* Name;
  std::function<void(TThumbnails&, int)> Set;
  std::function<int(const TThumbnails&)> Get;
};

#define GRID_PROPERTY(name, type)                                                                                \
  Property {                                                                                                     \
#name, [](TThumbnails & g, int v) { g.Set##name(type(v)); },                                                 \
                                                              [](const TThumbnails& g) { return int(g.name()); } \
  }

const Property kSelectMode = GRID_PROPERTY(SlideSelectMode, TSlideSelectMode);
const Property kAntiAlias = GRID_PROPERTY(AntiAlias, bool);
const Property kBackGnd = GRID_PROPERTY(ColorBackGnd, TColor);
const Property kCover = GRID_PROPERTY(ColorCover, TColor);
const Property kSelected = GRID_PROPERTY(ColorSelected, TColor);
const Property kFocus = GRID_PROPERTY(ColorFocus, TColor);
const Property kMark = GRID_PROPERTY(ColorMark, TColor);
const Property kScheme = GRID_PROPERTY(ColorScheme, TColorScheme);
const Property kFrame = GRID_PROPERTY(FrameStyle, TFrameStyle);
const Property kInner = GRID_PROPERTY(InnerFrameStyle, TFrameStyle);
const Property kOuter = GRID_PROPERTY(OuterFrameStyle, TFrameStyle);
const Property kFocusWidth = GRID_PROPERTY(FocusLinewidth, int);
const Property kMax = GRID_PROPERTY(Max, int);
const Property kMin = GRID_PROPERTY(Min, int);
const Property kSize = GRID_PROPERTY(SlideSize, int);
const Property kDistance = GRID_PROPERTY(SlideDistance, int);
const Property kMargin = GRID_PROPERTY(SlideMargin, int);

// Setting the value a property holds paints not at once (AntiAlias always
// paints); another value is stored and paints once (the select mode twice:
// it clears the selection, which paints, then paints).
TEST(ThumbnailsState, SettersStoreAndRepaintOnlyWhenTheValueChanges) {
  struct Case {
    Property p;
    int same, other, paintsSame, paintsOther;
  };
  const Case cases[] = {
      {kSelectMode, ssmMultiple, ssmSingle, 0, 2},
      {kAntiAlias, 1, 0, 1, 1},
      {kBackGnd, int(clBtnFace), 0x123456, 0, 1},
      {kCover, 0xC0C0C0, 0x123456, 0, 1},
      {kSelected, 0x800000, 0x123456, 0, 1},
      {kFocus, 0xFF0000, 0x123456, 0, 1},
      {kMark, 0, 0x123456, 0, 1},
      {kScheme, csBWG, csSystem, 0, 1},
      {kFrame, fsLowered, fsSimple, 0, 1},
      {kInner, fsLowered, fsEngraved, 0, 1},
      {kOuter, fsRaised, fsEmbossed, 0, 1},
      {kFocusWidth, 1, 2, 0, 1},
      {kMax, 100, 50, 0, 1},
      {kMin, 1, 5, 0, 1},
      {kSize, 120, 100, 0, 1},
      {kDistance, 2, 3, 0, 1},
      {kMargin, 7, 8, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.p.Name);
    TThumbnails grid(nullptr);
    PaintCounter paints(grid);
    c.p.Set(grid, c.same);
    EXPECT_EQ(paints.Count, c.paintsSame);
    c.p.Set(grid, c.other);
    EXPECT_EQ(c.p.Get(grid), c.other);
    EXPECT_EQ(paints.Count, c.paintsSame + c.paintsOther);
  }
}

TEST(ThumbnailsState, ChangingTheSelectModeClearsEveryFlag) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  ClickAt(*grid, 50, 50);               // slide 1
  ClickAt(*grid, 200, 50, MK_CONTROL);  // and slide 2
  ASSERT_EQ(SelectedSlides(*grid), (std::vector<int>{1, 2}));
  grid->SetSlideSelectMode(ssmSingle);
  EXPECT_TRUE(SelectedSlides(*grid).empty());
}

// SlideSize rises to 50, then is capped by the width; Min and Max rise to
// 1, then stay on their side of the other bound.
TEST(ThumbnailsState, SettersClampInTheDocumentedOrder) {
  struct Case {
    Property p;
    int width, before, value, expected;  // before: Min (for Max) or Max (for Min), 0 for none
  };
  const Case cases[] = {
      {kSize, 260, 0, 30, 50},     {kSize, 260, 0, 500, 260},     {kSize, 40, 0, 30, 40},
      {kSize, 40, 0, 100, 40},     {kFocusWidth, 260, 0, -3, 0},  {kFocusWidth, 260, 0, 25, 10},
      {kDistance, 260, 0, -1, 0},  {kDistance, 260, 0, 250, 100}, {kMargin, 260, 0, -1, 0},
      {kMargin, 260, 0, 250, 100}, {kMin, 260, 0, 0, 1},          {kMin, 260, 100, 150, 100},
      {kMin, 260, 40, 0, 1},       {kMax, 260, 0, 0, 1},          {kMax, 260, 10, 5, 10},
      {kMax, 260, 10, -5, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.p.Name) + " " + std::to_string(c.value));
    TThumbnails grid(nullptr);
    grid.SetWidth(c.width);
    if (c.before && c.p.Name == kMax.Name) grid.SetMin(c.before);
    if (c.before && c.p.Name == kMin.Name) grid.SetMax(c.before);
    c.p.Set(grid, c.value);
    EXPECT_EQ(c.p.Get(grid), c.expected);
  }
}

TEST(ThumbnailsState, SelectionStoreKeepsItsSizeUntilTheRangeFirstChanges) {
  TThumbnails grid(nullptr);
  grid.SetMax(100);
  grid.SetMin(1);
  EXPECT_EQ(grid.Selection().Size(), 1000);
  grid.SetMax(40);
  EXPECT_EQ(grid.Selection().Size(), 40);
  EXPECT_EQ(grid.Selection().ByteCount(), 7);
  grid.SetMin(5);
  EXPECT_EQ(grid.Selection().Size(), 36);
}

TEST(ThumbnailsState, ColorSchemeRepaintsTheSamePicture) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  TBitmap before;
  before.Assign(&grid->Surface());
  PaintCounter paints(*grid);
  grid->SetColorScheme(csSystem);
  ASSERT_EQ(paints.Count, 1);
  for (int y = 0; y < grid->Height(); ++y) {
    for (int x = 0; x < grid->Width(); ++x) {
      ASSERT_EQ(grid->Surface().ScanLine(y)[x] & 0xFFFFFF, before.ScanLine(y)[x] & 0xFFFFFF) << x << "," << y;
    }
  }
}

// A paint started inside a paint is turned away for the whole outer paint,
// so a handler that changes a property on every request costs no nested
// paint at all; after a handler throws, exactly the next paint is lost; a
// hidden grid paints only in design mode.
TEST(ThumbnailsState, PaintsInsideAPaintAreTurnedAwayAndAThrowCostsTheNextPaint) {
  auto grid = MakeBrowserGrid();
  PaintCounter paints(*grid);
  int requests = 0;
  grid->OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*&) {
    ++requests;
    grid->SetColorCover(grid->ColorCover() == clSilver ? clWhite : clSilver);
  };
  grid->Paint();
  EXPECT_EQ(paints.Count, 1);
  EXPECT_EQ(requests, 8);
  grid->Paint();
  EXPECT_EQ(paints.Count, 2);
  EXPECT_EQ(requests, 16);

  bool fail = true;
  grid->OnLastImageRequest = [&](TObject*) {
    if (fail) throw std::runtime_error("handler failed");
  };
  EXPECT_THROW(grid->Paint(), std::runtime_error);
  fail = false;
  grid->Paint();  // turned away by the flag left set, which it clears
  EXPECT_EQ(paints.Count, 3);
  grid->Paint();
  EXPECT_EQ(paints.Count, 4);
  EXPECT_EQ(requests, 32);

  grid->SetVisible(false);  // hidden: paints only in design mode
  grid->Paint();
  EXPECT_EQ(paints.Count, 4);
  grid->SetDesigning(true);
  grid->Paint();
  EXPECT_EQ(paints.Count, 5);
}

// A source grid with every copied field away from its default.
static void ConfigureSource(TThumbnails& src) {
  src.SetBounds(0, 0, 299, 453);
  src.SetFrameStyle(fsSimple);
  src.SetOuterFrameStyle(fsEmbossed);
  src.SetInnerFrameStyle(fsEngraved);
  src.SetColorBackGnd(0x123456);
  src.SetColorScheme(csSystem);
  src.SetMax(40);
  src.SetMin(3);
  src.SetScrollPosition(4.0);
  src.SetSlideSize(100);
  src.SetSlideDistance(5);
  src.SetSlideMargin(4);
  src.SetAntiAlias(false);
  src.SetColorCover(0x111111);
  src.SetColorSelected(0x222222);
  src.SetColorFocus(0x333333);
  src.SetFocusLinewidth(4);
  src.SetColorMark(0x444444);
  src.SetSlideSelectMode(ssmSingle);
}

TEST(ThumbnailsState, AssignCopiesTheListedFieldsWithoutClampsAndPaintsOnce) {
  TThumbnails src(nullptr);
  ConfigureSource(src);
  src.Paint();
  src.MouseMove(0, 50, 100);  // focuses a slide
  ASSERT_NE(src.FocusedSlide(), 0);
  std::vector<std::string> calls;
  src.OnImageClick = [&](TObject*, int, int, int) { calls.push_back("click"); };
  src.OnImageDblClick = [&](TObject*, int, int, int) { calls.push_back("dblclick"); };
  src.OnFocusChange = [&](TObject*) { calls.push_back("focus"); };
  src.OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*&) {
    calls.push_back("request");
  };
  src.OnFirstImageRequest = [&](TObject*) { calls.push_back("first"); };
  src.OnLastImageRequest = [&](TObject*) { calls.push_back("last"); };
  src.OnSlideRendered = [](TObject*, TCanvas&, int, int, int) {};

  TThumbnails dst(nullptr);
  dst.SetWidth(60);  // SlideSize 100 would be capped at 60 by its setter
  dst.Assign(&src);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "first"), 1);  // one paint, with the copied handlers
  EXPECT_EQ(dst.FrameStyle(), fsSimple);
  EXPECT_EQ(dst.OuterFrameStyle(), fsEmbossed);
  EXPECT_EQ(dst.InnerFrameStyle(), fsEngraved);
  EXPECT_EQ(dst.ColorBackGnd(), 0x123456u);
  EXPECT_EQ(dst.ColorScheme(), csSystem);
  EXPECT_EQ(dst.ScrollPosition(), src.ScrollPosition());
  EXPECT_EQ(dst.Min(), 3);
  EXPECT_EQ(dst.Max(), 40);
  EXPECT_EQ(dst.SlideSize(), 100);
  EXPECT_EQ(dst.SlideDistance(), 5);
  EXPECT_EQ(dst.SlideMargin(), 4);
  EXPECT_FALSE(dst.AntiAlias());
  EXPECT_EQ(dst.ColorCover(), 0x111111u);
  EXPECT_EQ(dst.ColorSelected(), 0x222222u);
  EXPECT_EQ(dst.ColorFocus(), 0x333333u);
  EXPECT_EQ(dst.FocusedSlide(), src.FocusedSlide());
  EXPECT_EQ(dst.FocusLinewidth(), 4);
  calls.clear();
  TImageRequestProcessing how = irpShowEmpty;
  int mark = -1;
  TBitmap* buffer = nullptr;
  dst.OnImageClick(&dst, 0, 0, 0);
  dst.OnImageDblClick(&dst, 0, 0, 0);
  dst.OnFocusChange(&dst);
  dst.OnImageRequest(&dst, 1, how, mark, buffer);
  dst.OnFirstImageRequest(&dst);
  dst.OnLastImageRequest(&dst);
  EXPECT_EQ(calls, (std::vector<std::string>{"click", "dblclick", "focus", "request", "first", "last"}));

  // Not copied: mark colour, rendered-slide event, select mode, store, size.
  EXPECT_EQ(dst.ColorMark(), 0u);
  EXPECT_FALSE(dst.OnSlideRendered);
  EXPECT_EQ(dst.SlideSelectMode(), ssmMultiple);
  EXPECT_EQ(dst.Selection().Size(), 1000);
  EXPECT_EQ(dst.Width(), 60);
  EXPECT_EQ(dst.Height(), 400);
}

TEST(ThumbnailsState, AssignCopiesTheColumnAndRowCountsAsStored) {
  TThumbnails src(nullptr);
  src.SetBounds(0, 0, 299, 453);
  src.Paint();
  TThumbnails dst(nullptr);
  dst.SetVisible(false);  // keeps dst's own paint from recounting
  dst.Assign(&src);
  EXPECT_EQ(dst.NumColumns(), 2);
  EXPECT_EQ(dst.NumRows(), 4);
}
