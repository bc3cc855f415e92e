#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>
#include <type_traits>
#include <utility>

#include "Graphics.h"
#include "SysUtils.h"

namespace {

// Pictures are decoded one after another into stores of much the same size,
// each freed as the next one comes. Fresh memory reaches a process page by
// page, each page a fault, and for a decoded photograph that costs a good
// part of the decoding itself. So the last large store freed is kept for the
// next large one to take over; smaller stores come and go through the heap,
// and huge ones (a refused giant picture) straight back to the system.
constexpr std::size_t kKeptStoreMinBytes = std::size_t(1) << 20;
constexpr std::size_t kKeptStoreMaxBytes = std::size_t(256) << 20;  // 64 megapixels

class TKeptStore {
 public:
  // The kept block when it holds bytes and is at most twice as large (so a
  // small picture does not pin a huge block), else null; for 0 bytes
  // whatever is kept. Either way nothing stays kept.
  void* Take(std::size_t bytes) {
    void* block = Exchange(nullptr);
    if (!block || bytes == 0) return block;
    const std::size_t capacity = malloc_usable_size(block);
    if (capacity >= bytes && capacity / 2 <= bytes) return block;
    std::free(block);
    return nullptr;
  }

  // Keeps a large block in place of the one kept before; frees others.
  void Keep(void* block) {
    const std::size_t capacity = malloc_usable_size(block);
    if (!On || capacity < kKeptStoreMinBytes || capacity > kKeptStoreMaxBytes) {
      std::free(block);
      return;
    }
    std::free(Exchange(block));
  }

  std::atomic<bool> On{true};

 private:
  void* Exchange(void* block) {
    std::lock_guard lock(FLock);
    return std::exchange(FBlock, block);
  }

  std::mutex FLock;
  void* FBlock = nullptr;
};

// Set up before and never torn down, so stores that static objects free at
// exit still find it.
static_assert(std::is_trivially_destructible_v<TKeptStore>);
constinit TKeptStore KeptStore;

// A large store takes the kept block when it fits, cleared only if black is
// wanted. Otherwise unset stores come uncleared from the heap, except huge
// ones: calloc gives those zeroed, fresh from the system without a page
// touched, so a refused giant picture costs no memory.
void* AllocatePixels(std::size_t bytes, TPixelInit init, bool& black) {
  const bool large = KeptStore.On && bytes >= kKeptStoreMinBytes;
  if (void* kept = large ? KeptStore.Take(bytes) : nullptr) {
    black = init == TPixelInit::Black;
    if (black) std::memset(kept, 0, bytes);
    return kept;
  }
  black = init == TPixelInit::Black || bytes > kKeptStoreMaxBytes;
  return black ? std::calloc(bytes / sizeof(std::uint32_t), sizeof(std::uint32_t)) : std::malloc(bytes);
}

}  // namespace

void TPixelStore::FreeDeleter::operator()(std::uint32_t* p) const { KeptStore.Keep(p); }

namespace {

// Resident bytes, from /proc/self/statm; 0 when it cannot be read.
std::uint64_t ResidentBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "re");
  if (!f) return 0;
  unsigned long long size = 0, resident = 0;
  const bool read = std::fscanf(f, "%llu %llu", &size, &resident) == 2;
  std::fclose(f);
  return read ? resident * std::uint64_t(sysconf(_SC_PAGESIZE)) : 0;
}

// Fresh memory reaches the process a page at a time, each page a fault that
// on a virtual machine can cost microseconds: the heaps are trimmed only once
// the program has grown by this much since they last were, so browsing small
// pictures reuses its few megabytes while large ones give theirs back.
constexpr std::uint64_t kUntrimmedGrowth = std::uint64_t(32) << 20;
std::mutex TrimLock;
std::uint64_t ResidentAfterTrim = 0;  // guarded by TrimLock

}  // namespace

void KeepFreedPixelStores(bool on) {
  KeptStore.On = on;
  if (!on) std::free(KeptStore.Take(0));
}

void ReturnFreePixelMemory() {
  std::free(KeptStore.Take(0));
  // One trim at a time; a second one at once would find nothing to give
  // back. Under a sanitizer, whose allocator stands in for glibc's, the
  // first trim also sets up glibc's unused heap, and two threads doing so
  // at once crash in it.
  const std::unique_lock trimming(TrimLock, std::try_to_lock);
  if (!trimming.owns_lock()) return;
  const std::uint64_t resident = ResidentBytes();
  if (KeptStore.On && ResidentAfterTrim != 0 && resident != 0 && resident < ResidentAfterTrim + kUntrimmedGrowth)
    return;
  // Freed memory can stay with the heap of the thread that used it.
  malloc_trim(0);
  ResidentAfterTrim = std::max<std::uint64_t>(ResidentBytes(), 1);
}

TPixelStore::TPixelStore(int width, int height, TPixelInit init)
    : Width(std::max(width, 0)), Height(std::max(height, 0)) {
  const std::size_t count = std::size_t(Width) * std::size_t(Height);
  if (count == 0) return;
  if (count > SIZE_MAX / sizeof(std::uint32_t)) throw EOutOfMemory("Out of memory");
  void* p = AllocatePixels(count * sizeof(std::uint32_t), init, MadeBlack);
  if (!p) throw EOutOfMemory(Format("Out of memory for a bitmap of %d x %d pixels", Width, Height));
  Pixels.reset(static_cast<std::uint32_t*>(p));
}

std::uint32_t ColorToPixel(TColor c) {
  const TColor rgb = ColorToRGB(c);
  return 0xFF000000u | (std::uint32_t(GetRValue(rgb)) << 16) | (std::uint32_t(GetGValue(rgb)) << 8) |
         GetBValue(rgb);
}

TColor PixelToColor(std::uint32_t pixel) {
  return RGB(int((pixel >> 16) & 0xFF), int((pixel >> 8) & 0xFF), int(pixel & 0xFF));
}

TBitmap::TBitmap() : FStore(std::make_shared<TPixelStore>(0, 0)) {}

TBitmap::TBitmap(int width, int height, TPixelInit init)
    : FStore(std::make_shared<TPixelStore>(width, height, init)) {}

TBitmap::~TBitmap() = default;

void TBitmap::Reset(int width, int height) { FStore = std::make_shared<TPixelStore>(width, height); }

void TBitmap::SetSize(int width, int height) {
  width = std::max(width, 0);
  height = std::max(height, 0);
  if (width == Width() && height == Height()) return;
  auto store = std::make_shared<TPixelStore>(width, height);
  const int w = std::min(width, Width());
  // No rows to keep when either width is 0 (a 0-wide store has no pixels).
  const int h = w > 0 ? std::min(height, Height()) : 0;
  for (int y = 0; y < h; ++y) {
    std::memcpy(store->Pixels.get() + std::size_t(y) * std::size_t(width), ScanLine(y), std::size_t(w) * 4);
  }
  FStore = std::move(store);
}

std::uint32_t* TBitmap::MutableBits() {
  if (FStore.use_count() > 1) {
    auto copy = std::make_shared<TPixelStore>(Width(), Height(), TPixelInit::Unset);  // every pixel is copied
    std::memcpy(copy->Pixels.get(), FStore->Pixels.get(), std::size_t(Width()) * std::size_t(Height()) * 4);
    FStore = std::move(copy);
  }
  return FStore->Pixels.get();
}

TCanvas& TBitmap::Canvas() {
  if (!FCanvas) FCanvas = std::make_unique<TCanvas>(*this);
  return *FCanvas;
}

void TBitmap::Assign(const TPersistent* Source) {
  if (const auto* bitmap = dynamic_cast<const TBitmap*>(Source)) {
    if (bitmap != this) {
      FStore = bitmap->FStore;
      PixelFormat = bitmap->PixelFormat;
    }
    if (OnChange) OnChange();
    return;
  }
  TPersistent::Assign(Source);
}
