#pragma once
// What the thumbnail grid must show, worked out afresh from its rules
// (layout, slides, frames, cards, pictures, markers, bands, the focus
// outline, selection by clicks). It reads no code of the grid: only the
// canvas, whose own rules both draw with, so glyphs and stretched pictures
// are compared at the positions this model computes.
#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <set>
#include <vector>

#include "toolkit/Graphics.h"

namespace reference {

// The grid's settings (defaults as after construction, on the browser's
// 299 x 453); Position is the stored scroll position, in rows.
struct Look {
  int Width = 299, Height = 453;
  int SlideSize = 120, SlideDistance = 2, SlideMargin = 7;
  int Min = 1, Max = 100;
  double Position = 1.0;
  TColor Back = clBtnFace, Cover = clSilver, Selected = clNavy, Mark = clBlack, Focus = clBlue;
  std::uint8_t Frame = 2, Outer = 3, Inner = 2;  // fsLowered, fsRaised, fsLowered
  bool AntiAlias = true;
  int FocusLinewidth = 1;
  TFont Font;
  std::set<int> Chosen;  // selected slides
};

// Where slides lie for a look, in the columns of its width.
struct Layout {
  explicit Layout(const Look& look);
  int P, B, N, Rows;
  std::int64_t F;
  int V;
  TPoint Origin(int thumbID) const;
  int SlideAt(int x, int y) const;
  const Look& L;
};

int Columns(const Look& look);
// The stored position after writing the slide value v with N columns.
double Normalised(double v, int columns, int min, int max);

// One answer to an image request: irpShowEmpty, irpShowSlide,
// irpShowFrameOnly or irpShowNothing, a marker, a picture put into the
// buffer, the buffer variable set to none, or an exception.
struct Answer {
  int How = 0;
  int Mark = -1;
  const TBitmap* Picture = nullptr;
  bool DropBuffer = false;
  bool Throw = false;
};
using Answers = std::function<Answer(int thumbID)>;

// The requests in order, and whether one threw (then nothing reaches the screen).
struct Painted {
  std::vector<int> Requests;
  bool Threw = false;
};

// Paints look into shown as the grid's paint must (columns those of the
// look's width). Without answers every slide is a numbered card.
// At ratio device pixels to a pixel shown is ratio times the size: every
// pixel of the scale-1 picture repeated ratio x ratio, but a pixel whose
// colour a picture still decides shows, in its ratio x ratio block, the
// whole picture stretched into the ratio-times rectangle.
Painted Paint(const Look& look, TBitmap& shown, const Answers& answers = {}, int ratio = 1);

// Each pixel of in repeated ratio x ratio.
void Repeat(const TBitmap& in, int ratio, TBitmap& out);

// The focus outline of a slide, in color, then the border strips.
void FocusOutline(const Look& look, TBitmap& shown, int thumbID, TColor color);

// Selection by a click in a mode (0 disabled, 1 single, 2 multiple) with
// MK_CONTROL / MK_SHIFT keys; returns whether the grid repaints.
bool Click(Look& look, int& anchor, int mode, int thumbID, int keys);

}  // namespace reference

// Compares two pictures pixel by pixel, naming the first differences.
testing::AssertionResult SamePixels(const TBitmap& actual, const TBitmap& expected);
