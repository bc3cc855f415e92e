// Thousands of scrolls, paints, pointer moves, clicks, double clicks, large
// view draws, folder changes and resizes in a random but seeded order, over a
// folder that mixes good pictures with broken files. The window must hold its
// invariants after every step, report only the errors its files explain, and
// end with the heap where it was once warmed up.
//   GLIMMET_SOAK_STEPS  number of steps (default 20000; 4000 under ASan)
//   GLIMMET_SOAK_SEED   seed of the order (default 1949)
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <iostream>
#include <random>
#include <set>

#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;

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

class SoakTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    for (int i = 0; i < 12; ++i)
      WritePicture("calm/p" + std::to_string(i) + ".jpg", i % 2 ? kGreen : kBlue, 32, 24);
    Folders = {MakeMixedFolder(), Dir / "calm", Dir.AddDir("empty")};
  }

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
    Options o;
    o.Progressive = true;
    WriteFile(folder + "/scans.jpg", RepeatLastScan(MakeJpeg(o, Flat({5, 5, 5, 0})), 1100));
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

TEST_F(SoakTest, RandomBrowsingHoldsTheInvariantsAndKeepsTheHeapFlat) {
  const int steps = EnvOr("GLIMMET_SOAK_STEPS", kDefaultSteps);
  const int seed = EnvOr("GLIMMET_SOAK_SEED", 1949);
  std::cout << "soak: " << steps << " steps, seed " << seed << std::endl;
  Rng.seed(unsigned(seed));
  Open();
  int paints = 0;
  const TNotifyEvent first = Window->Thumbs1->OnFirstImageRequest;
  Window->Thumbs1->OnFirstImageRequest = [&](TObject* sender) {
    ++paints;
    first(sender);
  };
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
}

}  // namespace
