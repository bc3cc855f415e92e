#pragma once
// Slides kept across runs, in the user's cache folder: the one place the
// program writes. An entry holds one slide's exact pixels, its whole key with
// the file's full path, and a checksum over all of it (SlideDiskEntry.h); its
// file name is a hash of the key. What fails to read back as written, carries
// another key or a size no slide of the key can have, is removed. Entries are
// written under a temporary name and renamed, so a crash or a second program
// leaves only whole entries. Bounded in bytes: when over, the entries used
// longest ago (their modification time, renewed at each use) go first.
//
// The folder is held, not named: opened once without following a link,
// checked through that descriptor, and every later listing, open, rename and
// removal is made relative to it, so a link swapped in for the folder or for
// an entry is never followed.
//
// Threads: every member may be called from any thread and locks as it
// needs; the constructor touches no file. The decoding workers are the only
// callers (see TSlideSupply): the folder is opened, checked and listed at the
// first Find or Add, so the GUI thread never waits for the disk.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "app/pictures/SlideDiskEntry.h"
#include "toolkit/FileData.h"

// $XDG_CACHE_HOME/glimmet, or ~/.cache/glimmet when that is unset (or not an
// absolute path); empty when neither can be named.
std::string DefaultSlideDiskFolder();
// GLIMMET_DISK_CACHE_MIB mebibytes, 256 unless it says otherwise; 0 turns
// the disk store off.
std::uint64_t DefaultSlideDiskBytes();

class TSlideDiskStore {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // After a refused write nothing is written for this long.
  static constexpr std::chrono::seconds WritePause{60};

  TSlideDiskStore(std::string folder, std::uint64_t capacityBytes, TClock clock = std::chrono::steady_clock::now);
  TSlideDiskStore(const TSlideDiskStore&) = delete;
  TSlideDiskStore& operator=(const TSlideDiskStore&) = delete;

  std::uint64_t Capacity() const { return FCapacity; }
  // The slide kept for the key, now the one used last; null when none is
  // kept, the folder cannot be used, or the entry is not whole, not the
  // key's own or of a size no slide of the key has (such an entry is
  // removed; anything but a file at its name is left alone).
  TSlideRef Find(const TDiskSlideKey& key);
  // Keeps the slide for the key, making room by removing the entries used
  // longest ago. A folder that refuses a write is not written for a while
  // (WritePause); a folder at the entry's name only keeps that entry out.
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
  const TClock FClock;
  mutable std::mutex FLock;
  bool FOpened = false;
  std::optional<TFileDescriptor> FDir;  // the folder once opened and found ours
  std::optional<std::chrono::steady_clock::time_point> FWritesPausedUntil;
  std::unordered_map<std::string, TKnown> FKnown;  // entry name -> size and last use
  std::uint64_t FBytes = 0;
};
