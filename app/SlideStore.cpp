#include "app/SlideStore.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::uint64_t kDefaultStoreMiB = 64;
// Far above any screenful, far below what overflows the byte count.
constexpr std::uint64_t kMaxStoreMiB = std::uint64_t(1) << 20;
// A bitmap's bookkeeping beside its pixels.
constexpr std::uint64_t kSlideOverheadBytes = 256;

}  // namespace

std::uint64_t DefaultSlideStoreBytes() {
  std::uint64_t mib = kDefaultStoreMiB;
  if (const char* asked = std::getenv("GLIMMET_SLIDE_CACHE_MIB"); asked && *asked) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(asked, &end, 10);
    if (end && *end == '\0' && asked[0] != '-') mib = std::min<std::uint64_t>(value, kMaxStoreMiB);
  }
  return mib << 20;
}

std::uint64_t TSlideStore::SlideBytes(const TBitmap& slide) {
  return std::uint64_t(slide.Width()) * std::uint64_t(slide.Height()) * 4 + kSlideOverheadBytes;
}

std::uint64_t TSlideStore::Bytes() const {
  const std::lock_guard lock(FLock);
  return FBytes;
}

TSlideRef TSlideStore::Find(const TSlideKey& key) {
  const std::lock_guard lock(FLock);
  const auto it = std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& e) { return e.Key == key; });
  if (it == FEntries.end()) return nullptr;
  FEntries.splice(FEntries.begin(), FEntries, it);
  return it->Slide;
}

void TSlideStore::Add(const TSlideKey& key, TSlideRef slide) {
  const std::uint64_t bytes = SlideBytes(*slide);
  std::list<TEntry> dropped;  // freed outside the lock
  const std::lock_guard lock(FLock);
  if (bytes > FCapacity) return;
  const auto same = std::find_if(FEntries.begin(), FEntries.end(), [&](const TEntry& e) { return e.Key == key; });
  if (same != FEntries.end()) {
    FBytes -= SlideBytes(*same->Slide);
    dropped.splice(dropped.end(), FEntries, same);
  }
  while (FBytes + bytes > FCapacity) {
    FBytes -= SlideBytes(*FEntries.back().Slide);
    dropped.splice(dropped.end(), FEntries, std::prev(FEntries.end()));
  }
  FEntries.push_front({key, std::move(slide)});
  FBytes += bytes;
}

void TSlideStore::Clear() {
  std::list<TEntry> dropped;
  const std::lock_guard lock(FLock);
  dropped.swap(FEntries);
  FBytes = 0;
}
