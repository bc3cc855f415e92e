// File scan against real temporary folders.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "lib/Tesk_filesys.h"
#include "tools/TempDir.h"

namespace {

using Strings = std::vector<std::string>;

std::string Upper(std::string s) {
  for (char& c : s) c = c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
  return s;
}

// Those of the names that a folder holds, in the platform's listing order
// (the expected order of results), each after prefix.
Strings ListingOrder(const std::string& dir, const Strings& among, const std::string& prefix = "") {
  Strings names;
  DIR* d = opendir(dir.c_str());
  while (const dirent* e = readdir(d)) {
    if (std::find(among.begin(), among.end(), e->d_name) != among.end()) names.push_back(prefix + e->d_name);
  }
  closedir(d);
  return names;
}

Strings Scan(const std::string& mask, bool subdirs = false, TScanProgressProc progress = nullptr) {
  TStringList list;
  ScanFilesIntoList(mask, subdirs, &list, progress);
  return list.Items();
}

using Calls = std::vector<std::pair<std::string, int>>;
Calls Reports;
void Record(const std::string& dir, int count) { Reports.emplace_back(dir, count); }
void Throw(const std::string&, int) { throw std::runtime_error("callback failed"); }

// Names in listing order under the upper-cased directory, in which only
// the ASCII letters change ("fétes 2:a`z{": a colon is an ordinary
// character, a and z are the ends of the folded range, ` and { the
// characters just outside it). Patterns ignore case; * and ? are the only
// wildcards (brackets are ordinary characters); *.* matches every name, with
// or without a dot. Hidden and read-only files are listed, folders are not.
TEST(ScanFilesIntoList, UpperCasesTheDirectoryAndKeepsNamesInListingOrder) {
  TempDir t;
  const std::string p = "f\xC3\xA9tes 2:a`z{/";
  Strings all = {"Beach.jpg", "sea.JPG", "notes.txt", "Beach.jpg.bak", "README",    "a.b.c",
                 ".profile",  "[1].jpg", "1.jpg",     ".hidden.jpg",   "locked.jpg"};
  for (const std::string& name : all) t.AddFile(p + name);
  std::filesystem::permissions(t / (p + "locked.jpg"), std::filesystem::perms::owner_read);
  t.AddDir(p + "album.jpg");
  t.AddDir(p + ".trash.jpg");
  t.AddFile("elsewhere/x.txt");
  t.AddSymlink(p + "linked.jpg", t / "elsewhere");  // a link to a folder counts as a folder
  t.AddSymlink(p + "alias.jpg", t / (p + "locked.jpg"));
  all.emplace_back("alias.jpg");
  const Strings jpgs = {"Beach.jpg", "sea.JPG", "[1].jpg", "1.jpg", ".hidden.jpg", "locked.jpg", "alias.jpg"};
  const std::string dir = Upper(t.Path()) + "/F\xC3\xA9TES 2:A`Z{/";
  const std::pair<std::string, Strings> cases[] = {{"*.jpg", jpgs}, {"*.JpG", jpgs},    {"s?a.jpg", {"sea.JPG"}},
                                                   {"*.*", all},    {"*.c", {"a.b.c"}}, {"[1].jpg", {"[1].jpg"}}};
  for (const auto& [pattern, names] : cases) {
    EXPECT_EQ(Scan(t / (p + pattern)), ListingOrder(t / p, names, dir)) << pattern;
  }
}

TEST(ScanFilesIntoList, MaskWithoutDirectoryListsTheCurrentDirectory) {
  TempDir t;
  t.AddFile("One.jpg");
  t.AddFile("two.jpg");
  t.AddFile("sub/three.jpg");
  const auto cwd = std::filesystem::current_path();
  std::filesystem::current_path(t.Path());
  Reports.clear();
  const Strings got = Scan("*.jpg", true, Record);
  t.AddFile("Walk/Me.jpg");  // never listed: a relative path found by the walk
  const std::string walked = ResolveListedPath("WALK/Me.jpg");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(walked, "Walk/Me.jpg");
  Strings want = ListingOrder(t.Path(), {"One.jpg", "two.jpg"});
  want.push_back("SUB/three.jpg");
  EXPECT_EQ(got, want);
  EXPECT_EQ(Reports, (Calls{{"", 0}, {"SUB/", 2}}));
}

// Each folder's files first, then its visible sub-folders in listing order,
// each with its whole subtree; the callback hears of every folder with the
// count of names found so far. Results are appended; a folder that does not
// exist is reported and lists nothing; without a list nothing happens, not
// even the callback.
TEST(ScanFilesIntoList, SubdirectoriesDepthFirstAfterTheirParentsFilesAppendedMissingFoldersReported) {
  TempDir t;
  for (const char* name : {"r/a.jpg", "r/b.jpg", "r/x/1.jpg", "r/x/in/2.jpg", "r/y/3.jpg", "r/.hid/h.jpg"}) {
    t.AddFile(name);
  }
  const std::string root = Upper(t.Path()) + "/R/";
  Strings want = ListingOrder(t / "r", {"a.jpg", "b.jpg"}, root);
  const Strings xs = {root + "X/1.jpg", root + "X/IN/2.jpg"}, ys = {root + "Y/3.jpg"};
  const bool xFirst = ListingOrder(t / "r", {"x", "y"})[0] == "x";
  for (const Strings& below : xFirst ? std::vector{xs, ys} : std::vector{ys, xs}) {
    want.insert(want.end(), below.begin(), below.end());
  }
  Reports.clear();
  EXPECT_EQ(Scan(t / "r/*.jpg", true, Record), want);
  EXPECT_EQ(Reports, xFirst ? (Calls{{root, 0}, {root + "X/", 2}, {root + "X/IN/", 3}, {root + "Y/", 4}})
                            : (Calls{{root, 0}, {root + "Y/", 2}, {root + "X/", 3}, {root + "X/IN/", 4}}));
  TStringList list;
  list.Add("first");
  ScanFilesIntoList(t / "r/*.jpg", false, &list, nullptr);
  ScanFilesIntoList(t / "r/*.png", false, &list, nullptr);
  Reports.clear();
  ScanFilesIntoList(t / "nowhere/*.jpg", true, &list, Record);
  ScanFilesIntoList("/tmp/*.*", true, nullptr, Record);
  EXPECT_EQ(list.Items(), (Strings{"first", want[0], want[1]}));
  EXPECT_EQ(Reports, (Calls{{Upper(t.Path()) + "/NOWHERE/", 0}}));
}

// Links into loops end (every folder is entered once), a link to a folder
// outside is entered, and a callback that throws stops nothing.
TEST(ScanFilesIntoList, LinksAreFollowedOnceEachAndACallbackCannotStopTheScan) {
  TempDir t;
  t.AddFile("other/o.jpg");
  t.AddFile("r/a.jpg");
  t.AddFile("r/s/b.jpg");
  t.AddSymlink("r/s/up", "..");
  t.AddSymlink("r/s/self", ".");
  t.AddSymlink("r/s/root", t / "r");
  t.AddSymlink("r/Link", t / "other");
  const std::string root = Upper(t.Path()) + "/R/";
  const Strings got = Scan(t / "r/*.jpg", true, Throw);
  EXPECT_EQ(std::set<std::string>(got.begin(), got.end()),
            (std::set<std::string>{root + "a.jpg", root + "S/b.jpg", root + "LINK/o.jpg"}));
  EXPECT_EQ(got.size(), 3u);
}

// On a file system that tells case apart the upper-cased directory is not
// the one listed: the scan lists the folder as spelled, never a sibling
// differing in case, and leads back to it; the latest listing wins.
TEST(ResolveListedPath, LeadsBackToTheFolderListedWhenSiblingsDifferOnlyInCase) {
  TempDir t;
  const std::string onlyUpper = t.AddFile("r/AB/two.jpg");
  EXPECT_TRUE(Scan(t / "r/ab/*.jpg").empty());
  const std::string lower = t.AddFile("r/ab/same.jpg", "lower"), upper = t.AddFile("r/AB/same.jpg", "upper");
  const std::string onlyLower = t.AddFile("r/ab/one.jpg");
  const std::string dir = Upper(t.Path()) + "/R/AB/";
  EXPECT_EQ(Scan(t / "r/ab/*.jpg"), ListingOrder(t / "r/ab", {"same.jpg", "one.jpg"}, dir));
  EXPECT_EQ(ResolveListedPath(dir + "same.jpg"), lower);
  ASSERT_EQ(Scan(t / "r/AB/same.jpg"), Strings{dir + "same.jpg"});
  EXPECT_EQ(ResolveListedPath(dir + "same.jpg"), upper);

  // One scan through both: every distinct file still finds its folder.
  EXPECT_EQ(Scan(t / "r/*.jpg", true).size(), 4u);
  EXPECT_EQ(ResolveListedPath(dir + "one.jpg"), onlyLower);
  EXPECT_EQ(ResolveListedPath(dir + "two.jpg"), onlyUpper);
}

TEST(ResolveListedPath, WalksCaseInsensitivelyWhenTheFolderWasNeverListed) {
  TempDir t;
  const std::string file = t.AddFile("Deep/Er/Pic.jpg");
  t.AddDir("DEEP");  // a wrong first guess that must be taken back
  EXPECT_EQ(ResolveListedPath(Upper(t.Path()) + "/DEEP/ER/Pic.jpg"), file);
  EXPECT_EQ(ResolveListedPath(file), file);
  EXPECT_EQ(ResolveListedPath(Upper(t.Path()) + "/DEEP/ER/"), t / "Deep/Er/");  // a folder keeps its slash
  const std::string unknown = Upper(t.Path()) + "/NOWHERE/x.jpg";
  EXPECT_EQ(ResolveListedPath(unknown), unknown);
  EXPECT_EQ(ResolveListedPath("bare.jpg"), "bare.jpg");
}

}  // namespace
