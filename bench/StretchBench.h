#pragma once
#include "Timing.h"

// HALFTONE StretchBlt of a 24-megapixel bitmap into a 120 x 90 box, against
// a memcpy of that bitmap's pixels.
TMedians MeasureHalftoneAgainstMemcpy(int reps, TClock clock);
