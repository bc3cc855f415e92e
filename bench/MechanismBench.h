#pragma once
// What each mechanism of the window's picture supply buys: the same workload
// with the mechanism on and with it off, in turns, in one run.
#include <string>

#include "Timing.h"

class TFrmGlimmet;

struct TMechanismFigures {
  TMedians StartByCost;      // a cold paint, its files started by cost / in the paint's order
  TMedians RunWhileWaiting;  // a cold paint on one worker, the paint's thread running jobs too / not
  TMedians KeptStores;       // a literal paint (each file loaded at its request), stores kept / not
  TMedians AheadTwins;       // a scroll step while the read-ahead runs, twin threads / one a worker
};

// folder: the photos, shown; scrollFolder: a folder of a few screens of them.
TMechanismFigures MeasureMechanisms(TFrmGlimmet& window, const std::string& folder, const std::string& scrollFolder,
                                    int reps);
