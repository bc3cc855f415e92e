// From the upper-cased directory strings of the scan's results back to the
// directories that were really listed.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "Tesk_filesys.h"
#include "Tesk_filesys_dir.h"
#include "Tesk_filesys_listed.h"
#include "toolkit/SysUtils.h"

namespace {

std::mutex ListedMutex;
// Upper-cased directory -> the real directories the latest scan listed under
// it. Siblings that differ only in case share a key: one scan through both
// gives both, in the order listed; a later scan replaces them, as its files
// are the ones the caller now holds.
struct ListedUnderKey {
  unsigned Scan = 0;
  std::vector<std::string> Dirs;
};
std::map<std::string, ListedUnderKey> ListedDirs;
unsigned LastScan = 0;

bool Exists(const std::string& path) {
  struct stat st {};
  return lstat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListedUnder(const std::string& upperDir) {
  std::lock_guard lock(ListedMutex);
  const auto it = ListedDirs.find(upperDir);
  return it == ListedDirs.end() ? std::vector<std::string>() : it->second.Dirs;
}

std::vector<std::string> SplitComponents(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    const std::size_t slash = std::min(path.find('/', start), path.size());
    if (slash > start) parts.push_back(path.substr(start, slash - start));
    start = slash + 1;
  }
  return parts;
}

// Entries of dir, other than name itself, whose names equal name without
// regard to ASCII case.
std::vector<std::string> OtherCaseVariants(const std::string& dir, const std::string& name) {
  std::vector<std::string> found;
  const DirHandle d = OpenDirHandle(dir);
  if (!d) return found;
  const std::string key = AnsiUpperCaseAscii(name);
  while (const dirent* e = readdir(d.get())) {
    if (e->d_name != name && AnsiUpperCaseAscii(e->d_name) == key) found.emplace_back(e->d_name);
  }
  return found;
}

// Depth first over the case variants of each component, the exact spelling
// first, so a wrong guess at one level (the sibling "AB" instead of "ab")
// is taken back. Directories are read only when the exact spelling fails.
std::optional<std::string> WalkCaseInsensitive(const std::string& prefix, const std::vector<std::string>& parts,
                                               std::size_t i) {
  if (i == parts.size()) return prefix;
  const std::string& part = parts[i];
  const std::string tail = i + 1 == parts.size() ? "" : "/";
  if (part == "." || part == ".." || Exists(prefix + part)) {
    if (auto found = WalkCaseInsensitive(prefix + part + tail, parts, i + 1)) return found;
    if (part == "." || part == "..") return std::nullopt;
  }
  for (const std::string& variant : OtherCaseVariants(prefix, part)) {
    if (auto found = WalkCaseInsensitive((prefix + variant).append(tail), parts, i + 1)) return found;
  }
  return std::nullopt;
}

}  // namespace

unsigned BeginListing() {
  std::lock_guard lock(ListedMutex);
  return ++LastScan;
}

void RecordListedDir(const std::string& upperDir, const std::string& realDir, unsigned scan) {
  std::lock_guard lock(ListedMutex);
  ListedUnderKey& listed = ListedDirs[upperDir];
  if (listed.Scan != scan) listed = {scan, {}};
  if (std::find(listed.Dirs.begin(), listed.Dirs.end(), realDir) == listed.Dirs.end())
    listed.Dirs.push_back(realDir);
}

std::string ResolveListedPath(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return path;  // bare names lie in the current directory
  const std::string name = path.substr(slash + 1);
  const std::vector<std::string> listed = ListedUnder(path.substr(0, slash + 1));
  for (const std::string& dir : listed) {
    if (Exists(dir + name)) return dir + name;
  }
  // A listed file that has gone stays gone: an earlier listing of a folder
  // differing only in case, or a walk, would open another file.
  if (!listed.empty()) return listed.front() + name;
  const std::string root = path[0] == '/' ? "/" : "";
  if (auto walked = WalkCaseInsensitive(root, SplitComponents(path), 0)) {
    if (path.back() == '/' && walked->back() != '/') *walked += '/';
    return *walked;
  }
  return path;
}
