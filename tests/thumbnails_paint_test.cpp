// The grid's paint, pixel by pixel on a bare control with the browser's
// settings (299 x 453, SlideSize 120, SlideDistance 2, SlideMargin 7).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "thumbnails_test_helpers.h"

namespace {

const TColor kRed = 0x0000FF;

class PaintedGrid : public testing::Test {
 protected:
  void SetUp() override { grid = MakeBrowserGrid(); }
  TColor Px(int x, int y) { return ShownPixel(*grid, x, y); }
  static TColor Background() { return ColorToRGB(clBtnFace); }

  // Every slide answers irpShowSlide; the buffer gets a red picture of the
  // given size only while it is still empty, at the first request of a paint.
  void ServeRedPicture(int w, int h) {
    grid->OnImageRequest = [w, h](TObject*, int, TImageRequestProcessing& how, int&, TBitmap*& buffer) {
      how = irpShowSlide;
      if (!buffer->Empty()) return;
      buffer->SetSize(w, h);
      buffer->Canvas().Brush.SetColor(kRed);
      buffer->Canvas().FillRect(TRect{0, 0, w, h});
    };
  }

  // Rows Top..Bottom of column x all in colour c.
  void ExpectColumn(int x, int top, int bottom, TColor c) {
    for (int y = top; y <= bottom; ++y) ASSERT_EQ(Px(x, y), c) << x << "," << y;
  }
  void ExpectRow(int y, int left, int right, TColor c) {
    for (int x = left; x <= right; ++x) ASSERT_EQ(Px(x, y), c) << x << "," << y;
  }

  std::unique_ptr<TThumbnails> grid;
};

}  // namespace

// Column by column; cells above Max keep the background (slide 6's cell
// at 146, 284); a control of 0 x 0 still has one cell, for the first slide.
TEST_F(PaintedGrid, RequestsGoColumnByColumnForTheCellsInRange) {
  struct Case {
    int width, height, max;
    std::vector<int> ids;
  };
  const Case cases[] = {{299, 453, 100, {1, 3, 5, 7, 2, 4, 6, 8}},
                        {299, 453, 5, {1, 3, 5, 2, 4}},
                        {0, 0, 100, {1}}};
  for (const Case& c : cases) {
    grid->SetBounds(0, 0, c.width, c.height);
    grid->SetMax(c.max);
    RequestRecorder requests(*grid);
    grid->Paint();
    EXPECT_EQ(requests.Ids, c.ids);
    EXPECT_EQ(requests.Announced, requests.Ids);
    grid->OnImageRequest = nullptr;
    grid->OnFirstImageRequest = nullptr;
  }
  grid->SetBounds(0, 0, 299, 453);
  grid->SetMax(5);
  EXPECT_EQ(Px(200, 300), Background());
}

TEST_F(PaintedGrid, EventsComeFirstThenRequestAndRenderedPerSlideThenLast) {
  grid->SetMax(3);
  std::vector<std::string> log;
  grid->OnFirstImageRequest = [&](TObject*) { log.push_back("first"); };
  grid->OnLastImageRequest = [&](TObject*) { log.push_back("last"); };
  grid->OnImageRequest = [&](TObject*, int id, TImageRequestProcessing&, int&, TBitmap*&) {
    log.push_back("request " + std::to_string(id));
  };
  grid->OnSlideRendered = [&](TObject*, TCanvas&, int x, int y, int id) {
    log.push_back("rendered " + std::to_string(id) + " at " + std::to_string(x) + "," + std::to_string(y));
  };
  grid->Paint();
  EXPECT_EQ(log, (std::vector<std::string>{"first", "request 1", "rendered 1 at 10,12", "request 3",
                                           "rendered 3 at 10,148", "request 2", "rendered 2 at 146,12", "last"}));
}

TEST_F(PaintedGrid, SlideBoxesCarryTheRaisedFrameOverTheCover) {
  grid->Paint();
  // Slide 1: columns 10..144, rows 12..146.
  ExpectRow(12, 10, 144, clWhite);
  ExpectColumn(10, 13, 145, clWhite);
  ExpectRow(146, 10, 144, clBlack);
  ExpectColumn(144, 13, 145, clBlack);
  ExpectRow(13, 11, 143, clSilver);
  ExpectColumn(11, 14, 144, clSilver);
  ExpectRow(145, 11, 143, clGray);
  ExpectColumn(143, 14, 144, clGray);
  EXPECT_EQ(Px(9, 50), Background());
  EXPECT_EQ(Px(50, 11), Background());
  EXPECT_EQ(Px(145, 50), Background());  // the gap right of the box
  // Slide 2: columns 146..280.
  ExpectRow(12, 146, 280, clWhite);
  ExpectColumn(280, 13, 145, clBlack);
  EXPECT_EQ(Px(281, 50), Background());
  // Slide 3 starts at (10, 148); row 147 is the gap above it.
  EXPECT_EQ(Px(50, 147), Background());
  EXPECT_EQ(Px(50, 148), clWhite);
}

TEST_F(PaintedGrid, EmptySlideShowsAWhiteCardWithItsNumberCentred) {
  grid->Paint();
  ExpectRow(39, 17, 136, clBlack);
  ExpectRow(118, 17, 136, clBlack);
  ExpectColumn(17, 39, 118, clBlack);
  ExpectColumn(136, 39, 118, clBlack);
  EXPECT_EQ(Px(16, 60), clSilver);
  EXPECT_EQ(Px(137, 60), clSilver);
  EXPECT_EQ(Px(60, 38), clSilver);
  EXPECT_EQ(Px(60, 119), clSilver);
  EXPECT_EQ(Px(30, 50), clWhite);

  // The number's cell is centred on (77, 79); its ink lies inside that cell.
  TBitmap scratch(1, 1);
  scratch.Canvas().Font = grid->Font;
  const int w = scratch.Canvas().TextWidth("1");
  const int h = scratch.Canvas().TextHeight("1");
  const int left = 77 - w / 2;
  const int top = 79 - h / 2;
  int ink = 0;
  for (int y = 40; y <= 117; ++y) {
    for (int x = 18; x <= 135; ++x) {
      if (Px(x, y) == clWhite) continue;
      ++ink;
      EXPECT_TRUE(x >= left && x < left + w && y >= top && y < top + h) << x << "," << y;
    }
  }
  EXPECT_GT(ink, 0);
}

// Scaled into the 120 square of slide 1 (box at 10, 12, margin 7) keeping
// the proportions, centred across the short side, framed fsLowered: gray
// top and left, white bottom and right, black and silver inside, cover
// silver around it.
TEST_F(PaintedGrid, PicturesKeepTheirProportionsCentredAcrossTheShortSide) {
  struct Case {
    int w, h, left, top, right, bottom;
  };
  const Case cases[] = {
      {125, 240, 46, 19, 108, 139},  // sw = 62.5 -> 62 (even), Left = X + M + 29
      {200, 100, 17, 49, 137, 109},  // sh = 60, Top = Y + M + 30
      {50, 50, 17, 19, 137, 139},    // square: the landscape branch, S x S
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.w) + " x " + std::to_string(c.h));
    grid = MakeBrowserGrid();
    ServeRedPicture(c.w, c.h);
    grid->Paint();
    ExpectRow(c.top, c.left, c.right, clGray);
    ExpectColumn(c.left, c.top + 1, c.bottom - 1, clGray);
    ExpectRow(c.bottom, c.left, c.right, clWhite);
    ExpectColumn(c.right, c.top + 1, c.bottom - 1, clWhite);
    ExpectRow(c.top + 1, c.left + 1, c.right - 1, clBlack);
    ExpectColumn(c.right - 1, c.top + 2, c.bottom - 2, clSilver);
    EXPECT_EQ(Px(c.left + 2, c.top + 2), kRed);
    EXPECT_EQ(Px(c.right - 2, c.bottom - 2), kRed);
    EXPECT_EQ(Px(c.left - 1, c.top - 1), clSilver);
    EXPECT_EQ(Px(c.right + 1, c.bottom + 1), clSilver);
  }
  // Without an inner frame the whole source shows: a 50 x 50 picture with a
  // blue first column and row, grown 2.4 times, is blue on its first two
  // columns and rows (17, 18 and 19, 20).
  grid = MakeBrowserGrid();
  grid->SetInnerFrameStyle(fsNone);
  grid->OnImageRequest = [](TObject*, int, TImageRequestProcessing& how, int&, TBitmap*& buffer) {
    how = irpShowSlide;
    buffer->SetSize(50, 50);
    buffer->Canvas().Brush.SetColor(clBlue);
    buffer->Canvas().FillRect(TRect{0, 0, 50, 50});
    buffer->Canvas().Brush.SetColor(kRed);
    buffer->Canvas().FillRect(TRect{1, 1, 50, 50});
  };
  grid->Paint();
  EXPECT_EQ(Px(18, 60), clBlue);
  EXPECT_EQ(Px(60, 20), clBlue);
  EXPECT_EQ(Px(21, 60), kRed);
  EXPECT_EQ(Px(136, 138), kRed);
}

TEST_F(PaintedGrid, UnchangedBufferShowsThePreviousPictureAgain) {
  ServeRedPicture(200, 100);
  grid->Paint();
  EXPECT_EQ(Px(146 + 60, 12 + 7 + 30 + 5), kRed);  // slide 2, last requested in its column
  EXPECT_EQ(Px(10 + 60, 148 + 7 + 30 + 5), kRed);  // slide 3
}

TEST_F(PaintedGrid, ImageBufferIsOneEmptyBitmapSharedByEveryRequest) {
  std::vector<TBitmap*> seen;
  bool firstWasEmpty = false;
  grid->OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*& buffer) {
    if (seen.empty()) firstWasEmpty = buffer && buffer->Width() == 0 && buffer->Height() == 0;
    seen.push_back(buffer);
    buffer->SetSize(3, 3);
  };
  grid->Paint();
  ASSERT_EQ(seen.size(), 8u);
  EXPECT_TRUE(firstWasEmpty);
  for (TBitmap* b : seen) EXPECT_EQ(b, seen.front());
}

TEST_F(PaintedGrid, StretchModeIsSetAnewBeforeEveryPicture) {
  ServeRedPicture(200, 100);
  std::vector<int> modes;
  grid->OnSlideRendered = [&](TObject*, TCanvas& canvas, int, int, int) {
    modes.push_back(canvas.StretchBltMode());
    canvas.SetStretchBltMode(canvas.StretchBltMode() == HALFTONE ? COLORONCOLOR : HALFTONE);
  };
  grid->Paint();
  EXPECT_EQ(modes, std::vector<int>(8, HALFTONE));
  modes.clear();
  grid->SetAntiAlias(false);
  EXPECT_EQ(modes, std::vector<int>(8, COLORONCOLOR));
}

TEST_F(PaintedGrid, RenderedSlidesAreDrawnOffScreen) {
  bool offScreen = false;
  grid->OnSlideRendered = [&](TObject*, TCanvas& canvas, int, int, int) {
    offScreen = &canvas != &grid->Canvas() && canvas.Target().Width() == 299 && canvas.Target().Height() == 453;
  };
  grid->Paint();
  EXPECT_TRUE(offScreen);
}

TEST_F(PaintedGrid, BandsCutScrolledSlidesAtTheBorder) {
  grid->SetScrollPosition(4.0);  // slide 3 from y = -56
  for (int y = 2; y <= 9; ++y) ExpectRow(y, 2, 295, Background());
  for (int y = 443; y <= 449; ++y) ExpectRow(y, 2, 295, Background());
  EXPECT_EQ(Px(14, 10), clSilver);   // slide 3's cover shows from row 10
  EXPECT_EQ(Px(10, 10), clWhite);    // with its frame's left column
  EXPECT_EQ(Px(14, 442), clSilver);  // slide 9 runs into the bottom band
}

TEST_F(PaintedGrid, ControlFrameStopsOnePixelShortOfTheEdges) {
  grid->Paint();
  // fsLowered on 0, 0, 297, 451: gray/white outside, black/silver inside.
  ExpectRow(0, 0, 297, clGray);
  ExpectColumn(0, 1, 450, clGray);
  ExpectRow(451, 0, 297, clWhite);
  ExpectColumn(297, 1, 450, clWhite);
  ExpectRow(1, 1, 296, clBlack);
  ExpectColumn(296, 2, 449, clSilver);
  ExpectColumn(298, 0, 452, Background());
  ExpectRow(452, 0, 298, Background());

  // Without a control frame or slide frames the background reaches every
  // edge, and a cover fills its box X..X+B, Y..Y+B inclusive: slide 1 at
  // (10, 12) covers columns 10..144 and rows 12..146.
  grid->SetFrameStyle(fsNone);
  grid->SetOuterFrameStyle(fsNone);
  ExpectColumn(0, 0, 452, Background());
  ExpectColumn(298, 0, 452, Background());
  ExpectRow(0, 0, 298, Background());
  ExpectRow(452, 0, 298, Background());
  ExpectRow(12, 10, 144, clSilver);
  ExpectRow(146, 10, 144, clSilver);
  ExpectColumn(144, 12, 146, clSilver);
  EXPECT_EQ(Px(9, 50), Background());
  EXPECT_EQ(Px(145, 50), Background());
  EXPECT_EQ(Px(50, 11), Background());
  EXPECT_EQ(Px(50, 147), Background());
}

// What slide 1 (box at 10, 12) shows by the answer to its request: the
// frame's corner (10, 12), the card's corner (17, 39), the box's middle
// (77, 79) and the marker's centre (X + 10, Y + 12) = (20, 24).
TEST_F(PaintedGrid, TheAnswerToARequestDecidesWhatTheSlideShows) {
  const TColor bg = Background();
  struct Case {
    const char* name;
    TImageRequestProcessing how;
    int mark;
    bool takeBuffer;
    TColor corner, card, middle, marker;
  };
  const Case cases[] = {
      {"frame only", irpShowFrameOnly, -1, false, clWhite, clSilver, clSilver, clSilver},
      {"picture of an empty buffer", irpShowSlide, -1, false, clWhite, clSilver, clSilver, clSilver},
      {"picture of no buffer", irpShowSlide, -1, true, clWhite, clSilver, clSilver, clSilver},
      {"nothing, marker 7", irpShowNothing, 7, false, bg, bg, bg, clBlack},
      {"frame only, marker 0x107", irpShowFrameOnly, 0x107, false, clWhite, clSilver, clSilver, clBlack},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    grid = MakeBrowserGrid();
    std::unique_ptr<TBitmap> taken;
    std::vector<int> rendered;
    grid->OnImageRequest = [&](TObject*, int id, TImageRequestProcessing& how, int& mark, TBitmap*& buffer) {
      if (id != 1) return;
      how = c.how;
      if (c.mark != -1) mark = c.mark;  // else as it comes: no marker
      if (c.takeBuffer) taken.reset(std::exchange(buffer, nullptr));
    };
    grid->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int id) { rendered.push_back(id); };
    grid->Paint();
    EXPECT_EQ(rendered.front(), 1);
    EXPECT_EQ(Px(10, 12), c.corner);
    EXPECT_EQ(Px(17, 39), c.card);
    EXPECT_EQ(Px(77, 79), c.middle);
    EXPECT_EQ(Px(20, 24), c.marker);
    if (c.mark == -1) continue;
    // Type 7: a filled 3 x 3 square round the centre.
    for (int y = 23; y <= 25; ++y) ExpectRow(y, 19, 21, clBlack);
    EXPECT_EQ(Px(18, 24), c.middle);
    EXPECT_EQ(Px(22, 24), c.middle);
    grid->SetColorMark(kRed);
    EXPECT_EQ(Px(20, 24), kRed);
  }
}

TEST_F(PaintedGrid, SelectedSlideTakesTheSelectedColour) {
  ClickAt(*grid, 50, 50);
  EXPECT_EQ(Px(15, 20), clNavy);
  EXPECT_EQ(Px(150, 20), clSilver);
}

namespace {
int g_handedOverFreed = 0;
struct HandedOverBitmap : TBitmap {
  ~HandedOverBitmap() override { ++g_handedOverFreed; }
};
}  // namespace

TEST_F(PaintedGrid, BitmapHandedOverByAHandlerIsFreedOnceAfterTheLastRequest) {
  g_handedOverFreed = 0;
  std::unique_ptr<TBitmap> gridsOwn;  // the handler's responsibility once replaced
  int freedAtLast = -1;
  grid->OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*& buffer) {
    if (gridsOwn) return;
    gridsOwn.reset(buffer);
    buffer = new HandedOverBitmap;
  };
  grid->OnLastImageRequest = [&](TObject*) { freedAtLast = g_handedOverFreed; };
  grid->Paint();
  EXPECT_EQ(freedAtLast, 0);
  EXPECT_EQ(g_handedOverFreed, 1);
  ASSERT_TRUE(gridsOwn);
  EXPECT_EQ(gridsOwn->Width(), 0);  // still alive: not freed by the grid
}

TEST_F(PaintedGrid, NoSlideInRangeStillBracketsThePaint) {
  grid->SetScrollPosition(100.0);  // 99.5: slides 99 and up in view
  grid->SetMax(10);
  int requests = 0;
  int rendered = 0;
  std::vector<std::string> brackets;
  grid->OnFirstImageRequest = [&](TObject*) { brackets.push_back("first"); };
  grid->OnLastImageRequest = [&](TObject*) { brackets.push_back("last"); };
  grid->OnImageRequest = [&](TObject*, int, TImageRequestProcessing&, int&, TBitmap*&) { ++requests; };
  grid->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int) { ++rendered; };
  grid->Paint();
  EXPECT_EQ(requests, 0);
  EXPECT_EQ(rendered, 0);
  EXPECT_EQ(brackets, (std::vector<std::string>{"first", "last"}));
  for (int y = 10; y < 443; y += 7) ExpectRow(y, 2, 295, Background());
}
