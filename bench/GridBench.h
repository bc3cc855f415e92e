#pragma once
// Measures of the browser's grid, driven through the real window: its folder
// listing, its image-request handler feeding the grid's paint, and mouse
// moves through the widget that hosts the grid.
#include <string>
#include <vector>

#include "Timing.h"

class TFrmGlimmet;

constexpr int kSlidesInView = 8;  // 2 columns x 4 rows of the 299 x 453 grid

// Lists folder as a click in the folder tree does and scrolls to the top.
// Returns the files of the slides in view, as the program opens them.
// Throws std::runtime_error when the grid is not the browser's 299 x 453
// grid or the folder holds fewer than kSlidesInView pictures.
std::vector<std::string> ShowFolder(TFrmGlimmet& window, const std::string& folder);

struct TPaintFigures {
  TMedians ColorOnColor;  // one paint against the bare decoding of its files
  TMedians Halftone;
};

// The grid of the folder shown, painted whole, against the bare decoding of
// the same files, without and with AntiAlias.
TPaintFigures MeasurePaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                        TClock clock);

// A release on a slide (1 and 2 in turns) until the large view holds its
// picture decoded, against the bare decoding of the 8 files in view and the
// clicked one: the click's file decodes beside the grid's repaint.
TMedians MeasureClickAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                   TClock clock);

// One paint with the pool held to one worker against one with every file
// loaded at its request, on the calling thread.
TMedians MeasureOneWorkerAgainstSerial(TFrmGlimmet& window, int reps, TClock clock);

struct TFocusFigures {
  double MoveSeconds = 0;  // median time of one move that changes the focused slide
  int Paints = 0;          // paints that the moves caused (must be 0)
  int FocusChanges = 0;
  int Moves = 0;
};

// Mouse moves between slides 1 and 2, sent to the grid's host widget.
TFocusFigures MeasureFocusMove(TFrmGlimmet& window, int reps, TClock clock);

struct TMemoryFigures {
  long PeakAddedKiB = 0;       // highest resident set during the paints, above the one before
  long DriftKiB = 0;           // resident set after the last half of the paints minus after the first half
  bool PeakFromStart = false;  // the kernel would not reset the peak: it counts from the start
};

// Lists folder and paints the grid paints times in all (the listing's own
// paint included), watching the resident set.
TMemoryFigures MeasurePaintMemory(TFrmGlimmet& window, const std::string& folder, int paints);
