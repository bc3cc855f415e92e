// The grid's properties: defaults, clamps, when setters repaint, the paint
// guard, and copying between grids.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/GridReference.h"
#include "thumbnails_test_helpers.h"
#include "toolkit/SysUtils.h"

namespace {

// One integer property: its setter, getter, default and another value
// (distinct per row, so a field copied from the wrong one shows), the paints
// that setting each costs, whether Assign copies it, and its clamps: {width
// (0: the default), the other bound (0: none), value written, value stored}.
struct Property {
  const char* Name;
  std::function<void(TThumbnails&, int)> Set;
  std::function<int(const TThumbnails&)> Get;
  int Default, Other, PaintsSame, PaintsOther;
  bool Copied;
  std::vector<std::array<int, 4>> Clamps;
};

#define PROPERTY(name, type) \
#name, [](TThumbnails & g, int v) { g.Set##name(type(v)); }, [](const TThumbnails& g) { return int(g.name()); }

// AntiAlias paints even unchanged; the select mode paints twice (it clears
// the selection, which paints, then paints). SlideSize rises to 50, then is
// capped by the width; Min and Max rise to 1, then stay on their side of the
// other bound.
const Property kProperties[] = {
    {PROPERTY(SlideSelectMode, TSlideSelectMode), ssmMultiple, ssmSingle, 0, 2, false, {}},
    {PROPERTY(AntiAlias, bool), 1, 0, 1, 1, true, {}},
    {PROPERTY(ColorBackGnd, TColor), int(0xFF00000Fu), 0x123456, 0, 1, true, {}},
    {PROPERTY(ColorCover, TColor), 0xC0C0C0, 0x111111, 0, 1, true, {}},
    {PROPERTY(ColorSelected, TColor), 0x800000, 0x222222, 0, 1, true, {}},
    {PROPERTY(ColorFocus, TColor), 0xFF0000, 0x333333, 0, 1, true, {}},
    {PROPERTY(ColorMark, TColor), 0, 0x444444, 0, 1, false, {}},
    {PROPERTY(ColorScheme, TColorScheme), csBWG, csSystem, 0, 1, true, {}},
    {PROPERTY(FrameStyle, TFrameStyle), fsLowered, fsSimple, 0, 1, true, {}},
    {PROPERTY(InnerFrameStyle, TFrameStyle), fsLowered, fsEngraved, 0, 1, true, {}},
    {PROPERTY(OuterFrameStyle, TFrameStyle), fsRaised, fsEmbossed, 0, 1, true, {}},
    {PROPERTY(FocusLinewidth, int), 1, 4, 0, 1, true, {{0, 0, -3, 0}, {0, 0, 25, 10}}},
    {PROPERTY(Max, int), 100, 40, 0, 1, true, {{0, 0, 0, 1}, {0, 10, 5, 10}, {0, 10, -5, 10}}},
    {PROPERTY(Min, int), 1, 3, 0, 1, true, {{0, 0, 0, 1}, {0, 100, 150, 100}, {0, 40, 0, 1}}},
    {PROPERTY(SlideSize, int),
     120,
     100,
     0,
     1,
     true,
     {{0, 0, 30, 50}, {0, 0, 500, 260}, {40, 0, 30, 40}, {40, 0, 100, 40}}},
    {PROPERTY(SlideDistance, int), 2, 5, 0, 1, true, {{0, 0, -1, 0}, {0, 0, 250, 100}}},
    {PROPERTY(SlideMargin, int), 7, 8, 0, 1, true, {{0, 0, -1, 0}, {0, 0, 250, 100}}},
};

}  // namespace

TEST(ThumbnailsState, ConstructionGivesTheDefaultsAndTheStoreItsOwnSize) {
  TThumbnails grid(nullptr);
  for (const Property& p : kProperties) EXPECT_EQ(p.Get(grid), p.Default) << p.Name;
  EXPECT_EQ(grid.Width(), 260);
  EXPECT_EQ(grid.Height(), 400);
  EXPECT_EQ(grid.FocusedSlide(), 0);
  EXPECT_EQ(grid.ScrollPosition(), 1.0);
  EXPECT_EQ(grid.NumColumns(), 2);
  EXPECT_EQ(grid.NumRows(), 0);
  EXPECT_EQ(grid.SelectAnchor(), 0);
  EXPECT_EQ(grid.Selection().Size(), 1000);
  EXPECT_FALSE(grid.Selection().Bit(0));
  EXPECT_FALSE(grid.OnImageRequest || grid.OnImageClick || grid.OnImageDblClick || grid.OnFocusChange ||
               grid.OnFirstImageRequest || grid.OnLastImageRequest || grid.OnSlideRendered);
  // The selection store keeps its own size until the range first changes.
  grid.SetMax(100);
  grid.SetMin(1);
  EXPECT_EQ(grid.Selection().Size(), 1000);
  grid.SetMax(40);
  EXPECT_EQ(grid.Selection().Size(), 40);
  EXPECT_EQ(grid.Selection().ByteCount(), 7);
  grid.SetMin(5);
  EXPECT_EQ(grid.Selection().Size(), 36);
}

TEST(ThumbnailsState, SettersStoreClampAndRepaintOnlyWhenTheValueChanges) {
  for (const Property& p : kProperties) {
    SCOPED_TRACE(p.Name);
    TThumbnails grid(nullptr);
    PaintCounter paints(grid);
    p.Set(grid, p.Default);
    EXPECT_EQ(paints.Count, p.PaintsSame);
    p.Set(grid, p.Other);
    EXPECT_EQ(p.Get(grid), p.Other);
    EXPECT_EQ(paints.Count, p.PaintsSame + p.PaintsOther);
    for (const auto& [width, bound, value, stored] : p.Clamps) {
      TThumbnails clamped(nullptr);
      if (width) clamped.SetWidth(width);
      if (bound && std::string(p.Name) == "Max") clamped.SetMin(bound);
      if (bound && std::string(p.Name) == "Min") clamped.SetMax(bound);
      p.Set(clamped, value);
      EXPECT_EQ(p.Get(clamped), stored) << "written " << value << " at width " << width << " bound " << bound;
    }
  }
}

// Nothing drawn depends on the colour scheme, but it repaints like the
// others; a new select mode clears every flag.
TEST(ThumbnailsState, ColorSchemeRepaintsTheSamePictureAndTheSelectModeClearsTheFlags) {
  auto grid = MakeBrowserGrid();
  grid->Paint();
  ClickAt(*grid, 50, 50);               // slide 1
  ClickAt(*grid, 200, 50, MK_CONTROL);  // and slide 2
  ASSERT_EQ(SelectedSlides(*grid), (std::vector<int>{1, 2}));
  TBitmap before;
  before.Assign(&grid->Surface());
  PaintCounter paints(*grid);
  grid->SetColorScheme(csSystem);
  EXPECT_EQ(paints.Count, 1);
  EXPECT_TRUE(SamePixels(grid->Surface(), before));
  grid->SetSlideSelectMode(ssmSingle);
  EXPECT_TRUE(SelectedSlides(*grid).empty());
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
  bool fail = false;
  grid->OnLastImageRequest = [&](TObject*) {
    if (fail) throw std::runtime_error("handler failed");
  };
  const auto expect = [&](int count, int asked) {
    EXPECT_EQ(paints.Count, count);
    EXPECT_EQ(requests, asked);
  };
  grid->Paint();
  expect(1, 8);
  grid->Paint();
  expect(2, 16);
  fail = true;
  EXPECT_THROW(grid->Paint(), std::runtime_error);
  fail = false;
  grid->Paint();  // turned away by the flag left set, which it clears
  expect(3, 24);
  grid->Paint();
  expect(4, 32);
  grid->SetVisible(false);
  grid->Paint();
  expect(4, 32);
  grid->SetDesigning(true);
  grid->Paint();
  expect(5, 40);
}

// Assign copies straight into the fields (no clamps: the destination is
// narrower than the slides) with one paint: the properties the table marks,
// the position, the focused slide, the column and row counts as stored, and
// the events but the rendered-slide one; the store keeps its own size.
TEST(ThumbnailsState, AssignCopiesTheListedFieldsWithoutClampsAndPaintsOnce) {
  TThumbnails src(nullptr);
  src.SetBounds(0, 0, 450, 453);
  for (const Property& p : kProperties) p.Set(src, p.Other);
  src.Paint();
  src.SetScrollPosition(4.0);
  src.MouseMove(0, 50, 100);
  ASSERT_EQ(src.NumColumns(), 3);
  ASSERT_NE(src.FocusedSlide(), 0);
  std::vector<std::string> calls;
  const auto note = [&calls](const char* what) { return [&calls, what](auto&&...) { calls.push_back(what); }; };
  src.OnImageClick = note("click");
  src.OnImageDblClick = note("dblclick");
  src.OnFocusChange = note("focus");
  src.OnImageRequest = note("request");
  src.OnFirstImageRequest = note("first");
  src.OnLastImageRequest = note("last");
  src.OnSlideRendered = [](TObject*, TCanvas&, int, int, int) {};

  TThumbnails dst(nullptr), hidden(nullptr);
  dst.SetWidth(60);
  dst.Assign(&src);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "first"), 1);  // one paint, with the copied handlers
  for (const Property& p : kProperties) EXPECT_EQ(p.Get(dst), p.Copied ? p.Other : p.Default) << p.Name;
  EXPECT_EQ(dst.ScrollPosition(), src.ScrollPosition());
  EXPECT_EQ(dst.FocusedSlide(), src.FocusedSlide());
  EXPECT_FALSE(dst.OnSlideRendered);
  EXPECT_EQ(dst.Selection().Size(), 1000);
  EXPECT_EQ(dst.Width(), 60);
  EXPECT_EQ(dst.Height(), 400);
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

  hidden.SetVisible(false);  // keeps its own paint from recounting
  hidden.Assign(&src);
  EXPECT_EQ(hidden.NumColumns(), 3);
  EXPECT_EQ(hidden.NumRows(), 4);
}
