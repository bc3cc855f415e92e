#pragma once
// Measures of scrolling the browser's grid through the real window: steps
// and bursts of its scroll bar, what they decode, and what the program keeps
// of processor and memory once they are over. They need a folder longer
// than a few screens.
#include <string>
#include <vector>

#include "Timing.h"

class TFrmGlimmet;

// Slides a wheel burst moves the view by, and what the folder must hold
// for it and the screen made ahead beyond it.
constexpr int kBurstSteps = 40;
constexpr int kScrollFolderSize = 64;

// Writes count copies of the sources (taken in turn) into folder, each its
// own file, named so the folder lists them in that order.
void CopyPhotos(const std::vector<std::string>& sources, const std::string& folder, int count);

struct TStepFigures {
  TMedians Step;      // the step, against the bare decoding of the files in view after it
  int NewSlides = 0;  // slides the step brings into view
};

// One bar step that brings two new slides into the view of eight, the six
// others kept in the store. Without ahead: nothing made ahead (the step
// comes before the read-ahead the previous paint posts has run); with it,
// after the read-ahead has had its idle time.
TStepFigures MeasureScrollStep(TFrmGlimmet& window, int reps, TClock clock, bool ahead);

struct TBurstFigures {
  TMedians Burst;  // the burst until the grid shows the bar's final place, against one cold paint there
  int Paints = 0;  // paints of the grid in one burst
};

// kBurstSteps wheel notches posted to the grid's host widget as one burst,
// from the top of a view made ahead as after a pause, until the grid is
// settled where the bar ends; against one paint of that final view with
// the store emptied.
TBurstFigures MeasureWheelBurst(TFrmGlimmet& window, int reps, TClock clock);

// Processor time of the whole process in the two seconds after the
// read-ahead ends, the event loop running, and in the two seconds after
// those: what the measuring loop itself costs.
struct TIdleCpu {
  double MedianSeconds = 0;
  double MostSeconds = 0;
  double QuietSeconds = 0;  // median of the two seconds after
  int Events = 0;           // the most events the program handled in the first two seconds
};
TIdleCpu MeasureIdleCpuAfterAhead(TFrmGlimmet& window, int reps);

struct TIdleMemory {
  long AddedKiB = 0;  // resident set after the bursts, idle, above the one before, less the store
  long StoreKiB = 0;  // what the store held then
};

// Ten wheel bursts, down and up in turns, each settled and its read-ahead
// done; then the program left idle for half a second.
TIdleMemory MeasureIdleMemoryAfterBursts(TFrmGlimmet& window);
