#include "app/pictures/SlideStore.h"

#include <functional>
#include <utility>

#include "app/MemorySettings.h"

namespace {

constexpr std::uint64_t kDefaultStoreMiB = 64;
// A bitmap's bookkeeping beside its pixels.
constexpr std::uint64_t kSlideOverheadBytes = 256;

}  // namespace

std::uint64_t DefaultSlideStoreBytes() { return MebibytesAsked("GLIMMET_SLIDE_CACHE_MIB", kDefaultStoreMiB); }

std::uint64_t TSlideStore::SlideBytes(const TBitmap& slide) {
  return std::uint64_t(slide.Width()) * std::uint64_t(slide.Height()) * 4 + kSlideOverheadBytes;
}

std::uint64_t TSlideStore::Bytes() const {
  const std::lock_guard lock(FLock);
  return FBytes;
}

std::size_t TSlideKeyHash::operator()(const TSlideKey& key) const noexcept {
  std::size_t h = 0;
  for (const std::uint64_t part :
       {key.File.Device, key.File.Inode, std::uint64_t(key.File.Size), std::uint64_t(key.File.ModifiedNs),
        std::uint64_t(key.File.ChangedNs), std::uint64_t(key.Look.Size), std::uint64_t(key.Look.AntiAlias),
        std::uint64_t(key.Look.Ratio)}) {
    h = (h ^ std::hash<std::uint64_t>{}(part)) * 0x100000001b3u;
  }
  return h;
}

TSlideRef TSlideStore::Find(const TSlideKey& key) {
  const std::lock_guard lock(FLock);
  const auto found = FIndex.find(key);
  if (found == FIndex.end()) return nullptr;
  FEntries.splice(FEntries.begin(), FEntries, found->second);
  return found->second->Slide;
}

// With FLock held; the entry's slide is freed with `dropped`, outside it.
void TSlideStore::Drop(std::list<TEntry>::iterator entry, std::list<TEntry>& dropped) {
  FBytes -= SlideBytes(*entry->Slide);
  FIndex.erase(entry->Key);
  dropped.splice(dropped.end(), FEntries, entry);
}

void TSlideStore::Add(const TSlideKey& key, TSlideRef slide) {
  const std::uint64_t bytes = SlideBytes(*slide);
  std::list<TEntry> dropped;  // freed outside the lock
  const std::lock_guard lock(FLock);
  if (bytes > FCapacity) return;
  if (const auto same = FIndex.find(key); same != FIndex.end()) Drop(same->second, dropped);
  while (FBytes + bytes > FCapacity) Drop(std::prev(FEntries.end()), dropped);
  FEntries.push_front({key, std::move(slide)});
  FIndex.emplace(key, FEntries.begin());
  FBytes += bytes;
}

void TSlideStore::Clear() {
  std::list<TEntry> dropped;
  const std::lock_guard lock(FLock);
  dropped.swap(FEntries);
  FIndex.clear();
  FBytes = 0;
}
