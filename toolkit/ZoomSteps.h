#pragma once
// The large view's zoom steps: fractions of the picture's natural size, the
// size a picture takes at one, and the pixels of the visible part of a
// magnified picture, made without smoothing so that a person zoomed in sees
// the picture's pixels as squares.
#include <cstdint>
#include <optional>
#include <span>

#include "toolkit/FitPicture.h"
#include "toolkit/Graphics.h"

struct TZoom {
  int Num = 1;
  int Den = 1;
  bool operator==(const TZoom&) const = default;
};

// 1/8, 1/6, 1/4, 1/3, 1/2, 2/3, 1, 3/2, 2, 3, 4, 6, 8: ascending, 1/1 the
// natural size.
std::span<const TZoom> ZoomSteps();

// The nearest step strictly above (up) or below the scale num / den; none
// past the last or first step.
std::optional<TZoom> NextZoom(std::int64_t num, std::int64_t den, bool up);

// The scale of the picture fitted into the view (FittedSize) as a fraction:
// 1 when it fits, else the tighter side's ratio, view over picture.
TZoom FittedScale(TFitSize picture, TFitSize view);

// Each side natural * num / den, rounded to the nearest pixel (halves up),
// and at least 1; empty for an empty picture.
TFitSize ZoomedSize(TFitSize natural, TZoom zoom);

// Magnified without smoothing: device column d of the zoomed picture,
// counted from its left edge, shows picture column d * den / num rounded
// down, and rows alike; at a whole zoom each picture pixel is a square of
// num x num device pixels. Fills part with the zoomed picture's pixels from
// its point from onward, so only what is in view is ever made.
void MagnifyPart(const TBitmap& picture, TZoom zoom, TFitPoint from, TBitmap& part);
