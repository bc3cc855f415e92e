#pragma once
// Directory listing helpers shared by the file scan, the path resolver and
// the folder tree.
#include <dirent.h>

#include <memory>
#include <string>

struct DirCloser {
  void operator()(DIR* d) const { closedir(d); }
};
// A directory listing, closed on every path out.
using DirHandle = std::unique_ptr<DIR, DirCloser>;

inline DirHandle OpenDirHandle(const std::string& path) {
  return DirHandle(opendir(path.empty() ? "." : path.c_str()));
}

// Whether the entry of dir (ending in '/', or empty for the current
// directory) is a directory. d_type answers for most entries; links and file
// systems that leave it unknown need a stat, which follows links.
bool IsDirectoryEntry(const std::string& dir, const dirent* e);
