#include "Tesk_filesys.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "Tesk_filesys_dir.h"
#include "Tesk_filesys_listed.h"
#include "toolkit/SysUtils.h"

namespace {

inline char FoldAscii(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }
inline bool IsContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Wildcards '*' (any run) and '?' (one character); everything else, '['
// included, is literal. ASCII letters match in either case.
bool MatchesPattern(const char* pattern, const char* name) {
  const char* starP = nullptr;
  const char* starN = nullptr;
  while (*name) {
    if (*pattern == '*') {
      starP = ++pattern;
      starN = name;
    } else if (*pattern == '?' || (*pattern && FoldAscii(*pattern) == FoldAscii(*name))) {
      const bool any = *pattern == '?';
      ++pattern;
      ++name;
      while (any && IsContinuationByte(*name)) ++name;  // '?' takes a whole UTF-8 character
    } else if (starP) {
      pattern = starP;  // let the last '*' take one more byte
      name = ++starN;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == '\0';
}

std::string OpenablePath(const std::string& realDir) { return realDir.empty() ? "." : realDir; }

class Scanner {
 public:
  Scanner(bool includeSubdirs, TStringList& list, TScanProgressProc progress)
      : FIncludeSubdirs(includeSubdirs), FList(list), FProgress(progress), FScan(BeginListing()) {}

  // The top level: upperDir is what the results show, realDir what is opened.
  void ScanTop(const std::string& upperDir, const std::string& realDir, const std::string& pattern) {
    ReportProgress(upperDir);  // also for a directory that does not exist
    if (EnterOnce(realDir)) ScanEntered(upperDir, realDir, pattern);
  }

 private:
  void ScanEntered(const std::string& upperDir, const std::string& realDir, const std::string& pattern) {
    ListFiles(upperDir, realDir, pattern);
    if (!FIncludeSubdirs) return;
    for (const std::string& name : VisibleSubdirs(realDir)) {
      const std::string subReal = realDir + name + "/";
      if (!EnterOnce(subReal)) continue;  // seen before: a link back into the tree
      const std::string subUpper = upperDir + AnsiUpperCaseAscii(name) + "/";
      ReportProgress(subUpper);
      ScanEntered(subUpper, subReal, pattern);
    }
  }

  void ReportProgress(const std::string& upperDir) {
    if (!FProgress) return;
    try {
      FProgress(upperDir, FCount);
    } catch (...) {
      // What the callback does is its own affair; the scan goes on.
    }
  }

  // False when the directory cannot be read or was entered before (a link
  // leading back up the tree would otherwise never end).
  bool EnterOnce(const std::string& realDir) {
    struct stat st {};
    if (stat(OpenablePath(realDir).c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
    return FVisited.insert({st.st_dev, st.st_ino}).second;
  }

  void ListFiles(const std::string& upperDir, const std::string& realDir, const std::string& pattern) {
    const DirHandle dir = OpenDirHandle(realDir);
    if (!dir) return;
    if (!upperDir.empty()) RecordListedDir(upperDir, realDir, FScan);
    const bool everyName = pattern == "*.*";  // as with the wildcards' home platform
    while (const dirent* e = readdir(dir.get())) {
      if (!everyName && !MatchesPattern(pattern.c_str(), e->d_name)) continue;
      if (IsDirectoryEntry(realDir, e)) continue;  // also skips "." and ".."
      FList.Add(upperDir + e->d_name);
      ++FCount;
    }
  }

  // Names of the sub-directories to descend into, in listing order; names
  // beginning with a dot ("." and ".." among them) are hidden.
  std::vector<std::string> VisibleSubdirs(const std::string& realDir) {
    std::vector<std::string> names;
    const DirHandle dir = OpenDirHandle(realDir);
    if (!dir) return names;
    while (const dirent* e = readdir(dir.get())) {
      if (e->d_name[0] != '.' && IsDirectoryEntry(realDir, e)) names.emplace_back(e->d_name);
    }
    return names;  // the handle closes before the descent, so depth costs no descriptors
  }

  bool FIncludeSubdirs;
  TStringList& FList;
  TScanProgressProc FProgress;
  unsigned FScan;
  int FCount = 0;
  std::set<std::pair<dev_t, ino_t>> FVisited;
};

}  // namespace

bool MatchesScanPattern(const std::string& Pattern, const std::string& Name) {
  return MatchesPattern(Pattern.c_str(), Name.c_str());
}

bool IsDirectoryEntry(const std::string& dir, const dirent* e) {
  if (e->d_type == DT_DIR) return true;
  if (e->d_type != DT_UNKNOWN && e->d_type != DT_LNK) return false;
  struct stat st {};
  return stat((dir + e->d_name).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void ScanFilesIntoList(const std::string& Mask, bool IncludeSubdirs, TStringList* List,
                       TScanProgressProc Progress) {
  if (!List) return;
  try {
    // The directory is opened as the caller spelled it: upper-casing is for
    // the results only, and must never lead to a sibling differing in case.
    const auto slash = Mask.rfind('/');
    const std::string realDir = slash == std::string::npos ? std::string() : Mask.substr(0, slash + 1);
    const std::string pattern = AnsiUpperCaseAscii(Mask.substr(realDir.size()));
    Scanner(IncludeSubdirs, *List, Progress).ScanTop(AnsiUpperCaseAscii(realDir), realDir, pattern);
  } catch (...) {
    // No error leaves the scan; what was appended so far stays.
  }
}

bool HasShownSubfolder(std::string Dir) {
  if (Dir.empty() || Dir.back() != '/') Dir += '/';
  const DirHandle listing = OpenDirHandle(Dir);
  if (!listing) return false;
  while (const dirent* entry = readdir(listing.get())) {
    // Dot names are "." and ".." or hidden.
    if (entry->d_name[0] == '.') continue;
    if (IsDirectoryEntry(Dir, entry)) return true;
  }
  return false;
}
