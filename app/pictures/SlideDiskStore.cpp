#include "app/pictures/SlideDiskStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/pictures/SlideDiskEntry.h"
#include "toolkit/FileData.h"
#include "toolkit/Forms.h"
#include "toolkit/SysUtils.h"

namespace {

constexpr std::uint64_t kDefaultMiB = 256;
constexpr std::uint64_t kMaxMiB = std::uint64_t(1) << 20;
// Entries larger than this are not read: none is written so large.
constexpr std::uint64_t kMaxEntryBytes = std::uint64_t(320) << 20;
constexpr const char* kSuffix = ".slide";
constexpr const char* kTemporaryPrefix = ".new-";
// A temporary entry this old was left by a program that ended mid-write.
constexpr std::int64_t kStaleTemporaryNs = std::int64_t(600) * 1'000'000'000;

std::int64_t Nanoseconds(const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// Ours alone: a real folder (no link), owned by this user, that no one else
// may write to.
bool PrivateFolder(const std::string& folder) {
  const TFileDescriptor fd(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  return fd.Get() >= 0 && fstat(fd.Get(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool WriteAll(int fd, const std::vector<std::uint8_t>& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += std::size_t(n);
  }
  return true;
}

}  // namespace

TDiskSlideKey DiskSlideKey(const TSlideKey& key, const std::string& pathOpened, int screenBits) {
  return {key, ExpandFileName(pathOpened), screenBits};
}

std::string DefaultSlideDiskFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
    return std::string(cache) + "/glimmet";
  }
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.cache/glimmet";
  return {};
}

std::uint64_t DefaultSlideDiskBytes() {
  std::uint64_t mib = kDefaultMiB;
  if (const char* asked = std::getenv("GLIMMET_DISK_CACHE_MIB"); asked && *asked) {
    char* end = nullptr;
    const unsigned long long value = std::strtoull(asked, &end, 10);
    if (end && *end == '\0' && asked[0] != '-') mib = std::min<std::uint64_t>(value, kMaxMiB);
  }
  return mib << 20;
}

TSlideDiskStore::TSlideDiskStore(std::string folder, std::uint64_t capacityBytes)
    : FFolder(std::move(folder)), FCapacity(FFolder.empty() ? 0 : capacityBytes) {}

std::uint64_t TSlideDiskStore::Bytes() const {
  const std::lock_guard lock(FLock);
  return FBytes;
}

// The folder is made only inside a cache folder that exists (~/.cache is
// made when it is the one named by default); any doubt means memory only.
bool TSlideDiskStore::Usable() {
  if (FOpened) return FUsable;
  FOpened = true;
  if (FCapacity == 0) return false;
  const std::string parent = FFolder.substr(0, FFolder.rfind('/'));
  if (!std::getenv("XDG_CACHE_HOME") || std::getenv("XDG_CACHE_HOME")[0] != '/') mkdir(parent.c_str(), 0700);
  struct stat st {};
  if (stat(parent.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  mkdir(FFolder.c_str(), 0700);
  FUsable = PrivateFolder(FFolder);
  if (FUsable) List();
  return FUsable;
}

void TSlideDiskStore::List() {
  FKnown.clear();
  FBytes = 0;
  DIR* dir = opendir(FFolder.c_str());
  if (!dir) return;
  const std::int64_t now = NowNs();
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    struct stat st {};
    if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (name.rfind(kTemporaryPrefix, 0) == 0) {
      if (now - Nanoseconds(st.st_mtim) > kStaleTemporaryNs) unlinkat(dirfd(dir), name.c_str(), 0);
    } else if (EndsWith(name, kSuffix)) {
      FKnown[name] = {std::uint64_t(st.st_size), Nanoseconds(st.st_mtim)};
      FBytes += std::uint64_t(st.st_size);
    }
  }
  closedir(dir);
}

void TSlideDiskStore::Forget(const std::string& name) {
  const auto known = FKnown.find(name);
  if (known == FKnown.end()) return;
  FBytes -= known->second.Bytes;
  FKnown.erase(known);
}

TSlideRef TSlideDiskStore::Find(const TDiskSlideKey& key) {
  {
    const std::lock_guard lock(FLock);
    if (!Usable()) return nullptr;
  }
  const std::string name = DiskSlideEntryName(key);
  const std::string path = FFolder + "/" + name;
  const TFileDescriptor fd(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0) return nullptr;
  TSlideRef slide;
  if (S_ISREG(st.st_mode) && std::uint64_t(st.st_size) <= kMaxEntryBytes) {
    std::vector<std::uint8_t> entry(std::size_t(st.st_size));
    if (pread(fd.Get(), entry.data(), entry.size(), 0) == ssize_t(entry.size()))
      slide = DecodeDiskSlide(entry, key);
  }
  const std::lock_guard lock(FLock);
  if (!slide) {
    // Not whole, or another key's: made afresh and written anew.
    if (S_ISREG(st.st_mode)) unlink(path.c_str());
    Forget(name);
    return nullptr;
  }
  // Used now: the entries used longest ago go first.
  const timespec times[2] = {{0, UTIME_OMIT}, {0, UTIME_NOW}};
  futimens(fd.Get(), times);
  Note(name, std::uint64_t(st.st_size));
  return slide;
}

void TSlideDiskStore::Note(const std::string& name, std::uint64_t bytes) {
  Forget(name);
  FKnown[name] = {bytes, NowNs()};
  FBytes += bytes;
}

void TSlideDiskStore::Add(const TDiskSlideKey& key, const TBitmap& slide) {
  {
    const std::lock_guard lock(FLock);
    if (!Usable() || !FWritable) return;
  }
  const std::vector<std::uint8_t> entry = EncodeDiskSlide(key, slide);
  if (entry.empty() || entry.size() > FCapacity) return;
  std::string temporary = FFolder + "/" + kTemporaryPrefix + "XXXXXX";
  const TFileDescriptor fd(mkostemp(temporary.data(), O_CLOEXEC));  // made 0600
  const bool written = fd.Get() >= 0 && WriteAll(fd.Get(), entry);
  const std::string name = DiskSlideEntryName(key);
  const std::lock_guard lock(FLock);
  if (!written || rename(temporary.c_str(), (FFolder + "/" + name).c_str()) != 0) {
    // Read-only, full or gone: memory only from now on, without retrying.
    if (fd.Get() >= 0) unlink(temporary.c_str());
    FWritable = false;
    return;
  }
  Note(name, entry.size());
  if (FBytes > FCapacity) MakeRoom();
}

// Lists the folder afresh (another program may share it) and removes the
// entries used longest ago until an eighth of the store is free, so that
// listing stays rare.
void TSlideDiskStore::MakeRoom() {
  List();
  std::vector<std::pair<std::int64_t, std::string>> byUse;
  byUse.reserve(FKnown.size());
  for (const auto& [name, known] : FKnown) byUse.emplace_back(known.UsedNs, name);
  std::sort(byUse.begin(), byUse.end());
  const std::uint64_t goal = FCapacity - FCapacity / 8;
  for (const auto& [used, name] : byUse) {
    if (FBytes <= goal) break;
    unlink((FFolder + "/" + name).c_str());
    Forget(name);
  }
}
