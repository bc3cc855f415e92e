// The grid's paint: every pixel of the control compared with the reference
// model, row by row over settings, scroll positions, pictures and answers;
// then the order of the events and the life of the image buffer.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/GridReference.h"
#include "thumbnails_test_helpers.h"

// Rows name only what differs from the defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

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

// The grid set up as the row says, through its setters; the look the model
// reads, with the position it must have stored.
std::unique_ptr<TThumbnails> MakeGrid(const PaintRow& row, reference::Look& look) {
  look = row.Look;
  look.SlideSize = std::min(std::max(look.SlideSize, 50), look.Width);  // the setter's clamps
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
  grid->SetFrameStyle(TFrameStyle(look.Frame));
  grid->SetOuterFrameStyle(TFrameStyle(look.Outer));
  grid->SetInnerFrameStyle(TFrameStyle(look.Inner));
  grid->SetAntiAlias(look.AntiAlias);
  grid->Font = look.Font;
  grid->Paint();
  if (look.Position != 1.0) {
    grid->SetScrollPosition(look.Position);
    look.Position = reference::Normalised(look.Position, reference::Columns(look), look.Min, look.Max);
  }
  for (int id : look.Chosen) {
    int x = 0, y = 0;
    grid->SlideOrigin(id, x, y);
    ClickAt(*grid, x + 20, y + 20, MK_CONTROL);
  }
  if (row.MaxAfter) {
    grid->SetMax(row.MaxAfter);
    look.Max = row.MaxAfter;
  }
  EXPECT_EQ(grid->ScrollPosition(), look.Position);
  return grid;
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
    grid.OnImageRequest = [this](TObject*, int id, TImageRequestProcessing& how, int& mark, TBitmap*& buffer) {
      Requests.push_back(id);
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
    };
  }
  // The same answers, but a request that has thrown once throws no more.
  reference::Answers Model() {
    return [this](int id) {
      reference::Answer a = ReplyFor(Row, id);
      a.Throw = a.Throw && !Thrown;
      return a;
    };
  }
  const PaintRow& Row;
  std::vector<int> Requests;
  std::vector<int> Announced;  // the slides the paint said, as it began, it would request
  std::vector<std::unique_ptr<TBitmap>> Dropped;
  int First = 0, Last = 0, FreedBefore, FreedAtLast = -1, Handed = 0;
  bool Thrown = false;
};

using reference::Look;
reference::Answer Picture(int w, int h) { return {.How = irpShowSlide, .Picture = &Pattern(w, h)}; }
const reference::Answer kPicture = Picture(200, 100);
const TColor kRose = 0x8080FF, kMint = 0x90EE90, kInk = 0x402000;

const PaintRow kRows[] = {
    // Layout: the browser's settings, columns and rows, partial rows, borders.
    {"browser settings, numbered cards", {}},
    {"scrolled to 3.5: slide 3 from y = -56, cut by the band", {.Position = 4.0}},
    {"half a 137-pixel row: 68.5 goes to 68", {.SlideSize = 121, .Position = 2.0}},
    {"half a 135-pixel row: 67.5 goes to 68", {.SlideSize = 119, .Position = 2.0}},
    {"three columns, a third and two thirds of a row", {.Width = 450, .SlideSize = 121, .Position = 3.0}},
    {"three columns, a third of a row", {.Width = 450, .Position = 2.0}},
    {"one column: 289 wide", {.Width = 289}},
    {"narrower than one box, lower than one row", {.Width = 100, .Height = 100}},
    {"nothing at all: 0 x 0 asks for slide 1", {.Width = 0, .Height = 0}},
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
    {"pictures scrolled by a fraction", {.Width = 450, .Position = 3.0}, Picture(97, 311)},
    // Answers.
    {"a picture only at the first request: the rest show it again", {}, {.How = irpShowSlide}, {{1, kPicture}}},
    {"the buffer taken away at slide 3",
     {},
     {.How = irpShowSlide},
     {{1, kPicture}, {3, {.How = irpShowSlide, .DropBuffer = true}}, {2, kPicture}}},
    {"frame only, nothing, empty buffer",
     {},
     {.How = irpShowFrameOnly},
     {{3, {.How = irpShowNothing}}, {2, {.How = irpShowSlide}}}},
    {"markers: square on nothing, 0x107 on a frame, hollow circles, a dot, a plus",
     {.Mark = kRose},
     {.How = irpShowFrameOnly, .Mark = 16},
     {{1, {.How = irpShowNothing, .Mark = 7}},
      {2, {.How = irpShowFrameOnly, .Mark = 0x107}},
      {3, {.Mark = 17}},
      {4, {.How = irpShowSlide, .Mark = 0, .Picture = &Pattern(50, 50)}},
      {5, {.Mark = 3}}}},
    {"character markers: 'A', the digits 0 and 4",
     {},
     {.How = irpShowFrameOnly, .Mark = 65},
     {{3, {.Mark = 200}}, {5, {.How = irpShowNothing, .Mark = 52}}}},
    {"a request throws at slide 5", {}, kPicture, {{5, {.How = irpShowSlide, .Throw = true}}}},
    {"a request throws at the first slide", {.Width = 450}, {}, {{1, {.Throw = true}}}},
};

}  // namespace

TEST(ThumbnailsPaint, EveryPixelAsTheReferenceDraws) {
  for (const PaintRow& row : kRows) {
    SCOPED_TRACE(row.Name);
    Look look;
    auto grid = MakeGrid(row, look);
    Server server(*grid, row);
    TBitmap before;
    before.Assign(&grid->Surface());
    TBitmap expected;
    reference::Painted model = reference::Paint(look, expected, server.Model());
    if (model.Threw) {
      EXPECT_ANY_THROW(grid->Paint());
      EXPECT_EQ(server.Requests, model.Requests);
      EXPECT_TRUE(SamePixels(grid->Surface(), before)) << "nothing of a failed paint shows";
      EXPECT_EQ(server.Last, 0);
      grid->Paint();  // turned away once
      EXPECT_TRUE(SamePixels(grid->Surface(), before));
      server.Requests.clear();
      model = reference::Paint(look, expected, server.Model());
      EXPECT_FALSE(model.Threw);
      EXPECT_EQ(server.First, 1);
      server.First = 0;
    }
    grid->Paint();
    EXPECT_TRUE(SamePixels(grid->Surface(), expected));
    EXPECT_EQ(server.Requests, model.Requests);
    EXPECT_EQ(server.Announced, model.Requests);
    EXPECT_EQ(server.First, 1);
    EXPECT_EQ(server.Last, 1);
    EXPECT_EQ(server.FreedAtLast, 0);
    EXPECT_EQ(g_freed - server.FreedBefore, server.Handed);
  }
}

// The first and last events around a request and a rendered event per slide
// (a slide showing nothing still rendered); every request gets the one
// buffer, empty at the first; the stretch mode is set anew before every
// picture, whatever a handler left.
TEST(ThumbnailsPaint, EventsComeFirstThenRequestAndRenderedPerSlideThenLast) {
  auto grid = MakeBrowserGrid();
  grid->SetMax(3);
  std::vector<std::string> log;
  std::vector<TBitmap*> buffers;
  grid->OnFirstImageRequest = [&](TObject*) { log.push_back("first"); };
  grid->OnLastImageRequest = [&](TObject*) { log.push_back("last"); };
  grid->OnImageRequest = [&](TObject*, int id, TImageRequestProcessing& how, int&, TBitmap*& buffer) {
    log.push_back("request " + std::to_string(id) + (buffer->Width() == 0 ? " empty" : ""));
    buffers.push_back(buffer);
    buffer->SetSize(20, 10);
    how = id == 2 ? irpShowNothing : irpShowSlide;
  };
  grid->OnSlideRendered = [&](TObject*, TCanvas& canvas, int x, int y, int id) {
    const bool offScreen = &canvas != &grid->Canvas() && canvas.Target().Width() == 299;
    const bool halftone = canvas.StretchBltMode() == HALFTONE;
    log.push_back("rendered " + std::to_string(id) + " at " + std::to_string(x) + "," + std::to_string(y) +
                  (offScreen ? " off screen" : "") +
                  (id == 2    ? ""
                   : halftone ? " halftone"
                              : " plain"));
    canvas.SetStretchBltMode(halftone ? COLORONCOLOR : HALFTONE);
  };
  grid->Paint();
  EXPECT_EQ(log, (std::vector<std::string>{"first", "request 1 empty", "rendered 1 at 10,12 off screen halftone",
                                           "request 3", "rendered 3 at 10,148 off screen halftone", "request 2",
                                           "rendered 2 at 146,12 off screen", "last"}));
  for (TBitmap* b : buffers) EXPECT_EQ(b, buffers.front());
  log.clear();
  grid->SetAntiAlias(false);
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[2], "rendered 1 at 10,12 off screen plain");
  EXPECT_EQ(log[4], "rendered 3 at 10,148 off screen plain");
}
