#pragma once
// What each mechanism of the window's picture supply buys: the same workload
// with the mechanism on and with it off, in turns, in one run.
#include <string>

#include "Timing.h"

class TFrmGlimmet;

struct TMechanismFigures {
  TMedians RunWhileWaiting;  // a cold paint on one worker, the paint's thread running jobs too / not
  TMedians KeptStores;       // a literal paint (each file loaded at its request), stores kept / not
};

// The folder's first screen, shown.
TMechanismFigures MeasureMechanisms(TFrmGlimmet& window, const std::string& folder, int reps);
