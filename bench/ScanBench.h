#pragma once
#include "Timing.h"

// ScanFilesIntoList of a folder of 100,000 files (a tenth of them *.jpg)
// with "*.jpg", against a bare opendir/readdir/fnmatch loop that gathers the
// same paths. Throws std::runtime_error when the two disagree on the count.
TMedians MeasureScanAgainstReaddir(int reps, TClock clock);
