#include "app/pictures/SlideDiskStore.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "app/MemorySettings.h"

namespace {

constexpr std::uint64_t kDefaultMiB = 256;
constexpr const char* kSuffix = ".slide";
constexpr const char* kTemporaryPrefix = ".new-";
// A temporary entry this old was left by a program that ended mid-write.
constexpr std::int64_t kStaleTemporaryNs = std::int64_t(600) * 1'000'000'000;
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;

std::int64_t NowNs() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return Nanoseconds(now);
}

bool EndsWith(const std::string& s, const std::string& end) {
  return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The folder at this absolute path, opened level by level. A missing level
// at or after makeFrom is made 0700 and then opened without following a
// link, so that a link swapped in for a level just made is refused; -1 when
// a level cannot be opened or made.
int OpenMakingLevels(const std::string& path, std::size_t makeFrom) {
  std::vector<std::string> levels;
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t end = std::min(path.find('/', at), path.size());
    if (end > at) levels.push_back(path.substr(at, end - at));
    at = end + 1;
  }
  int dir = open("/", kFolderFlags);
  for (std::size_t i = 0; i < levels.size() && dir >= 0; ++i) {
    int next = openat(dir, levels[i].c_str(), kFolderFlags);
    if (next < 0 && errno == ENOENT && i >= makeFrom &&
        (mkdirat(dir, levels[i].c_str(), 0700) == 0 || errno == EEXIST)) {
      next = openat(dir, levels[i].c_str(), kFolderFlags | O_NOFOLLOW);
    }
    close(dir);
    dir = next;
  }
  return dir;
}

// Ours alone: a folder (no link) owned by this user that no one else may
// use, 0700 or stricter.
bool PrivateFolder(int fd) {
  struct stat st {};
  return fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid() && (st.st_mode & 077) == 0;
}

std::string TemporaryName() {
  std::uint64_t bits = 0;
  if (getrandom(&bits, sizeof bits, GRND_NONBLOCK) != ssize_t(sizeof bits)) {
    bits = std::uint64_t(NowNs()) ^ (std::uint64_t(getpid()) << 40);
  }
  char name[32];
  std::snprintf(name, sizeof name, "%s%016llx", kTemporaryPrefix, static_cast<unsigned long long>(bits));
  return name;
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

std::string DefaultSlideDiskFolder() {
  if (const char* cache = std::getenv("XDG_CACHE_HOME"); cache && cache[0] == '/') {
    return std::string(cache) + "/glimmet";
  }
  if (const char* home = std::getenv("HOME"); home && home[0] == '/') return std::string(home) + "/.cache/glimmet";
  return {};
}

std::uint64_t DefaultSlideDiskBytes() { return MebibytesAsked("GLIMMET_DISK_CACHE_MIB", kDefaultMiB); }

TSlideDiskStore::TSlideDiskStore(std::string folder, std::uint64_t capacityBytes, TClock clock)
    : FFolder(std::move(folder)), FCapacity(FFolder.empty() ? 0 : capacityBytes), FClock(std::move(clock)) {}

std::uint64_t TSlideDiskStore::Bytes() const {
  const std::lock_guard lock(FLock);
  return FBytes;
}

// A missing $XDG_CACHE_HOME is made with its missing parents, 0700, as the
// XDG convention says; ~/.cache only inside an existing home. Any doubt
// about the folder means memory only.
bool TSlideDiskStore::Usable() {
  if (FOpened) return FDir.has_value();
  FOpened = true;
  const std::size_t slash = FFolder.rfind('/');
  if (FCapacity == 0 || FFolder[0] != '/' || slash == FFolder.size() - 1) return false;
  const std::string parent = FFolder.substr(0, slash), name = FFolder.substr(slash + 1);
  const char* cacheHome = std::getenv("XDG_CACHE_HOME");
  const bool named = cacheHome && cacheHome[0] == '/';
  const std::size_t levels = std::size_t(std::count(parent.begin(), parent.end(), '/'));
  const TFileDescriptor cache(OpenMakingLevels(parent, named || levels == 0 ? 0 : levels - 1));
  if (cache.Get() < 0) return false;
  mkdirat(cache.Get(), name.c_str(), 0700);
  const int fd = openat(cache.Get(), name.c_str(), kFolderFlags | O_NOFOLLOW);
  if (fd < 0) return false;
  FDir.emplace(fd);
  if (!PrivateFolder(fd)) {
    FDir.reset();
    return false;
  }
  List();
  return true;
}

void TSlideDiskStore::List() {
  FKnown.clear();
  FBytes = 0;
  // A listing of its own, so the held descriptor's position never matters.
  const int copy = openat(FDir->Get(), ".", kFolderFlags);
  DIR* dir = copy >= 0 ? fdopendir(copy) : nullptr;
  if (!dir) {
    if (copy >= 0) close(copy);
    return;
  }
  const std::int64_t now = NowNs();
  while (const dirent* e = readdir(dir)) {
    const std::string name = e->d_name;
    struct stat st {};
    if (fstatat(FDir->Get(), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (name.rfind(kTemporaryPrefix, 0) == 0) {
      if (now - Nanoseconds(st.st_mtim) > kStaleTemporaryNs) unlinkat(FDir->Get(), name.c_str(), 0);
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
  int folder = -1;  // once open, held until the store goes
  {
    const std::lock_guard lock(FLock);
    if (!Usable()) return nullptr;
    folder = FDir->Get();
  }
  const std::string name = DiskSlideEntryName(key);
  const TFileDescriptor fd(openat(folder, name.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
  struct stat st {};
  // Nothing there, or no file (a folder, a link, a pipe): left as it is.
  if (fd.Get() < 0 || fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
  TSlideRef slide;
  // Larger than any entry of the key: refused unread.
  if (std::uint64_t(st.st_size) <= MaxDiskSlideEntryBytes(key)) {
    std::vector<std::uint8_t> entry(std::size_t(st.st_size));
    if (pread(fd.Get(), entry.data(), entry.size(), 0) == ssize_t(entry.size()))
      slide = DecodeDiskSlide(entry, key);
  }
  const std::lock_guard lock(FLock);
  if (!slide) {
    // Not whole, another key's or of no slide's size: made afresh and
    // written anew. Removed only while the name holds the file read, not an
    // entry another program has just put there.
    struct stat now {};
    if (fstatat(folder, name.c_str(), &now, AT_SYMLINK_NOFOLLOW) == 0 && now.st_ino == st.st_ino &&
        now.st_dev == st.st_dev)
      unlinkat(folder, name.c_str(), 0);
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
  int folder = -1;
  {
    const std::lock_guard lock(FLock);
    if (!Usable()) return;
    if (FWritesPausedUntil && FClock() < *FWritesPausedUntil) return;
    FWritesPausedUntil.reset();
    folder = FDir->Get();
  }
  const std::vector<std::uint8_t> entry = EncodeDiskSlide(key, slide);
  if (entry.empty() || entry.size() > FCapacity) return;
  std::string temporary = TemporaryName();
  int made = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (made < 0 && errno == EEXIST) {
    temporary = TemporaryName();
    made = openat(folder, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  }
  const TFileDescriptor fd(made);
  const bool written = fd.Get() >= 0 && WriteAll(fd.Get(), entry);
  const std::string name = DiskSlideEntryName(key);
  const std::lock_guard lock(FLock);
  if (written && renameat(folder, temporary.c_str(), folder, name.c_str()) == 0) {
    Note(name, entry.size());
    if (FBytes > FCapacity) MakeRoom();
    return;
  }
  const int error = errno;
  if (fd.Get() >= 0) unlinkat(folder, temporary.c_str(), 0);
  // A folder at the entry's name keeps out that entry alone.
  if (written && error == EISDIR) return;
  // Read-only, full or gone: memory only for a while, then tried again.
  FWritesPausedUntil = FClock() + WritePause;
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
    unlinkat(FDir->Get(), name.c_str(), 0);
    Forget(name);
  }
}
