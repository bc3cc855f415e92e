#include "app/MemorySettings.h"

#include <malloc.h>

#include <algorithm>
#include <cstdlib>

namespace {

// glibc raises its mapping threshold (up to 32 MiB) each time a mapped block
// is freed, after which the workers' row bands and slides come from their
// own arenas and stay there when freed: idle memory then grew with the
// worker count. Fixed, every block this large is mapped and given back at
// once. Measured with glimmet-bench --only idle, added idle memory after ten
// wheel bursts, 2 and 8 workers: unset 48.0 and 78.0 MiB (25-60 apart over
// runs); at most 2 arenas 25.1 and 35.6; this threshold -0.3 and -0.1;
// both -0.1 and 0.5. Paints cost the same.
constexpr int kMapThresholdBytes = 128 << 10;
// Far above any setting, far below what overflows a byte count.
constexpr std::uint64_t kMaxMiB = std::uint64_t(1) << 20;

}  // namespace

void SetUpAllocator() { mallopt(M_MMAP_THRESHOLD, kMapThresholdBytes); }

std::uint64_t MebibytesAsked(const char* variable, std::uint64_t defaultMiB) {
  std::uint64_t mib = defaultMiB;
  if (const char* asked = std::getenv(variable); asked && *asked) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(asked, &end, 10);
    if (end && *end == '\0' && asked[0] != '-') mib = std::min<std::uint64_t>(value, kMaxMiB);
  }
  return mib << 20;
}
