#pragma once
// Resident memory of this process, from /proc/self/status.

// Current resident set in KiB (VmRSS); -1 when it cannot be read.
long ResidentKiB();
// Highest resident set since start or the last reset, in KiB (VmHWM).
long PeakResidentKiB();
// Starts the peak anew from the current resident set; false when the kernel
// refuses (the peak then counts from the process's start).
bool ResetPeakResident();
// Hands freed heap memory back to the system, so that what was freed before
// a measurement does not serve the allocations made during it.
void ReturnFreeMemory();
