// Long sessions and a huge folder. Thousands of scrolls, paints, pointer
// moves, clicks, double clicks, large view draws, folder changes and resizes
// in a random but seeded order, over folders that mix good pictures with
// broken files, then the window closed: the window must hold its invariants
// after every step, report only the errors its files explain and end with
// the heap where it was once warmed up. It only reads: every file under the
// program's folder is as it was (bytes, size, times, mode) and none has been
// made, removed or opened for writing, by two witnesses: the kernel's change
// notifications while the session runs, and a snapshot before and after.
//   GLIMMET_SOAK_STEPS  number of steps (default 20000; 4000 under ASan)
//   GLIMMET_SOAK_SEED   seed of the order (default 1949)
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <set>
#include <tuple>

#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

#ifdef GLIMMET_UNDER_ASAN
constexpr int kDefaultSteps = 4000;
#else
constexpr int kDefaultSteps = 20000;
#endif

int EnvOr(const char* name, int fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::atoi(value) : fallback;
}

bool Explained(const std::string& error) {
  for (const char* start : {"JPEG error #", "Cannot open file \"",
                            "The picture is too large to show: ", "The JPEG data has more than "}) {
    if (error.rfind(start, 0) == 0) return true;
  }
  return false;
}

// Content (none for what is no readable file), size, modified and changed
// times in nanoseconds, mode.
using FileState = std::tuple<Bytes, off_t, std::int64_t, std::int64_t, mode_t>;

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

class SoakTest : public BrowserTest {
 protected:
  // The program's folder: a stand-in for the executable, and the data folder
  // it lists at start-up, with a broken file.
  void SetUp() override {
    BrowserTest::SetUp();
    Dir.AddFile("glimmet", "#!/bin/sh\n");
    for (int i = 0; i < 3; ++i) WritePicture("data/p" + std::to_string(i) + ".jpg", i % 2 ? kRed : kBlue);
    Dir.AddFile("data/broken.jpg", "not a picture");
    for (int i = 0; i < 12; ++i)
      WritePicture("calm/p" + std::to_string(i) + ".jpg", i % 2 ? kGreen : kBlue, 32, 24);
    Folders = {MakeMixedFolder(), Dir / "calm", Dir.AddDir("empty"),
               ExtractFilePath(WritePicture("sub/in.jpg", kRed))};
  }

  // Good pictures of all codings, broken files, and what is no picture.
  std::string MakeMixedFolder() {
    const std::string folder = Dir.AddDir("mixed");
    std::mt19937 sizes(7);
    for (int i = 0; i < 14; ++i) {
      Options o;
      o.Width = 8 + int(sizes() % 190);
      o.Height = 8 + int(sizes() % 150);
      o.Progressive = i % 3 == 0;
      o.Colours = i % 5 == 0 ? Colour::Grey : i % 7 == 0 ? Colour::Cmyk : Colour::Rgb;
      WriteFile(folder + "/good" + std::to_string(i) + ".jpg", MakeJpeg(o, [](int x, int y) {
                  return Sample{std::uint8_t(x), std::uint8_t(y), 99, 40};
                }));
    }
    const Bytes good = FlatJpeg(kRed);
    Dir.AddFile("mixed/text.jpg", "no picture here");
    Dir.AddFile("mixed/empty.jpg");
    WriteFile(folder + "/cut-header.jpg", Truncate(good, 90));
    WriteFile(folder + "/cut-data.jpg", Truncate(good, good.size() - 40));
    WriteFile(folder + "/late.jpg", InsertBeforeEoi(good, {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}));
    WriteFile(folder + "/bomb.jpg", PatchSofSize(good, 60000, 60000));
    WriteFile(folder + "/scans.jpg", RepeatLastScan(MakeJpeg({.Progressive = true}, Flat({5, 5, 5, 0})), 1100));
    WriteFile(folder + "/readonly.jpg", good);
    fs::permissions(folder + "/readonly.jpg", fs::perms(0444));
    WriteFile(folder + "/.hidden.jpg", good);
    fs::create_symlink("good1.jpg", folder + "/link.jpg");
    EXPECT_EQ(mkfifo((folder + "/pipe.jpg").c_str(), 0644), 0);
    return folder;
  }

  QPoint AnyPoint() {
    const QWidget* host = Window->Thumbs1Host;
    return {int(Rng() % unsigned(host->width() + 10)) - 5, int(Rng() % unsigned(host->height() + 10)) - 5};
  }

  // One step in twenty does nothing but let the events come.
  void Step() {
    QWidget* host = Window->Thumbs1Host;
    const unsigned what = Rng() % 20;
    if (what < 4) {
      Window->SBarThumbs->setValue(int(Rng() % unsigned(Window->SBarThumbs->maximum() + 1)));
    } else if (what < 6) {
      RepaintGrid();
    } else if (what < 11) {
      SendMouse(host, QEvent::MouseMove, AnyPoint(), Qt::NoButton, Qt::NoButton);
    } else if (what < 14) {
      Click(host, AnyPoint());
    } else if (what == 14) {
      const QPoint p = AnyPoint();
      Click(host, p);
      SendMouse(host, QEvent::MouseButtonDblClick, p, Qt::LeftButton, Qt::LeftButton);
      SendMouse(host, QEvent::MouseButtonRelease, p, Qt::LeftButton, Qt::NoButton);
    } else if (what < 17) {
      LargeView();
    } else if (what == 17) {
      Choose(Folders[Rng() % Folders.size()]);
    } else if (what == 18) {
      Window->resize(944 + int(Rng() % 80), 560 + int(Rng() % 140));
    }
    QApplication::processEvents();
  }

  void CheckInvariants(int step) {
    const TThumbnails& grid = *Window->Thumbs1;
    // The focused slide changes only when the pointer moves: after a smaller
    // folder it may lie beyond Max until then.
    MaxSeen = std::max(MaxSeen, grid.Max());
    ASSERT_GE(grid.FocusedSlide(), 0) << "step " << step;
    ASSERT_LE(grid.FocusedSlide(), MaxSeen) << "step " << step;
    ASSERT_GE(grid.ScrollPosition(), grid.Min()) << "step " << step;
    ASSERT_LE(grid.ScrollPosition(), grid.Max()) << "step " << step;
    ASSERT_TRUE(Screen.Cursor() == crDefault || Screen.Cursor() == crHourGlass) << "step " << step;
    for (const std::string& e : Errors) {
      ASSERT_TRUE(Explained(e)) << "step " << step << ": " << e;
      Distinct.insert(e);
    }
    ErrorCount += Errors.size();
    Errors.clear();
  }

  std::vector<std::string> Folders;
  std::mt19937 Rng;
  std::set<std::string> Distinct;
  std::size_t ErrorCount = 0;
  int MaxSeen = 0;
};

TEST_F(SoakTest, RandomBrowsingHoldsTheInvariantsKeepsTheHeapFlatAndWritesNothing) {
  const int steps = EnvOr("GLIMMET_SOAK_STEPS", kDefaultSteps);
  const int seed = EnvOr("GLIMMET_SOAK_SEED", 1949);
  std::cout << "soak: " << steps << " steps, seed " << seed << std::endl;
  Rng.seed(unsigned(seed));
  const auto before = Snapshot(Dir.Path());
  WriteWatch watch(Dir.Path());
  Open();
  const int& paints = CountPaints();
  ASSERT_TRUE(Choose(Folders[0]));

  const int warmUp = steps / 4;
  std::size_t warmHeap = 0;
  for (int step = 0; step < steps; ++step) {
    if (step == warmUp) warmHeap = LiveHeapBytes();
    Step();
    CheckInvariants(step);
    if (HasFatalFailure()) return;
  }
  const std::size_t endHeap = LiveHeapBytes();
  std::cout << "soak: " << paints << " paints, " << ErrorCount << " errors, " << Distinct.size()
            << " distinct; heap " << warmHeap << " -> " << endHeap << std::endl;
  EXPECT_GT(ErrorCount, 0u);
  EXPECT_LT(endHeap, warmHeap + (4u << 20));

  // Afterwards a folder of good pictures paints completely.
  ASSERT_TRUE(Choose(Folders[1]));
  RepaintGrid();
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(Screen.Cursor(), crDefault);

  Window->close();
  QApplication::processEvents();
  Window.reset();
  EXPECT_EQ(watch.Events(), std::vector<std::string>{});
  const auto after = Snapshot(Dir.Path());
  EXPECT_EQ(after.size(), before.size());
  for (const auto& [path, state] : before) {
    const auto found = after.find(path);
    ASSERT_NE(found, after.end()) << path << " has gone";
    EXPECT_TRUE(found->second == state) << path << " has changed";
  }
  // The one place written: the cache folder, whole private entries only.
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(std::string(std::getenv("XDG_CACHE_HOME")) + "/glimmet", ec)) {
    EXPECT_EQ(e.path().extension(), ".slide") << e.path();
    EXPECT_EQ(e.status().permissions(), fs::perms::owner_read | fs::perms::owner_write) << e.path();
  }
}

// 100,000 pictures (hard links to four small ones, so it costs no disk):
// listed whole, the last slide reachable with the scroll bar, the memory of
// scrolling through them bounded by what is in view. Picture i (p000000.jpg
// on) has colour i % 4: a file takes at most 65000 links on common file
// systems, hence four originals; where the file system takes none, copies do.
using HugeFolderTest = BrowserTest;

TEST_F(HugeFolderTest, HugeFolderIsListedWholeItsLastSlideIsReachableAndScrollingCostsNoMoreMemory) {
  constexpr int kCount = 100000;
  const Rgb colours[4] = {kRed, kGreen, kBlue, kYellow};
  std::string originals[4];
  for (int c = 0; c < 4; ++c) originals[c] = WritePicture("src/" + std::to_string(c), colours[c]);
  const std::string folder = Dir.AddDir("huge");
  char name[32];
  for (int i = 0; i < kCount; ++i) {
    std::snprintf(name, sizeof name, "/p%06d.jpg", i);
    if (link(originals[i % 4].c_str(), (folder + name).c_str()) != 0)
      WriteFile(folder + name, ReadFile(originals[i % 4]));
  }
  Open();
  const std::size_t heapBeforeListing = LiveHeapBytes();
  ASSERT_TRUE(Choose(folder));
  const TStringList& list = *Window->FileList();
  ASSERT_EQ(list.Count(), kCount);
  // Names of 41 bytes or so, held once each.
  EXPECT_LT(LiveHeapBytes(), heapBeforeListing + std::size_t(kCount) * 256);
  EXPECT_EQ(Window->Thumbs1->Max(), kCount);
  EXPECT_EQ(Window->SBarThumbs->maximum(), kCount);
  EXPECT_TRUE(Window->Thumbs1->Visible());
  const auto colourOf = [&](int k) { return colours[std::stoi(ExtractFileName(list[k - 1]).substr(1, 6)) % 4]; };
  std::vector<int> requested;
  const TImageRequestEvent answer = Window->Thumbs1->OnImageRequest;
  Window->Thumbs1->OnImageRequest = [&](TObject* sender, int id, auto& how, int& mark, TBitmap*& buffer) {
    requested.push_back(id);
    answer(sender, id, how, mark, buffer);
  };
  // Each move in a turn of the event loop of its own, so that each paints.
  const auto scrollTo = [&](int position) {
    requested.clear();
    Window->SBarThumbs->setValue(position);
    QApplication::processEvents();
  };

  // The bar's last position puts the row of the last slide at the top, half
  // of it scrolled away, as the last slide is the second of its row.
  scrollTo(kCount);
  EXPECT_DOUBLE_EQ(Window->Thumbs1->ScrollPosition(), kCount - 0.5);
  EXPECT_EQ(requested, (std::vector<int>{kCount - 1, kCount}));
  // Slide 100000's box begins 68 rows above the grid (origin y 12 - 68), its
  // picture 22 rows lower: grid row 30 is inside it, below the top band.
  const QPoint lastSlide(77 + 136, 30);
  EXPECT_TRUE(Near(GridPixel(lastSlide), colourOf(kCount)));
  Click(Window->Thumbs1Host, lastSlide);
  EXPECT_TRUE(Window->Thumbs1->Selection().Bit(kCount - 1));
  EXPECT_TRUE(Near(RgbAt(LargeView(), 310, 294), colourOf(kCount)));

  scrollTo(0);
  EXPECT_DOUBLE_EQ(Window->Thumbs1->ScrollPosition(), 1.0);
  EXPECT_EQ(requested, (std::vector<int>{1, 3, 5, 7, 2, 4, 6, 8}));
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), colourOf(1)));

  // Across the whole range and back: what a paint holds is freed with it.
  for (int i = 0; i < 40; ++i) scrollTo(1 + i * 2459);
  const std::size_t heapScrolling = LiveHeapBytes();
  for (int i = 0; i < 400; ++i) scrollTo(i % 2 ? kCount - i * 241 : 1 + i * 249);
  EXPECT_LT(LiveHeapBytes(), heapScrolling + (2u << 20));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

}  // namespace
