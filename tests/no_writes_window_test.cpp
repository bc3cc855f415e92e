// The program only reads. After a browsing session (start-up listing,
// folders chosen, paints, scrolling, pointer moves, clicks on good and broken
// pictures, errors, a resize, closing), every file in the browsed folders and
// in the program's folder is as it was (bytes, size, times, mode) and none
// has been made, removed or opened for writing. Two witnesses: the kernel's
// change notifications while the session runs, and a snapshot before and
// after.
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <map>

#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

struct FileState {
  Bytes Content;  // folders: none
  off_t Size = 0;
  std::int64_t ModifiedNs = 0, ChangedNs = 0;
  mode_t Mode = 0;
  bool operator==(const FileState&) const = default;
};

std::int64_t Ns(const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// Every entry under root, links not followed, named pipes not opened.
std::map<std::string, FileState> Snapshot(const std::string& root) {
  std::map<std::string, FileState> states;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    struct stat st {};
    if (lstat(entry.path().c_str(), &st) != 0) continue;
    const bool readable = S_ISREG(st.st_mode) && (st.st_mode & S_IRUSR);
    states[entry.path()] = {readable ? ReadFile(entry.path()) : Bytes{}, st.st_size, Ns(st.st_mtim), Ns(st.st_ctim),
                            st.st_mode};
  }
  return states;
}

// Watches every folder under root for anything that writes.
class WriteWatch {
 public:
  explicit WriteWatch(const std::string& root) : FFd(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    Watch(root);
    for (const auto& entry : fs::recursive_directory_iterator(root)) {
      if (entry.is_directory() && !entry.is_symlink()) Watch(entry.path());
    }
  }
  ~WriteWatch() { close(FFd); }
  WriteWatch(const WriteWatch&) = delete;
  WriteWatch& operator=(const WriteWatch&) = delete;

  // What happened, one line per event.
  std::vector<std::string> Events() {
    std::vector<std::string> events;
    alignas(inotify_event) char buffer[16384];
    ssize_t n;
    while ((n = read(FFd, buffer, sizeof buffer)) > 0) {
      for (char* p = buffer; p < buffer + n;) {
        const auto* e = reinterpret_cast<const inotify_event*>(p);
        events.push_back(FFolders[e->wd] + "/" + (e->len ? e->name : "") + " mask " + std::to_string(e->mask));
        p += sizeof(inotify_event) + e->len;
      }
    }
    return events;
  }

 private:
  void Watch(const std::string& folder) {
    constexpr uint32_t kWrites = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE | IN_MOVED_FROM |
                                 IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF;
    const int wd = inotify_add_watch(FFd, folder.c_str(), kWrites);
    ASSERT_GE(wd, 0) << folder;
    FFolders[wd] = folder;
  }

  int FFd;
  std::map<int, std::string> FFolders;
};

using NoWritesTest = BrowserTest;

TEST_F(NoWritesTest, BrowsingLeavesEveryFileAsItWasAndMakesNone) {
  // The program's folder: a stand-in for the executable and the data folder.
  Dir.AddFile("glimmet", "#!/bin/sh\n");
  for (int i = 0; i < 3; ++i) WritePicture("data/p" + std::to_string(i) + ".jpg", i % 2 ? kRed : kBlue);
  Dir.AddFile("data/broken.jpg", "not a picture");
  // The browsed folder: good and broken pictures, and what is no picture.
  const std::string browse = Dir.AddDir("browse");
  for (int i = 0; i < 9; ++i) WritePicture("browse/good" + std::to_string(i) + ".jpg", kGreen, 40 + i, 30);
  Options progressive;
  progressive.Progressive = true;
  WriteFile(browse + "/progressive.jpg", MakeJpeg(progressive, Flat({1, 2, 3, 0})));
  Dir.AddFile("browse/text.jpg", "hello");
  Dir.AddFile("browse/empty.jpg");
  const Bytes good = FlatJpeg(kRed);
  WriteFile(browse + "/cut.jpg", Truncate(good, good.size() / 2));
  WriteFile(browse + "/late.jpg", InsertBeforeEoi(good, {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}));
  WriteFile(browse + "/bomb.jpg", PatchSofSize(good, 60000, 60000));
  WriteFile(browse + "/readonly.jpg", good);
  fs::permissions(browse + "/readonly.jpg", fs::perms(0444));
  WriteFile(browse + "/.hidden.jpg", good);
  EXPECT_EQ(mkfifo((browse + "/pipe.jpg").c_str(), 0644), 0);
  fs::create_symlink("good0.jpg", browse + "/link.jpg");
  WritePicture("browse/sub/inner.jpg", kYellow);
  Dir.AddDir("browse/nothing");
  const auto before = Snapshot(Dir.Path());
  WriteWatch watch(Dir.Path());

  const auto pointAndClickAll = [this] {
    for (int k = 1; k <= 8; ++k) {
      SendMouse(Window->Thumbs1Host, QEvent::MouseMove, InsideSlide(k), Qt::NoButton, Qt::NoButton);
      ClickSlide(k);
      LargeView();
    }
  };
  Open();
  pointAndClickAll();
  ASSERT_TRUE(Choose(browse));
  for (int position : {0, 3, 9, 17, 4, 1}) {
    Window->SBarThumbs->setValue(position);
    pointAndClickAll();
  }
  Window->resize(990, 700);
  QApplication::processEvents();
  RepaintGrid();
  ASSERT_TRUE(Choose(browse + "/sub"));
  pointAndClickAll();
  ASSERT_TRUE(Choose(browse + "/nothing"));
  ASSERT_TRUE(Choose(browse));
  RepaintGrid();
  Window->close();
  QApplication::processEvents();
  Window.reset();
  EXPECT_FALSE(Errors.empty()) << "the session should have met its broken files";

  EXPECT_EQ(watch.Events(), std::vector<std::string>{});
  const auto after = Snapshot(Dir.Path());
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [path, state] : before) {
    const auto found = after.find(path);
    ASSERT_NE(found, after.end()) << path << " has gone";
    EXPECT_TRUE(found->second == state) << path << " has changed";
  }
}

}  // namespace
