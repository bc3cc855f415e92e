#include "ScanBench.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <unistd.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include "TempFolder.h"
#include "lib/Tesk_filesys.h"

namespace {

constexpr int kFiles = 100'000;

void MakeFiles(const std::string& folder) {
  char name[32];
  for (int i = 0; i < kFiles; ++i) {
    std::snprintf(name, sizeof name, i % 10 == 0 ? "/photo%06d.jpg" : "/note%06d.txt", i);
    const int fd = open((folder + name).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) throw std::runtime_error("cannot make the files of the scan");
    close(fd);
  }
}

// What any program must do to list the folder's pictures: the full path of
// each matching entry that is not a folder.
std::vector<std::string> BareScan(const std::string& dir) {
  std::vector<std::string> paths;
  DIR* d = opendir(dir.c_str());
  if (!d) return paths;
  while (const dirent* e = readdir(d)) {
    if (e->d_type == DT_DIR || fnmatch("*.jpg", e->d_name, FNM_CASEFOLD) != 0) continue;
    paths.push_back(dir + e->d_name);
  }
  closedir(d);
  return paths;
}

}  // namespace

TMedians MeasureScanAgainstReaddir(int reps, TClock clock) {
  const TTempFolder folder("glimmet-bench-scan");
  MakeFiles(folder.Path());
  const std::string dir = folder.Path() + "/";
  std::size_t scanned = 0, bare = 0;
  const TMedians medians = MeasureSideBySide(
      reps, clock,
      [&] {
        TStringList list;
        ScanFilesIntoList(dir + "*.jpg", false, &list, nullptr);
        scanned = std::size_t(list.Count());
      },
      [&] { bare = BareScan(dir).size(); });
  if (scanned != bare || bare != kFiles / 10) throw std::runtime_error("the scan and the bare loop disagree");
  return medians;
}
