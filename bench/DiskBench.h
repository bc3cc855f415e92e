#pragma once
// The slides kept on disk: a new window's paint of slides found there, the
// cost of writing them, and idle memory against the worker count.
#include <string>
#include <vector>

#include "Timing.h"
#include "app/mainfrm.h"

struct TDiskFigures {
  // The paint with the memory store emptied and the slides on disk, over the
  // bare decode of the files.
  TMedians WarmStart;
  // A cold paint writing its slides to an emptied cache folder, over the
  // same paint with the disk store off.
  TMedians Write;
};
// Over the files the window shows; the cache folder is emptied as needed.
// Leaves the disk store off.
TDiskFigures MeasureDiskStore(TFrmGlimmet& window, const std::vector<std::string>& files,
                              const std::string& cacheFolder, int reps, TClock clock);

// Resident memory added by ten wheel bursts and their read-ahead, then half
// a second idle (MeasureIdleMemoryAfterBursts), with 2 and with 8 workers,
// KiB; the folder shown must be one to scroll in.
struct TWorkerMemory {
  long TwoKiB = 0;
  long EightKiB = 0;
};
TWorkerMemory MeasureIdleMemoryByWorkers(TFrmGlimmet& window);

// From the making of a new window, shown over the folder, to its first frame
// on the screen, and to its grid painted with every job done; cold (nothing
// kept in memory; the disk store as the environment sets it). Medians, s.
struct TStartFigures {
  double FirstFrame = 0;
  double Settled = 0;
};
TStartFigures MeasureStart(const std::string& folder, int reps);
