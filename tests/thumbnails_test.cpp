// The thumbnail grid: its properties (defaults, clamps, repaints, the paint
// guard, copying), its geometry, and every pixel of its paint and of what the
// mouse does to it, compared row by row with the reference model.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "lib/Tesk_Thumbnails.h"
#include "lib/Tesk_dstruct.h"
#include "support/GridReference.h"
#include "toolkit/SysUtils.h"

// Rows name only what differs from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

using reference::Look;
using Strings = std::vector<std::string>;
const TColor kRose = 0x8080FF, kMint = 0x90EE90, kInk = 0x402000;

// Counts the paints that get past the paint guard; the count lives in the
// grid's handler.
int& CountPaints(TThumbnails& grid) {
  auto count = std::make_shared<int>(0);
  grid.OnFirstImageRequest = [count](TObject*) { ++*count; };
  return *count;
}

// The left button pressed and released at (x, y), or double-clicked there.
void ClickAt(TThumbnails& grid, int x, int y, int keys = 0, bool twice = false) {
  TWMMouse m{keys, std::int16_t(x), std::int16_t(y)};
  if (twice) return grid.WMLButtonDblClk(m);
  grid.WMLButtonDown(m);
  grid.WMLButtonUp(m);
}

std::vector<int> SelectedSlides(const TThumbnails& grid) {
  std::vector<int> ids;
  for (int id = grid.Min(); id <= grid.Max(); ++id) {
    if (grid.Selection().Bit(id - grid.Min())) ids.push_back(id);
  }
  return ids;
}

// The grid of a look, set through its setters and painted; the look takes
// the slide size as the setter clamps it. The defaults are the browser's
// grid (299 x 453, SlideSize 120, SlideDistance 2, SlideMargin 7).
std::unique_ptr<TThumbnails> MakeGrid(Look& look) {
  look.SlideSize = std::min(std::max(look.SlideSize, 50), look.Width);
  auto grid = std::make_unique<TThumbnails>(nullptr);
  grid->SetBounds(0, 0, look.Width, look.Height);
  grid->SetSlideSize(look.SlideSize);
  grid->SetSlideDistance(look.SlideDistance);
  grid->SetSlideMargin(look.SlideMargin);
  grid->SetMax(look.Max);
  grid->SetMin(look.Min);
  grid->SetColorBackGnd(look.Back);
  grid->SetColorCover(look.Cover);
  grid->SetColorSelected(look.Selected);
  grid->SetColorMark(look.Mark);
  grid->SetColorFocus(look.Focus);
  grid->SetFocusLinewidth(look.FocusLinewidth);
  grid->SetFrameStyle(TFrameStyle(look.Frame));
  grid->SetOuterFrameStyle(TFrameStyle(look.Outer));
  grid->SetInnerFrameStyle(TFrameStyle(look.Inner));
  grid->SetAntiAlias(look.AntiAlias);
  grid->Font = look.Font;
  grid->Paint();
  return grid;
}

std::unique_ptr<TThumbnails> MakeGrid() {
  Look look;
  return MakeGrid(look);
}

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

TEST(ThumbnailsState, ConstructionGivesTheDefaultsAndTheStoreItsOwnSize) {
  TThumbnails grid(nullptr);
  for (const Property& p : kProperties) EXPECT_EQ(p.Get(grid), p.Default) << p.Name;
  EXPECT_EQ(grid.Width(), 260);
  EXPECT_EQ(grid.Height(), 400);
  EXPECT_EQ(grid.FocusedSlide(), 0);
  EXPECT_EQ(grid.ScrollPosition(), 1.0);
  EXPECT_EQ(grid.NumRows(), 0);
  grid.SetWidth(1000);
  EXPECT_EQ(grid.NumColumns(), 2) << "columns follow the width at the first paint only";
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
    int& paints = CountPaints(grid);
    p.Set(grid, p.Default);
    EXPECT_EQ(paints, p.PaintsSame);
    p.Set(grid, p.Other);
    EXPECT_EQ(p.Get(grid), p.Other);
    EXPECT_EQ(paints, p.PaintsSame + p.PaintsOther);
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

// A paint started inside a paint is turned away for the whole outer paint,
// so a handler that changes a property on every request costs no nested
// paint at all; after a handler throws, exactly the next paint is lost; a
// hidden grid paints only in design mode.
TEST(ThumbnailsState, PaintsInsideAPaintAreTurnedAwayAndAThrowCostsTheNextPaint) {
  auto grid = MakeGrid();
  int& paints = CountPaints(*grid);
  int requests = 0;
  grid->OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*&) {
    ++requests;
    grid->SetColorCover(grid->ColorCover() == clSilver ? clWhite : clSilver);
  };
  bool fail = false;
  grid->OnLastImageRequest = [&](TObject*) {
    if (fail) throw std::runtime_error("handler failed");
  };
  // Steps: p a paint, t one whose handler throws, h hidden, d in design mode;
  // then the paints and requests so far. The paint after a throw is turned
  // away by the flag left set, which it clears.
  const std::tuple<char, int, int> steps[] = {{'p', 1, 8},  {'p', 2, 16}, {'t', 3, 24}, {'p', 3, 24},
                                              {'p', 4, 32}, {'h', 4, 32}, {'d', 5, 40}};
  for (const auto& [step, count, asked] : steps) {
    fail = step == 't';
    if (step == 'h') grid->SetVisible(false);
    if (step == 'd') grid->SetDesigning(true);
    if (fail) {
      EXPECT_THROW(grid->Paint(), std::runtime_error);
    } else {
      grid->Paint();
    }
    EXPECT_EQ(paints, count) << step;
    EXPECT_EQ(requests, asked) << step;
  }
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
  Strings calls;
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
  for (const Property& p : kProperties) EXPECT_EQ(p.Get(dst), p.Copied ? p.Other : p.Default) << p.Name;
  EXPECT_EQ(dst.ScrollPosition(), src.ScrollPosition());
  EXPECT_EQ(dst.FocusedSlide(), src.FocusedSlide());
  EXPECT_FALSE(dst.OnSlideRendered);
  EXPECT_EQ(dst.Selection().Size(), 1000);
  EXPECT_EQ(dst.Width(), 60);
  EXPECT_EQ(dst.Height(), 400);
  dst.OnImageClick(&dst, 0, 0, 0);
  dst.OnImageDblClick(&dst, 0, 0, 0);
  dst.OnFocusChange(&dst);
  calls.erase(std::unique(calls.begin(), calls.end()), calls.end());  // one paint's requests as one
  EXPECT_EQ(calls, (Strings{"first", "request", "last", "click", "dblclick", "focus"}));

  hidden.SetVisible(false);  // keeps its own paint from recounting
  hidden.Assign(&src);
  EXPECT_EQ(hidden.NumColumns(), 3);
  EXPECT_EQ(hidden.NumRows(), 4);
}

// Between classes that cannot copy each other: the toolkit's assignment
// error, naming the source ("nil" for none) and the destination, for every
// class of the library and the bitmap, both ways round.
TEST(ThumbnailsState, AssignBetweenUnrelatedClassesRaisesTheAssignmentErrorAndChangesNothing) {
  TThumbnails grid(nullptr);
  TBitFld bits(nullptr);
  TBitmap bitmap(3, 2);
  TStringList list;
  const std::tuple<TPersistent*, const TPersistent*, const char*> cases[] = {
      {&grid, &bits, "Cannot assign a TBitFld to a TThumbnails"},
      {&bits, &grid, "Cannot assign a TThumbnails to a TBitFld"},
      {&grid, nullptr, "Cannot assign a nil to a TThumbnails"},
      {&bits, &list, "Cannot assign a TStringList to a TBitFld"},
      {&list, &bits, "Cannot assign a TBitFld to a TStringList"},
      {&bits, nullptr, "Cannot assign a nil to a TBitFld"},
      {&bitmap, &list, "Cannot assign a TStringList to a TBitmap"},
  };
  for (const auto& [dest, source, message] : cases) {
    try {
      dest->Assign(source);
      ADD_FAILURE() << "no error: " << message;
    } catch (const EConvertError& e) {
      EXPECT_EQ(e.Message, message);
    }
  }
  EXPECT_EQ(bits.Size(), 1000);
  EXPECT_EQ(grid.Max(), 100);
  EXPECT_EQ(bitmap.Width(), 3);
}

// Slide values are stored as the row's first slide plus the fraction of the
// row; writing the stored position again paints nothing; the border tests
// follow the size without a paint; a wider control renormalises the position.
TEST(ThumbnailsGeometry, SetScrollPositionNormalisesSlideNumbersToRows) {
  auto grid = MakeGrid();
  const std::pair<double, double> cases[] = {{4.0, 3.5},  {2.0, 1.5}, {3.0, 3.0},    {6.0, 5.5},
                                             {2.5, 1.75}, {0.0, 1.0}, {100.0, 99.5}, {101.0, 99.5}};
  for (const auto& [value, stored] : cases) {
    grid->SetScrollPosition(value);
    EXPECT_DOUBLE_EQ(grid->ScrollPosition(), stored) << value;
  }
  grid->SetScrollPosition(4.0);
  int& paints = CountPaints(*grid);
  grid->SetScrollPosition(4.0);
  grid->SetScrollPosition(3.0);
  grid->SetScrollPosition(3.0);
  EXPECT_EQ(paints, 1);
  grid->SetScrollPosition(4.0);
  EXPECT_EQ(grid->SlideAtPos(150, 443), 10);  // its box reaches y = 486, past the bottom border at 443
  grid->SetHeight(452);
  EXPECT_EQ(grid->SlideAtPos(150, 443), 0);
  grid->SetWidth(450);
  grid->Paint();
  EXPECT_EQ(grid->NumColumns(), 3);
  EXPECT_DOUBLE_EQ(grid->ScrollPosition(), 1.0 + 2.5 / 3.0);
}

// Look.Position is the slide value written (1.0 writes none); Look.Chosen
// the slides selected by Ctrl clicks.
struct PaintRow {
  const char* Name;
  reference::Look Look;
  reference::Answer All;                                // every slide's answer
  std::vector<std::pair<int, reference::Answer>> Some;  // but these
  int MaxAfter = 0;                                     // Max set after scrolling
};

// A w x h picture in which every column and row differs.
const TBitmap& Pattern(int w, int h) {
  static std::map<std::pair<int, int>, std::unique_ptr<TBitmap>> made;
  auto& b = made[{w, h}];
  if (!b) {
    b = std::make_unique<TBitmap>(w, h);
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        b->ScanLine(y)[x] = 0xFF000000u | std::uint32_t((x * 97 + y * 13) & 0xFF) << 16 |
                            std::uint32_t((y * 59 + 40) & 0xFF) << 8 | std::uint32_t((x * 31 + y * 7) & 0xFF);
      }
    }
  }
  return *b;
}

const reference::Answer& ReplyFor(const PaintRow& row, int id) {
  for (const auto& [slide, reply] : row.Some) {
    if (slide == id) return reply;
  }
  return row.All;
}

int g_freed = 0;
struct HandedOver : TBitmap {
  ~HandedOver() override { ++g_freed; }
};

// Serves the row's replies; after one request has thrown, no more throw. A
// picture for a buffer taken away comes in a new bitmap, handed over to the
// grid, which must free it once after the last request; the grid's own
// buffer, taken away, is the handler's to free.
struct Server {
  Server(TThumbnails& grid, const PaintRow& row) : Row(row), FreedBefore(g_freed) {
    grid.OnFirstImageRequest = [this, &grid](TObject*) {
      ++First;
      Announced = grid.SlidesInView();
    };
    grid.OnLastImageRequest = [this](TObject*) {
      ++Last;
      FreedAtLast = g_freed - FreedBefore;
    };
    // Every request after the first event, each slide rendered before the
    // next is asked for, in the one buffer variable, empty at the first.
    grid.OnImageRequest = [this](TObject*, int id, TImageRequestProcessing& how, int& mark, TBitmap*& buffer) {
      Requests.push_back(id);
      EXPECT_EQ(First - Last, 1);
      EXPECT_EQ(Rendered.size() + 1, Requests.size());
      EXPECT_TRUE(Requests.size() > 1 ? buffer == Kept : buffer && buffer->Width() == 0);
      const reference::Answer& r = ReplyFor(Row, id);
      if (r.Throw && !Thrown) {
        Thrown = true;
        throw std::runtime_error("no picture");
      }
      how = TImageRequestProcessing(r.How);
      if (r.Mark != -1) mark = r.Mark;
      if (r.DropBuffer) Dropped.emplace_back(std::exchange(buffer, nullptr));
      if (r.Picture) {
        if (!buffer) {
          buffer = new HandedOver;
          ++Handed;
        }
        buffer->Assign(r.Picture);
      }
      Kept = buffer;
    };
    // Off screen; whatever stretch mode a handler leaves, the grid sets its
    // own before every picture.
    grid.OnSlideRendered = [this, &grid](TObject*, TCanvas& canvas, int x, int y, int id) {
      Rendered.push_back({id, x, y});
      EXPECT_TRUE(&canvas != &grid.Canvas() && canvas.Target().Width() == grid.Width());
      canvas.SetStretchBltMode(canvas.StretchBltMode() == HALFTONE ? COLORONCOLOR : HALFTONE);
    };
  }
  const PaintRow& Row;
  std::vector<int> Requests;
  std::vector<int> Announced;                // the slides the paint said, as it began, it would request
  std::vector<std::array<int, 3>> Rendered;  // slide, x, y
  std::vector<std::unique_ptr<TBitmap>> Dropped;
  TBitmap* Kept = nullptr;
  int First = 0, Last = 0, FreedBefore, FreedAtLast = -1, Handed = 0;
  bool Thrown = false;
};

reference::Answer Picture(int w, int h) { return {.How = irpShowSlide, .Picture = &Pattern(w, h)}; }
const reference::Answer kPicture = Picture(200, 100), kSlide = {.How = irpShowSlide},
                        kFrameOnly = {.How = irpShowFrameOnly}, kNothing = {.How = irpShowNothing},
                        kDrop = {.How = irpShowSlide, .DropBuffer = true};

const PaintRow kPaintRows[] = {
    // Layout: the browser's settings, columns and rows, partial rows, borders.
    {"browser settings, numbered cards", {}},
    {"scrolled to 3.5: slide 3 from y = -56, cut by the band", {.Position = 4.0}},
    {"half a 137-pixel row: 68.5 goes to 68", {.SlideSize = 121, .Position = 2.0}},
    {"half a 135-pixel row: 67.5 goes to 68", {.SlideSize = 119, .Position = 2.0}},
    {"three columns, a third and two thirds of a row", {.Width = 450, .SlideSize = 121, .Position = 3.0}},
    {"three columns, a third of a row", {.Width = 450, .Position = 2.0}},
    {"one column: 289 wide", {.Width = 289}},
    {"two columns from 290 wide", {.Width = 290}},
    {"two columns still at 425 wide", {.Width = 425}},
    {"three columns from 426 wide", {.Width = 426}},
    {"seven columns", {.Width = 1000}},
    {"narrower than one box, lower than one row", {.Width = 100, .Height = 100}},
    {"nothing at all: 0 x 0 asks for slide 1", {.Width = 0, .Height = 0}},
    {"a pitch of 0 divides nothing by zero",
     {.Width = 0, .Height = 0, .SlideDistance = 0, .SlideMargin = 0, .Position = 3.0}},
    {"cells above Max keep the background", {.Max = 5}},
    {"Min 3 at position 1: the first two cells stay empty", {.Min = 3}},
    {"Min 2 written below Min: 1.5, slide 1's cell stays empty", {.Min = 2, .Position = -4.0}},
    {"no slide in view lies in Min..Max", {.Position = 100.0}, {}, {}, 10},
    {"no gap, no margin", {.SlideDistance = 0, .SlideMargin = 0}},
    {"wide gaps and margins", {.Width = 400, .SlideSize = 60, .SlideDistance = 30, .SlideMargin = 20}},
    {"smallest slides: the number's cell is taller than its card", {.SlideSize = 50}},
    {"seven digits wider than the card", {.SlideSize = 50, .Max = 2000000, .Position = 1999999.0}},
    // Colours, selection and frame styles.
    {"own colours, slides 2 and 5 selected", {.Back = kRose, .Cover = kMint, .Selected = kInk, .Chosen = {2, 5}}},
    {"selected in the default navy", {.Chosen = {1, 4}}},
    {"simple outer frame, raised control frame", {.Frame = fsRaised, .Outer = fsSimple}},
    {"embossed and engraved", {.Frame = fsEngraved, .Outer = fsEmbossed}},
    {"no frames at all", {.Frame = fsNone, .Outer = fsNone, .Inner = fsNone}, kPicture},
    {"the bit of 128 is ignored, 6 draws nothing",
     {.Frame = 128 + fsRaised, .Outer = 6, .Inner = 128 + fsSimple},
     kPicture},
    // Pictures: proportions, rounding to the nearest even, strips, stretch modes.
    {"landscape 200 x 100: 60 high", {}, kPicture},
    {"portrait 125 x 240: 62.5 goes to 62", {}, Picture(125, 240)},
    {"portrait 127 x 240: 63.5 goes to 64", {}, Picture(127, 240)},
    {"portrait 100 x 170: 70.6 rounds up to 71", {}, Picture(100, 170)},
    {"landscape 200 x 133: 79.8 rounds up to 80", {}, Picture(200, 133)},
    {"landscape 240 x 125 in a 121 slide", {.SlideSize = 121}, Picture(240, 125)},
    {"square pictures fill the slide", {}, Picture(50, 50)},
    {"a 1000 x 1 strip: no height, the frame still drawn", {}, Picture(1000, 1)},
    {"a 1 x 700 strip: no width", {}, Picture(1, 700)},
    {"a 3 x 700 strip: one column", {.Inner = fsNone}, Picture(3, 700)},
    {"1 x 1 grown to the whole slide", {.Inner = fsNone}, Picture(1, 1)},
    {"plain sampling without AntiAlias", {.Inner = fsNone, .AntiAlias = false}, Picture(311, 97)},
    {"averaging with AntiAlias", {.Inner = fsNone}, Picture(311, 97)},
    {"sampling a picture larger than the slide even at 3 device pixels a pixel",
     {.Inner = fsNone, .AntiAlias = false},
     Picture(1000, 400)},
    {"pictures scrolled by a fraction", {.Width = 450, .Position = 3.0}, Picture(97, 311)},
    // Answers.
    {"a picture only at the first request: the rest show it again", {}, kSlide, {{1, kPicture}}},
    {"the buffer taken away at slide 3", {}, kSlide, {{1, kPicture}, {3, kDrop}, {2, kPicture}}},
    {"frame only, nothing, empty buffer", {}, kFrameOnly, {{3, kNothing}, {2, kSlide}}},
    {"markers: square on nothing, 0x107 on a frame, hollow circles, a dot, a plus",
     {.Mark = kRose},
     {.How = irpShowFrameOnly, .Mark = 16},
     {{1, {.How = irpShowNothing, .Mark = 7}},
      {2, {.How = irpShowFrameOnly, .Mark = 0x107}},
      {3, {.Mark = 17}},
      {4, {.How = irpShowSlide, .Mark = 0, .Picture = &Pattern(50, 50)}},
      {5, {.Mark = 3}}}},
    {"markers drawn over square pictures: 'A', a hollow circle, a plus, a filled diamond",
     {},
     {.How = irpShowSlide, .Mark = 65, .Picture = &Pattern(50, 50)},
     {{2, {.How = irpShowSlide, .Mark = 17}},
      {3, {.How = irpShowSlide, .Mark = 3}},
      {4, {.How = irpShowSlide, .Mark = 15}}}},
    {"character markers: 'A', the digits 0 and 4",
     {},
     {.How = irpShowFrameOnly, .Mark = 65},
     {{3, {.Mark = 200}}, {5, {.How = irpShowNothing, .Mark = 52}}}},
    {"a request throws at slide 5", {}, kPicture, {{5, {.How = irpShowSlide, .Throw = true}}}},
    {"a request throws at the first slide", {.Width = 450}, {}, {{1, {.Throw = true}}}},
};

// Every row also at 2 or 3 device pixels to a pixel, in turn: the scale-1
// picture repeated, but where pictures show, ratio times finer.
TEST(ThumbnailsPaint, EveryPixelAsTheReferenceDraws) {
  int rowIndex = 0;
  for (const PaintRow& row : kPaintRows) {
    for (const int ratio : {1, 2 + rowIndex++ % 2}) {
      SCOPED_TRACE(testing::Message() << row.Name << " at ratio " << ratio);
      Look look = row.Look;
      auto grid = MakeGrid(look);
      grid->SetPixelRatio(ratio);
      if (look.Position != 1.0) {
        grid->SetScrollPosition(look.Position);
        look.Position = reference::Normalised(look.Position, reference::Columns(look), look.Min, look.Max);
      }
      for (int id : look.Chosen) {
        int x = 0, y = 0;
        grid->SlideOrigin(id, x, y);
        ClickAt(*grid, x + 20, y + 20, MK_CONTROL);
      }
      if (row.MaxAfter) grid->SetMax(look.Max = row.MaxAfter);
      EXPECT_EQ(grid->ScrollPosition(), look.Position);
      EXPECT_EQ(grid->NumColumns(), reference::Columns(look));
      EXPECT_EQ(grid->NumRows(), reference::Layout(look).Rows);
      Server server(*grid, row);
      const reference::Answers answers = [&](int id) {
        reference::Answer a = ReplyFor(row, id);
        a.Throw = a.Throw && !server.Thrown;  // a request that has thrown once throws no more
        return a;
      };
      TBitmap before;
      before.Assign(&grid->DeviceSurface());
      TBitmap expected;
      reference::Painted model = reference::Paint(look, expected, answers, ratio);
      if (model.Threw) {
        EXPECT_ANY_THROW(grid->Paint());
        EXPECT_EQ(server.Requests, model.Requests);
        EXPECT_TRUE(SamePixels(grid->DeviceSurface(), before)) << "nothing of a failed paint shows";
        EXPECT_EQ(server.Last, 0);
        grid->Paint();  // turned away once
        EXPECT_TRUE(SamePixels(grid->DeviceSurface(), before));
        server.Requests.clear();
        server.Rendered.clear();
        model = reference::Paint(look, expected, answers, ratio);
        EXPECT_FALSE(model.Threw);
        EXPECT_EQ(server.First, 1);
        server.First = 0;
      }
      grid->Paint();
      EXPECT_TRUE(SamePixels(grid->DeviceSurface(), expected));
      EXPECT_EQ(server.Requests, model.Requests);
      EXPECT_EQ(server.Announced, model.Requests);
      std::vector<std::array<int, 3>> rendered;
      for (int id : model.Requests) {
        const TPoint o = reference::Layout(look).Origin(id);
        rendered.push_back({id, o.X, o.Y});
      }
      EXPECT_EQ(server.Rendered, rendered);
      EXPECT_EQ(server.First, 1);
      EXPECT_EQ(server.Last, 1);
      EXPECT_EQ(server.FreedAtLast, 0);
      EXPECT_EQ(g_freed - server.FreedBefore, server.Handed);
    }
  }
}

struct Step {
  char What;         // m move, c click, d double click, s scroll, p the canvas pen, k the select mode
  int X = 0, Y = 0;  // for s the slide value, for p the pen's width, for k the mode
  int Keys = 0;
};

// Steps written "m50,60", "c#3" (inside slide 3 at position 1.0), "s4", "p3", "k1";
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

// Rows start in the multiple select mode.
struct MouseRow {
  const char* Name;
  reference::Look Look;
  std::string Steps;
};

const MouseRow kMouseRows[] = {
    {"the outline follows across slides, gaps and borders",
     {},
     "m50,50 m60,70 m145,50 m200,50 m5,50 m50,140 m50,150 m280,300 m281,300 m50,443"},
    {"three outlines at 3.5, erased in the cover and then the selected colour",
     {.FocusLinewidth = 3},
     "s4 m50,100 m145,100 m50,100 c50,100 m145,100"},
    {"outlines held inside the frame at the top and bottom, strips repainted",
     {.FocusLinewidth = 2},
     "s4 m50,20 m50,400 m200,440 s7 m50,430 s1 m50,50"},
    {"erased where the slide lies after scrolling", {}, "m200,50 s4 m50,100"},
    {"outlines deeper than the margin lie on the card", {.FocusLinewidth = 10}, "m50,50 m200,200 c200,200 m50,50"},
    {"no outline and no focus without a line width", {.FocusLinewidth = 0}, "m50,50 m200,50 c200,50"},
    {"own colours",
     {.Back = kRose, .Cover = kMint, .Selected = kInk, .Focus = clRed, .FocusLinewidth = 2},
     "c50,50 m50,50 m200,50 m50,50"},
    {"the multiple mode by keys", {}, "c#2 c#4C c#4C c#4C c#7S c#1S c#5CS c#3CS c#8 c#6CS"},
    {"clicks on no slide by keys", {}, "c#2 c#4C c145,50C c#7 c145,50S c#3C c145,50 c#5S"},
    {"the single mode ignores the keys", {}, "k1 c#3 c#4CS c#4 c#4C c145,50"},
    {"a new select mode clears every flag, the same one none", {}, "c#1 c#2C k2 k1 c#3 k0"},
    {"the disabled mode only reports", {}, "k0 m#3 c#3 c#4S"},
    {"a release at (-1, -1) is ignored; the toolkit's click is a release inside the control",
     {},
     "c#3 c-1,-1 c-1,50 c0,0 c298,452 c299,50 c50,453"},
    {"a Ctrl double click inverts twice; the double click itself paints nothing",
     {},
     "c#3 c#3C m#3 d#3C c#3C d145,50"},
    {"hit tests at 3.5 on every limit, a double click's on the lower edge of a box",
     {},
     "k1 s4 c50,100 c10,100 c9,100 c144,100 c145,100 c146,100 c280,100 c281,100 c285,100 c290,100 c50,10 c50,78 "
     "d50,78 c50,79 c50,80 c50,9 c50,443 c150,443 c50,444"},
    {"the right border where a box reaches it", {.Width = 290}, "k1 c280,50 c281,50 m280,200 m279,200"},
    {"the right border cuts a box that does not fit", {.Width = 100}, "k1 c90,50 c91,50 m90,200 m91,200"},
    {"the bottom border in a low grid", {.Height = 200}, "k1 c50,190 c50,191 m50,190 m50,191"},
    {"without a gap the shared column and row belong to the right and lower slide",
     {.SlideDistance = 0},
     "k1 c143,50 c144,50 m143,50 m144,50 c50,143 c50,144 m50,143 m50,144"},
    {"outlines are one pixel wide whatever pen the canvas holds", {.FocusLinewidth = 2}, "p3 m50,50 m200,50"},
    {"slides before Min do not exist", {.Min = 3}, "s0 m50,50 m200,50 c200,50 c50,190S"},
    {"a pitch of 0 divides nothing by zero",
     {.Width = 0, .SlideDistance = 0, .SlideMargin = 0},
     "k1 m10,10 c10,10"},
};

// Every row also at 2 device pixels to a pixel: the outline is drawn
// straight on the screen, repeated like the rest.
TEST(ThumbnailsMouse, EveryStepAsTheReferenceHasIt) {
  for (const MouseRow& row : kMouseRows) {
    for (const int ratio : {1, 2}) {
      SCOPED_TRACE(testing::Message() << row.Name << " at ratio " << ratio);
      Look look = row.Look;
      auto grid = MakeGrid(look);
      grid->SetPixelRatio(ratio);
      int mode = ssmMultiple;
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
      grid->OnClick = [&](TObject* o) { record(o, "toolkit click"); };
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
      int& paints = CountPaints(*grid);
      for (const Step& s : Steps(row.Steps)) {
        SCOPED_TRACE(testing::Message() << "step " << s.What << " at " << s.X << "," << s.Y << " keys " << s.Keys);
        const int slide = reference::Layout(look).SlideAt(s.X, s.Y);
        if (s.What == 'm') {
          const int before = paints;
          grid->MouseMove(0, s.X, s.Y);
          want.push_back("move" + at(s.X, s.Y));
          EXPECT_EQ(paints, before) << "moves draw straight on the screen, they never paint";
          if (look.FocusLinewidth > 0 && slide != focused) {
            reference::FocusOutline(look, shown, focused, look.Chosen.count(focused) ? look.Selected : look.Cover);
            reference::FocusOutline(look, shown, slide, look.Focus);
            focused = slide;
            want.push_back("focus " + std::to_string(slide));
          }
        } else if (s.What == 'c') {
          ClickAt(*grid, s.X, s.Y, s.Keys);
          if (s.X >= 0 && s.Y >= 0 && s.X < look.Width && s.Y < look.Height) want.push_back("toolkit click");
          want.push_back("up" + at(s.X, s.Y));
          if (s.X != -1 || s.Y != -1) {  // a release at (-1, -1) is the toolkit's only
            if (reference::Click(look, anchor, mode, slide, s.Keys)) reference::Paint(look, shown);
            want.push_back("click " + std::to_string(slide) + at(s.X, s.Y));
          }
        } else if (s.What == 'd') {
          ClickAt(*grid, s.X, s.Y, s.Keys, true);
          want.push_back("toolkit dblclick");
          want.push_back("dblclick " + std::to_string(slide) + at(s.X, s.Y));
        } else if (s.What == 'p') {
          grid->Canvas().Pen.Width = s.X;
        } else if (s.What == 'k') {
          grid->SetSlideSelectMode(TSlideSelectMode(s.X));
          if (std::exchange(mode, s.X) != s.X) {
            look.Chosen.clear();
            reference::Paint(look, shown);
          }
        } else {
          grid->SetScrollPosition(s.X);
          const double position = reference::Normalised(s.X, reference::Columns(look), look.Min, look.Max);
          if (position != look.Position) {
            look.Position = position;
            reference::Paint(look, shown);
          }
        }
        TBitmap repeated;
        reference::Repeat(shown, ratio, repeated);
        ASSERT_TRUE(SamePixels(grid->DeviceSurface(), repeated));
        EXPECT_EQ(grid->FocusedSlide(), focused);
        EXPECT_EQ(SelectedSlides(*grid), std::vector<int>(look.Chosen.begin(), look.Chosen.end()));
        EXPECT_EQ(grid->SelectAnchor(), anchor);
        ASSERT_EQ(log, want);
      }
    }
  }
}

}  // namespace
