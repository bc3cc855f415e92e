#pragma once
// Slides already made, so that a view painted again decodes nothing. Kept by
// the identity of the file they show and the look they were made for, so a
// file rewritten, replaced or touched is made again; bounded in bytes, the
// slide drawn longest ago going first. Safe to use from any thread.
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "toolkit/FileData.h"
#include "toolkit/Graphics.h"

// How the grid draws a picture: the slide's size, the stretch mode and the
// device pixels to a pixel of the screen it is drawn for.
struct TSlideLook {
  int Size = 0;
  bool AntiAlias = false;
  int Ratio = 1;
  bool operator==(const TSlideLook&) const = default;
};

struct TSlideKey {
  TFileIdentity File;
  TSlideLook Look;
  bool operator==(const TSlideKey&) const = default;
};

struct TSlideKeyHash {
  std::size_t operator()(const TSlideKey& key) const noexcept;
};

using TSlideRef = std::shared_ptr<const TBitmap>;

// The store's size the environment asks for: GLIMMET_SLIDE_CACHE_MIB
// mebibytes, 64 unless it says otherwise; 0 turns the store off.
std::uint64_t DefaultSlideStoreBytes();

class TSlideStore {
 public:
  explicit TSlideStore(std::uint64_t capacityBytes) : FCapacity(capacityBytes) {}

  std::uint64_t Capacity() const { return FCapacity; }
  std::uint64_t Bytes() const;
  // The slide made for the key, now the one drawn last; null when none is kept.
  TSlideRef Find(const TSlideKey& key);
  // Keeps a slide, making room by dropping those drawn longest ago; one
  // larger than the whole store is not kept.
  void Add(const TSlideKey& key, TSlideRef slide);
  void Clear();

  // What a slide costs in the store.
  static std::uint64_t SlideBytes(const TBitmap& slide);

 private:
  struct TEntry {
    TSlideKey Key;
    TSlideRef Slide;
  };
  void Drop(std::list<TEntry>::iterator entry, std::list<TEntry>& dropped);

  mutable std::mutex FLock;
  std::list<TEntry> FEntries;  // the one drawn last first
  std::unordered_map<TSlideKey, std::list<TEntry>::iterator, TSlideKeyHash> FIndex;
  std::uint64_t FBytes = 0;
  const std::uint64_t FCapacity;
};
