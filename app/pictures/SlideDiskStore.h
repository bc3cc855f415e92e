#pragma once
// Slides kept across runs, in the user's cache folder: the one place the
// program writes. An entry holds one slide's exact pixels (byte planes less
// their left neighbour, zstd-compressed: the smallest of the measured
// choices, and quick to read back), its whole key with the file's full path,
// and a checksum over all of it; its file name is a hash of the key. What
// fails to read back as written, or carries another key, is removed. Entries
// are written under a temporary name and renamed, so a crash or a second
// program leaves only whole entries. Bounded in bytes: when over, the entries
// used longest ago (their modification time, renewed at each use) go first.
//
// Threads: every member may be called from any thread and locks as it
// needs; the constructor touches no file. The decoding workers are the only
// callers (see TSlideSupply): the folder is opened, checked and listed at the
// first Find or Add, so the GUI thread never waits for the disk.
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>

#include "app/pictures/SlideStore.h"

struct TDiskSlideKey {
  TSlideKey Slide;
  std::string Path;     // the file's full path
  int ScreenBits = 32;  // the screen's bits per pixel (8 bits quantise)
};

// The disk key of a slide made from the file opened by this path (made
// absolute), for a screen of this many bits per pixel.
TDiskSlideKey DiskSlideKey(const TSlideKey& key, const std::string& pathOpened, int screenBits);

// $XDG_CACHE_HOME/glimmet, or ~/.cache/glimmet when that is unset (or not an
// absolute path); empty when neither can be named.
std::string DefaultSlideDiskFolder();
// GLIMMET_DISK_CACHE_MIB mebibytes, 256 unless it says otherwise; 0 turns
// the disk store off.
std::uint64_t DefaultSlideDiskBytes();

class TSlideDiskStore {
 public:
  TSlideDiskStore(std::string folder, std::uint64_t capacityBytes);
  TSlideDiskStore(const TSlideDiskStore&) = delete;
  TSlideDiskStore& operator=(const TSlideDiskStore&) = delete;

  std::uint64_t Capacity() const { return FCapacity; }
  // The slide kept for the key, now the one used last; null when none is
  // kept, the folder cannot be used, or the entry is not whole and the
  // key's own (such an entry is removed).
  TSlideRef Find(const TDiskSlideKey& key);
  // Keeps the slide for the key, making room by removing the entries used
  // longest ago. A folder that refuses a write is not written again.
  void Add(const TDiskSlideKey& key, const TBitmap& slide);
  // The bytes of the entries this program knows of in the folder.
  std::uint64_t Bytes() const;

 private:
  struct TKnown {
    std::uint64_t Bytes = 0;
    std::int64_t UsedNs = 0;
  };
  // With FLock held:
  bool Usable();  // opens the folder at first use
  void Forget(const std::string& name);
  void Note(const std::string& name, std::uint64_t bytes);  // used now
  void List();
  void MakeRoom();

  const std::string FFolder;
  const std::uint64_t FCapacity;
  mutable std::mutex FLock;
  bool FOpened = false;
  bool FUsable = false;
  bool FWritable = true;
  std::unordered_map<std::string, TKnown> FKnown;  // entry name -> size and last use
  std::uint64_t FBytes = 0;
};
