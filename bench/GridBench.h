#pragma once
// Measures of the browser's grid, driven through the real window: its folder
// listing, its image-request handler feeding the grid's paint from the
// window's slide supply, and mouse moves through the widget that hosts the
// grid.
#include <functional>
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

// The files of the slides the grid shows now, as the program opens them.
std::vector<std::string> FilesInView(TFrmGlimmet& window);

// Runs what the event loop holds (the read-ahead a paint posts included),
// then drops all work of the window's supply and waits until none runs: the
// quiet state every measurement starts from. The store keeps its slides.
void Quieten(TFrmGlimmet& window);

// Runs the event loop until the supply has nothing left to do, read-ahead
// included.
void WaitUntilIdle(TFrmGlimmet& window);

// Puts the bar at value without telling the window, and paints the grid
// there once, as it was before a scroll: the bar's next change is the
// first of its turn of the event loop and paints at once.
void PaintAt(TFrmGlimmet& window, int value);

// How many paints of the grid got past its paint guard while work ran.
int PaintsDuring(TFrmGlimmet& window, const std::function<void()>& work);

struct TPaintFigures {
  TMedians ColorOnColor;  // one paint, the store emptied first, against the bare decoding of its files
  TMedians Halftone;
  TMedians Repaint;  // the same view painted again, its slides kept
  // The cold paints at 2 device pixels to a pixel: slides of 4 times the pixels.
  TMedians ColorOnColorRatio2;
  TMedians HalftoneRatio2;
};

// The grid of the folder shown, painted whole with the store emptied first,
// against the bare decoding of the same files.
TMedians MeasureColdPaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                       TClock clock);

// The grid of the folder shown, painted whole with the store emptied first,
// against the bare decoding of the same files, without and with AntiAlias,
// at 1 and at 2 device pixels to a pixel; then painted again with its slides
// kept.
TPaintFigures MeasurePaintAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                        TClock clock);

// A press and release on a slide (1 and 2 in turns) until the large view
// holds its picture decoded, against the bare decoding of that one file.
// The grid's repaint for the new selection finds its slides kept.
TMedians MeasureClickAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                   TClock clock);

// Whether slides 1 and 2 are larger than the large view, so that fitting
// shrinks them.
bool FitShrinks(TFrmGlimmet& window, const std::vector<std::string>& files);

// A click on a slide (1 and 2 in turns), then a double click on the large
// view showing it at its natural size, until the view has painted the fitted
// picture: the click's decode on a worker, which fits it as it decodes;
// against the bare decoding of that one file.
TMedians MeasureFitAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps,
                                 TClock clock);

// On slide 1's picture at natural size: a zoom step out (-, to 2/3,
// averaged on the view's worker) or in (+, to 3/2, the part in view
// magnified) until it shows, against the fit of the same decoded picture
// into the view (FitPicture).
struct TZoomFigures {
  TMedians Out;
  TMedians In;
};
TZoomFigures MeasureZoomAgainstFit(TFrmGlimmet& window, int reps, TClock clock);

// After a click on slide 1 and its read-ahead done, a click on slide 2 (a
// step to the next picture) until the large view holds its picture decoded;
// against the bare decoding of that one file.
TMedians MeasureStepAheadAgainstDecode(TFrmGlimmet& window, const std::vector<std::string>& files, int reps);
// An averaged picture of a large picture (8000 x 6000) asked for while one
// of another size runs and is dropped, with the supply's pool held to one
// worker that the waiting thread does not help, until it is made; against
// the same picture asked for alone.
TMedians MeasureFitAfterCancelAgainstFit(TFrmGlimmet& window, int reps);
// One paint with the pool held to one worker (the store on, emptied first)
// against one with every file loaded at its request, on the calling thread.
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
  long StoreKiB = 0;           // the most the slide store held after a paint
  long DriftKiB = 0;           // resident set after the last half of the paints minus after the first half
  bool PeakFromStart = false;  // the kernel would not reset the peak: it counts from the start
};

// Lists folder and paints the grid paints times in all (the listing's own
// paint included), the store emptied before each, so that every paint
// decodes its pictures; watches the resident set.
TMemoryFigures MeasurePaintMemory(TFrmGlimmet& window, const std::string& folder, int paints);
