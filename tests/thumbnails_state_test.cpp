// The grid's properties: defaults, clamps, when setters repaint, the paint
// guard, and copying between grids.
#include <gtest/gtest.h>

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

// One setter exercised with the value it holds and with another value.
struct SetterCase {
  const char* Name;
  std::function<void(TThumbnails&)> SetSame;
  std::function<void(TThumbnails&)> SetOther;
};

TEST(ThumbnailsState, SettersRepaintOnlyWhenTheValueChanges) {
  const std::vector<SetterCase> cases = {
      {"SlideSelectMode", [](TThumbnails& g) { g.SetSlideSelectMode(ssmMultiple); },
       [](TThumbnails& g) { g.SetSlideSelectMode(ssmSingle); }},
      {"ColorBackGnd", [](TThumbnails& g) { g.SetColorBackGnd(clBtnFace); },
       [](TThumbnails& g) { g.SetColorBackGnd(clWhite); }},
      {"ColorCover", [](TThumbnails& g) { g.SetColorCover(clSilver); },
       [](TThumbnails& g) { g.SetColorCover(clWhite); }},
      {"ColorSelected", [](TThumbnails& g) { g.SetColorSelected(clNavy); },
       [](TThumbnails& g) { g.SetColorSelected(clWhite); }},
      {"ColorFocus", [](TThumbnails& g) { g.SetColorFocus(clBlue); },
       [](TThumbnails& g) { g.SetColorFocus(clWhite); }},
      {"ColorMark", [](TThumbnails& g) { g.SetColorMark(clBlack); },
       [](TThumbnails& g) { g.SetColorMark(clWhite); }},
      {"ColorScheme", [](TThumbnails& g) { g.SetColorScheme(csBWG); },
       [](TThumbnails& g) { g.SetColorScheme(csSystem); }},
      {"FrameStyle", [](TThumbnails& g) { g.SetFrameStyle(fsLowered); },
       [](TThumbnails& g) { g.SetFrameStyle(fsSimple); }},
      {"InnerFrameStyle", [](TThumbnails& g) { g.SetInnerFrameStyle(fsLowered); },
       [](TThumbnails& g) { g.SetInnerFrameStyle(fsSimple); }},
      {"OuterFrameStyle", [](TThumbnails& g) { g.SetOuterFrameStyle(fsRaised); },
       [](TThumbnails& g) { g.SetOuterFrameStyle(fsSimple); }},
      {"FocusLinewidth", [](TThumbnails& g) { g.SetFocusLinewidth(1); },
       [](TThumbnails& g) { g.SetFocusLinewidth(2); }},
      {"Max", [](TThumbnails& g) { g.SetMax(100); }, [](TThumbnails& g) { g.SetMax(50); }},
      {"Min", [](TThumbnails& g) { g.SetMin(1); }, [](TThumbnails& g) { g.SetMin(5); }},
      {"SlideSize", [](TThumbnails& g) { g.SetSlideSize(120); }, [](TThumbnails& g) { g.SetSlideSize(100); }},
      {"SlideDistance", [](TThumbnails& g) { g.SetSlideDistance(2); },
       [](TThumbnails& g) { g.SetSlideDistance(3); }},
      {"SlideMargin", [](TThumbnails& g) { g.SetSlideMargin(7); }, [](TThumbnails& g) { g.SetSlideMargin(8); }},
  };
  for (const SetterCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TThumbnails grid(nullptr);
    PaintCounter paints(grid);
    c.SetSame(grid);
    EXPECT_EQ(paints.Count, 0);
    c.SetOther(grid);
    EXPECT_GE(paints.Count, 1);
  }
}

TEST(ThumbnailsState, AntiAliasRepaintsEvenWhenUnchanged) {
  TThumbnails grid(nullptr);
  PaintCounter paints(grid);
  grid.SetAntiAlias(true);
  EXPECT_EQ(paints.Count, 1);
  grid.SetAntiAlias(false);
  EXPECT_EQ(paints.Count, 2);
  EXPECT_FALSE(grid.AntiAlias());
}

TEST(ThumbnailsState, ChangingTheSelectModeClearsEveryFlagAndPaintsTwice) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  ClickAt(*grid, 50, 50);                        // slide 1
  ClickAt(*grid, 200, 50, MK_CONTROL);           // and slide 2
  ASSERT_EQ(SelectedSlides(*grid), (std::vector<int>{1, 2}));
  PaintCounter paints(*grid);
  grid->SetSlideSelectMode(ssmSingle);
  EXPECT_TRUE(SelectedSlides(*grid).empty());
  EXPECT_EQ(paints.Count, 2);
}

// Setter, value, expected stored value.
struct ClampCase {
  const char* Name;
  std::function<void(TThumbnails&)> Set;
  std::function<int(const TThumbnails&)> Get;
  int Expected;
};

TEST(ThumbnailsState, SettersClampInTheDocumentedOrder) {
  const auto slideSize = [](const TThumbnails& g) { return g.SlideSize(); };
  const auto focusWidth = [](const TThumbnails& g) { return g.FocusLinewidth(); };
  const auto distance = [](const TThumbnails& g) { return g.SlideDistance(); };
  const auto margin = [](const TThumbnails& g) { return g.SlideMargin(); };
  const auto min = [](const TThumbnails& g) { return g.Min(); };
  const auto max = [](const TThumbnails& g) { return g.Max(); };
  const std::vector<ClampCase> cases = {
      {"SlideSize 30", [](TThumbnails& g) { g.SetSlideSize(30); }, slideSize, 50},
      {"SlideSize 500", [](TThumbnails& g) { g.SetSlideSize(500); }, slideSize, 260},
      {"SlideSize 30 on 40 wide",
       [](TThumbnails& g) {
         g.SetWidth(40);
         g.SetSlideSize(30);
       },
       slideSize, 40},
      {"SlideSize 100 on 40 wide",
       [](TThumbnails& g) {
         g.SetWidth(40);
         g.SetSlideSize(100);
       },
       slideSize, 40},
      {"FocusLinewidth -3", [](TThumbnails& g) { g.SetFocusLinewidth(-3); }, focusWidth, 0},
      {"FocusLinewidth 25", [](TThumbnails& g) { g.SetFocusLinewidth(25); }, focusWidth, 10},
      {"SlideDistance -1", [](TThumbnails& g) { g.SetSlideDistance(-1); }, distance, 0},
      {"SlideDistance 250", [](TThumbnails& g) { g.SetSlideDistance(250); }, distance, 100},
      {"SlideMargin -1", [](TThumbnails& g) { g.SetSlideMargin(-1); }, margin, 0},
      {"SlideMargin 250", [](TThumbnails& g) { g.SetSlideMargin(250); }, margin, 100},
      {"Min 0", [](TThumbnails& g) { g.SetMin(0); }, min, 1},
      {"Min 150 with Max 100", [](TThumbnails& g) { g.SetMin(150); }, min, 100},
      {"Max 0 with Min 1", [](TThumbnails& g) { g.SetMax(0); }, max, 1},
      {"Max 5 with Min 10",
       [](TThumbnails& g) {
         g.SetMin(10);
         g.SetMax(5);
       },
       max, 10},
  };
  for (const ClampCase& c : cases) {
    SCOPED_TRACE(c.Name);
    TThumbnails grid(nullptr);
    c.Set(grid);
    EXPECT_EQ(c.Get(grid), c.Expected);
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

TEST(ThumbnailsState, HiddenGridPaintsOnlyInDesignMode) {
  TThumbnails grid(nullptr);
  PaintCounter paints(grid);
  grid.SetVisible(false);
  grid.Paint();
  EXPECT_EQ(paints.Count, 0);
  grid.SetDesigning(true);
  grid.Paint();
  EXPECT_EQ(paints.Count, 1);
}

// A paint started inside a paint is turned away for the whole outer paint,
// so a handler that changes a property on every request costs no nested
// paint at all; after a handler throws, exactly the next paint is lost.
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
  int clicks = 0;
  int requests = 0;
  src.OnImageClick = [&](TObject*, int, int, int) { ++clicks; };
  src.OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*&) { ++requests; };
  src.OnSlideRendered = [](TObject*, TCanvas&, int, int, int) {};

  TThumbnails dst(nullptr);
  dst.SetWidth(60);  // SlideSize 100 would be capped at 60 by its setter
  int dstPaints = 0;
  src.OnFirstImageRequest = [&](TObject*) { ++dstPaints; };
  dst.Assign(&src);

  EXPECT_EQ(dstPaints, 1);
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
  ASSERT_TRUE(dst.OnImageClick);
  dst.OnImageClick(&dst, 0, 0, 0);
  EXPECT_EQ(clicks, 1);
  EXPECT_GT(requests, 0);  // the copied request handler served dst's paint

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
