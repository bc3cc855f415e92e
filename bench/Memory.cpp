#include "Memory.h"

#include <malloc.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>

namespace {

long StatusKiB(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':') {
      return std::stol(line.substr(length + 1));
    }
  }
  return -1;
}

}  // namespace

long ResidentKiB() { return StatusKiB("VmRSS"); }

long PeakResidentKiB() { return StatusKiB("VmHWM"); }

bool ResetPeakResident() {
  // "5" resets the peak resident set size (Linux 4.0 and later).
  FILE* f = std::fopen("/proc/self/clear_refs", "w");
  if (!f) return false;
  const bool ok = std::fputs("5", f) >= 0;
  return std::fclose(f) == 0 && ok;
}

void ReturnFreeMemory() { malloc_trim(0); }
