// The slide supply's parts on their own: the pool that runs the jobs, the store that keeps the slides, the decoder
// that stretches rows as they come, and the supply over them, with an
// injected loader and latches in place of waiting for time to pass.
#include <QCoreApplication>
#include <gtest/gtest.h>
#include <pthread.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include "app/pictures/SlideSupply.h"
#include "support/JpegMaker.h"
#include "support/ScopedEnv.h"
#include "support/WithinSeconds.h"
#include "tools/TempDir.h"
#include "toolkit/DecodePool.h"
#include "toolkit/DecodeStretched.h"
#include "toolkit/FitPicture.h"
#include "toolkit/Jpeg.h"

using namespace jpegmaker;
namespace fs = std::filesystem;

namespace {

Bytes Picture(Colour colours, int width, int height) {
  return MakeJpeg({.Width = width, .Height = height, .Colours = colours}, [](int x, int y) {
    return Sample{std::uint8_t(x * 3), std::uint8_t(y * 7), std::uint8_t(x ^ y), 0};
  });
}

class SlideSupplyTest : public testing::Test {
 protected:
  void SetUp() override { RegisterJpegFormat(); }
  TempDir Dir;
};

// A job that holds until its latch opens, and tells when it started, ran
// out or was asked to stop, and the name of its thread.
using enum TDecodePool::TLane;

std::atomic<int> gStarts{0};

struct LatchedJob {
  const TDecodePool* Pool = nullptr;  // when set, its running bytes are noted at the start
  std::promise<void> Open;
  std::shared_future<void> Opened = Open.get_future().share();
  std::promise<void> Started;
  std::atomic<bool> Stopped{false};
  std::atomic<int> Runs{0};
  std::string Thread;
  std::uint64_t BytesAtStart = 0;
  int StartNumber = 0;
  TDecodePool::TWork Work() {
    return [this](const std::atomic<bool>& stop) {
      ++Runs;
      StartNumber = ++gStarts;
      if (Pool) BytesAtStart = Pool->BytesRunning();
      char name[16] = {};
      pthread_getname_np(pthread_self(), name, sizeof name);
      Thread = name;
      Started.set_value();
      while (Opened.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready) {
        if (stop) {
          Stopped = true;
          return;
        }
      }
    };
  }
};

void StartedWithin(LatchedJob& job) {
  WithinSeconds("the job's start", [&] { job.Started.get_future().wait(); });
}

void Waited(TDecodePool& pool, const TDecodePool::TJobRef& job) {
  WithinSeconds("the wait", [&] { pool.Wait(job); });
}

// One worker a core, at most 8, unless GLIMMET_DECODE_WORKERS names another
// count (0 for none).
TEST(DecodePoolTest, WorkersAreTheCoresOrTheCountTheEnvironmentNames) {
  const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
  const std::pair<const char*, int> rows[] = {{nullptr, cores}, {"", cores}, {"3", 3},
                                              {"0", 0},         {"-2", 0},   {"99", 8}};
  for (const auto& [value, workers] : rows) {
    value ? setenv("GLIMMET_DECODE_WORKERS", value, 1) : unsetenv("GLIMMET_DECODE_WORKERS");
    EXPECT_EQ(DefaultDecodeWorkers(), workers) << (value ? value : "unset");
  }
  unsetenv("GLIMMET_DECODE_WORKERS");
}

TEST(DecodePoolTest, RunningJobsStayUnderTheByteCeilingAndOneAlwaysStarts) {
  TDecodePool pool(2, 1000);
  LatchedJob huge, a, b, c;
  b.Pool = c.Pool = &pool;
  const auto jobHuge = pool.Queue(huge.Work(), 5000, Now);
  const auto jobA = pool.Queue(a.Work(), 600, Now);
  StartedWithin(huge);  // alone it may start, however large
  EXPECT_EQ(pool.BytesRunning(), 5000u);
  huge.Open.set_value();
  StartedWithin(a);
  const auto jobB = pool.Queue(b.Work(), 600, Now);
  const auto jobC = pool.Queue(c.Work(), 400, Now);
  // b would pass the ceiling beside a, and c waits behind b: they start
  // once a is done, in order, and then run together.
  a.Open.set_value();
  StartedWithin(b);
  StartedWithin(c);
  EXPECT_EQ(b.BytesAtStart, 600u);
  EXPECT_EQ(c.BytesAtStart, 1000u);
  EXPECT_LT(b.StartNumber, c.StartNumber);
  EXPECT_EQ(pool.BytesRunning(), 1000u);
  b.Open.set_value();
  c.Open.set_value();
  Waited(pool, jobC);
  Waited(pool, jobB);
  EXPECT_TRUE(pool.Finished(jobA));
  EXPECT_EQ(a.Runs + b.Runs + c.Runs + huge.Runs, 4);
}

TEST(DecodePoolTest, AwaitedJobGoesFirstAndAheadJobsWaitForNowJobs) {
  // One worker, and a core left for the waiting thread to run a job on.
  if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "needs two cores";
  TDecodePool pool(1, 2000);
  LatchedJob blocker, ahead, later, awaited;
  const auto jobBlocker = pool.Queue(blocker.Work(), 1000, Now);
  StartedWithin(blocker);
  const auto jobAhead = pool.Queue(ahead.Work(), 10, Ahead);
  const auto jobLater = pool.Queue(later.Work(), 10, Now);
  const auto jobAwaited = pool.Queue(awaited.Work(), 10, Ahead);
  // A queued Ahead job cancelled leaves its own line, not the other one.
  LatchedJob dropped;
  pool.Cancel(pool.Queue(dropped.Work(), 10, Ahead));
  awaited.Open.set_value();
  // The awaited job, though queued to be made ahead, passes the Now job
  // queued before it and runs here, once.
  Waited(pool, jobAwaited);
  EXPECT_EQ(awaited.Runs, 1);
  EXPECT_EQ(later.Runs, 0);
  EXPECT_NE(awaited.Thread, "glimmet-decode");  // the waiting thread
  blocker.Open.set_value();
  StartedWithin(later);
  later.Open.set_value();
  // Only once no Now job waits.
  StartedWithin(ahead);
  EXPECT_LT(later.StartNumber, ahead.StartNumber);
  EXPECT_EQ(later.Thread, "glimmet-decode");
  EXPECT_EQ(ahead.Thread, "glimmet-decode");
  ahead.Open.set_value();
  for (const auto& job : {jobBlocker, jobLater, jobAhead}) Waited(pool, job);
  EXPECT_EQ(later.Runs + awaited.Runs + ahead.Runs + blocker.Runs, 4);
  EXPECT_EQ(dropped.Runs, 0);
}

TEST(DecodePoolTest, CancellingStopsWhatRunsAndTheDestructorStopsEverything) {
  std::atomic<int> idle{0};
  LatchedJob running, queued, left, waiting;
  {
    // A queued job that nothing runs yet keeps a pool without workers busy.
    TDecodePool none(0, 1000);
    const auto jobWaiting = none.Queue(waiting.Work(), 10, Now);
    EXPECT_FALSE(none.Idle());
    waiting.Open.set_value();
    Waited(none, jobWaiting);
    EXPECT_TRUE(none.Idle());
  }
  {
    TDecodePool pool(1, 1000, [&] { ++idle; });
    const auto jobRunning = pool.Queue(running.Work(), 10, Now);
    const auto jobQueued = pool.Queue(queued.Work(), 10, Now);
    StartedWithin(running);
    pool.Cancel(jobQueued);  // never runs
    pool.Cancel(jobRunning);
    Waited(pool, jobRunning);
    EXPECT_TRUE(running.Stopped);
    EXPECT_EQ(queued.Runs, 0);
    EXPECT_TRUE(pool.Finished(jobQueued));
    WithinSeconds("the idle call", [&] {
      while (idle == 0) std::this_thread::yield();
    });
    pool.Queue(left.Work(), 10, Ahead);
    StartedWithin(left);
  }  // the latch never opens: the destructor must stop the job
  EXPECT_TRUE(left.Stopped);
  EXPECT_EQ(idle, 2);
}

// The store: a slide is found again only for the same file version and look;
// bounded in bytes, the slide drawn longest ago goes first.
TEST(SlideStoreTest, KeyTellsVersionsAndLooksApartAndTheLeastRecentlyDrawnGoesFirst) {
  const TSlideKey key{{1, 2, 3, 4, 5}, {120, false}};
  const auto slide = [](int w, int h) { return std::make_shared<const TBitmap>(w, h); };
  const std::uint64_t unit = TSlideStore::SlideBytes(TBitmap(10, 10));
  TSlideStore store(3 * unit);
  store.Add(key, slide(10, 10));
  ASSERT_TRUE(store.Find(key));
  // Device, inode, size, modification and change times, slide size, stretch.
  const TSlideKey others[] = {{{9, 2, 3, 4, 5}, {120, false}}, {{1, 9, 3, 4, 5}, {120, false}},
                              {{1, 2, 9, 4, 5}, {120, false}}, {{1, 2, 3, 9, 5}, {120, false}},
                              {{1, 2, 3, 4, 9}, {120, false}}, {{1, 2, 3, 4, 5}, {90, false}},
                              {{1, 2, 3, 4, 5}, {120, true}}};
  for (const TSlideKey& other : others) EXPECT_FALSE(store.Find(other));
  const TSlideKey b{{1, 20, 3, 4, 5}, {120, false}}, c{{1, 30, 3, 4, 5}, {120, false}},
      d{{1, 40, 3, 4, 5}, {120, false}};
  store.Add(b, slide(10, 10));
  store.Add(c, slide(10, 10));
  EXPECT_EQ(store.Bytes(), 3 * unit);
  store.Find(key);  // drawn again: b is now the oldest
  store.Add(d, slide(10, 10));
  EXPECT_FALSE(store.Find(b));
  EXPECT_TRUE(store.Find(key) && store.Find(c) && store.Find(d));
  store.Add(b, slide(18, 10));  // needs the room of two
  EXPECT_FALSE(store.Find(key) || store.Find(c));
  EXPECT_TRUE(store.Find(d) && store.Find(b));
  store.Add(c, slide(40, 40));  // larger than the whole store: not kept
  EXPECT_FALSE(store.Find(c));
  EXPECT_EQ(store.Bytes(), unit + TSlideStore::SlideBytes(TBitmap(18, 10)));
  store.Add(b, slide(10, 10));  // made again: it replaces the one kept
  EXPECT_EQ(store.Bytes(), 2 * unit);
  store.Add(c, slide(10, 10));
  store.Add(key, slide(10, 10));  // d goes
  store.Add(d, slide(10, 10));    // then b, the replaced one
  EXPECT_FALSE(store.Find(b));
  EXPECT_TRUE(store.Find(c) && store.Find(key) && store.Find(d));

  // Bytes are the pixels', four each, and a little bookkeeping: a mebibyte
  // keeps 27 slides of 120 x 80 (38,400 bytes of pixels each), not 28.
  TSlideStore mebibyte(1 << 20);
  for (std::uint64_t inode = 1; inode <= 28; ++inode)
    mebibyte.Add({{1, inode, 3, 4, 5}, {120, false}}, slide(120, 80));
  EXPECT_FALSE(mebibyte.Find({{1, 1, 3, 4, 5}, {120, false}}));
  EXPECT_TRUE(mebibyte.Find({{1, 2, 3, 4, 5}, {120, false}}));
  // A slide the size of the whole store is kept.
  TSlideStore exact(unit);
  exact.Add(key, slide(10, 10));
  EXPECT_TRUE(exact.Find(key));

  const char* saved = std::getenv("GLIMMET_SLIDE_CACHE_MIB");
  const std::string kept = saved ? saved : "";
  for (const auto& [set, bytes] : std::vector<std::pair<const char*, std::uint64_t>>{
           {"", 64u << 20}, {"0", 0}, {"3", 3u << 20}, {"-1", 64u << 20}, {"x", 64u << 20}}) {
    setenv("GLIMMET_SLIDE_CACHE_MIB", set, 1);
    EXPECT_EQ(DefaultSlideStoreBytes(), bytes) << "GLIMMET_SLIDE_CACHE_MIB=" << set;
  }
  (void)(saved ? setenv("GLIMMET_SLIDE_CACHE_MIB", kept.c_str(), 1) : unsetenv("GLIMMET_SLIDE_CACHE_MIB"));
}

TEST_F(SlideSupplyTest, SlidesAreMadeOnceUntilTheirFileChangesAndFailuresAreNeverKept) {
  const std::string a = Dir / "a.jpg", b = Dir / "b.jpg", link = Dir / "link.jpg", bad = Dir / "bad.jpg";
  WriteFile(a, Picture(Colour::Rgb, 300, 200));
  fs::create_symlink(a, link);
  WriteFile(bad, Bytes{'n', 'o', 't'});
  const ScopedEnv memoryOnly("GLIMMET_DISK_CACHE_MIB", "0");  // loads are counted against the memory store alone
  for (const int workers : {0, 2}) {
    SCOPED_TRACE(testing::Message() << workers << " workers");
    WriteFile(b, Picture(Colour::Rgb, 50, 400));
    std::atomic<int> loads{0};  // what the supply loads, counted through an injected loader
    TSlideSupply supply(workers, DefaultSlideStoreBytes(), [&loads](const std::string& file) {
      ++loads;
      return TPicture::LoadResolvedGraphic(file);
    });
    const TSlideLook look{120, false};
    const auto paint = [&](const std::vector<std::string>& files) {
      std::vector<std::string> sizes;
      supply.StartSlides(files, look);
      for (const std::string& f : files) {
        try {
          const TSlideRef s = supply.TakeSlide(f);
          sizes.push_back(std::to_string(s->Width()) + "x" + std::to_string(s->Height()));
        } catch (const std::exception& e) {
          sizes.push_back(e.what());
        }
      }
      supply.DropUntakenSlides();
      return sizes;
    };
    const std::vector<std::string> first = paint({a, link, b, bad});
    EXPECT_EQ(first, (std::vector<std::string>{"120x80", "120x80", "15x120",
                                               "JPEG error #" + std::to_string(JERR_NO_SOI)}));
    EXPECT_EQ(loads, 3);  // the link shows the same file: made once
    // A file gone since the listing fails at its request; no failure is kept.
    const std::string gone = Dir / "gone.jpg";
    EXPECT_EQ(paint({gone}),
              std::vector<std::string>{"Cannot open file \"" + gone + "\". No such file or directory"});
    EXPECT_EQ(supply.Store().Bytes(),
              TSlideStore::SlideBytes(TBitmap(120, 80)) + TSlideStore::SlideBytes(TBitmap(15, 120)));
    EXPECT_EQ(paint({a, link, b, bad}), first);
    EXPECT_EQ(loads, 5);  // only the failing files again
    // Rewritten with a picture of another size: made again.
    WriteFile(b, Picture(Colour::Rgb, 400, 100));
    EXPECT_EQ(paint({b}), std::vector<std::string>{"120x30"});
    EXPECT_EQ(loads, 6);
    // Another size or stretch mode is another slide.
    supply.StartSlides({a}, {120, true});
    EXPECT_EQ(supply.TakeSlide(a)->Width(), 120);
    supply.StartSlides({a}, {90, false});
    EXPECT_EQ(supply.TakeSlide(a)->Width(), 90);
    EXPECT_EQ(loads, 8);
    // At 2 device pixels to a pixel, another slide again, twice the slide's
    // rectangle each way: 200 x 11 is 7 high in a 120 slide, so 14, though
    // 11 * 240 / 200 rounds to 13 (which the grid would draw 6 high).
    const std::string thin = Dir / "thin.jpg";
    WriteFile(thin, Picture(Colour::Rgb, 200, 11));
    supply.StartSlides({a, thin}, {120, false, 2});
    for (const auto& [file, size] : {std::pair{a, "240x160"}, std::pair{thin, "240x14"}}) {
      const TSlideRef s = supply.TakeSlide(file);
      EXPECT_EQ(std::to_string(s->Width()) + "x" + std::to_string(s->Height()), size) << file;
    }
    EXPECT_EQ(loads, 10);
    // Taken out of order, the files passed over are dropped, but not the job
    // the taken one shares: its slide is kept.
    supply.ClearStore();
    supply.StartSlides({a, link}, look);
    EXPECT_EQ(supply.TakeSlide(link)->Width(), 120);
    EXPECT_EQ(paint({a}), std::vector<std::string>{"120x80"});
    EXPECT_EQ(loads, 11);
    // Made ahead into the store in the look asked for, not the last paint's,
    // then painted without a load.
    supply.ClearStore();
    supply.StartAhead({a, b}, look);
    WithinSeconds("the read-ahead", [&] {
      while (!supply.Idle()) std::this_thread::yield();
    });
    EXPECT_EQ(loads, workers == 0 ? 11 : 13);  // nothing runs ahead without workers
    EXPECT_EQ(paint({a, b}), (std::vector<std::string>{"120x80", "120x30"}));
    EXPECT_EQ(loads, 13);
    // The large view takes the file it names, whatever was started, with
    // its fitted picture when a job made it: FitPicture's pixels.
    supply.StartLarge(a, {100, 100});
    EXPECT_EQ(supply.TakeLarge(b, {100, 100})->Graphic->Width(), 400);
    const TSlideSupply::TLargePicture large = *supply.TakeLarge(a, {100, 100});
    const TBitmap& whole = dynamic_cast<const TJPEGImage&>(*large.Graphic).Bitmap();
    if (workers == 0) {
      EXPECT_EQ(large.Fitted, nullptr);
    } else {
      const auto fitted = FitPicture(whole, {100, 67});
      ASSERT_NE(large.Fitted, nullptr);
      ASSERT_EQ(std::pair(large.Fitted->Width(), large.Fitted->Height()), std::pair(100, 67));
      EXPECT_TRUE(std::equal(fitted->Bits(), fitted->Bits() + 100 * 67, large.Fitted->Bits()));
    }
    EXPECT_EQ(supply.TakeLarge(a, {600, 400})->Fitted, nullptr) << "it fits already";
    EXPECT_EQ(supply.TakeLarge(a, {})->Fitted, nullptr) << "a view at natural size";
    // Read ahead for the large view: a step there takes the job's picture
    // without loading it again; what the view moved away from is dropped
    // and loaded again when shown. Nothing is read ahead without workers.
    const auto idle = [&] {
      WithinSeconds("the large view's read-ahead", [&] {
        while (!supply.Idle()) std::this_thread::yield();
      });
    };
    int before = loads;
    supply.ReadAheadLarge(b, a);
    idle();
    EXPECT_EQ(loads, before + (workers == 0 ? 0 : 2));
    EXPECT_EQ(supply.TakeLarge(b, {})->Graphic->Width(), 400);
    EXPECT_EQ(loads, before + (workers == 0 ? 1 : 2));
    before = loads;
    supply.ReadAheadLarge(thin, "");
    idle();
    EXPECT_EQ(supply.TakeLarge(a, {})->Graphic->Width(), 300);
    EXPECT_EQ(supply.TakeLarge(thin, {})->Graphic->Width(), 200);
    EXPECT_EQ(loads, before + 2);
  }
}

// The slide's picture is the grid's: a 1:1 stretch copies exactly in both
// modes, clipped or not, so the grid draws a made slide as it would have
// drawn the picture.
TEST(StretchBltTest, SameSizeStretchIsAnExactCopyClippedOrNot) {
  TBitmap source(7, 5);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 7; ++x) source.Canvas().SetPixel(x, y, TColor(0x010203 * (x + 1) + 0x100000 * y));
  for (const int mode : {HALFTONE, COLORONCOLOR}) {
    for (const int dx : {0, -3, 4}) {
      TBitmap target(8, 6);
      target.Canvas().SetStretchBltMode(mode);
      target.Canvas().StretchBlt(dx, 1, 7, 5, source, 0, 0, 7, 5, SRCCOPY);
      for (int y = 0; y < 6; ++y) {
        for (int x = 0; x < 8; ++x) {
          const bool inside = x - dx >= 0 && x - dx < 7 && y >= 1;
          EXPECT_EQ(target.Canvas().Pixel(x, y), inside ? source.Canvas().Pixel(x - dx, y - 1) : clBlack)
              << "mode " << mode << " dx " << dx << " at " << x << "," << y;
        }
      }
    }
  }
}

// Decoded straight into a slide, the picture is what the canvas stretch of
// the whole decoded picture draws, in both modes and at its own size too; a
// slide of no size still decodes, and so raises what decoding raises.
// A photo with an Exif orientation is turned, then stretched by the same
// rule (and fitted by the fitted picture's), though its rows come as stored.
TEST_F(SlideSupplyTest, DecodeStretchedDrawsWhatStretchingTheDecodedPictureDraws) {
  const auto load = [&](int orientation) {
    WriteFile(Dir / "p.jpg",
              MakeJpeg({.Width = 97, .Height = 61, .ExifOrientation = orientation}, [](int x, int y) {
                return Sample{std::uint8_t(x * 3), std::uint8_t(y * 7), std::uint8_t(x ^ y), 0};
              }));
    auto jpeg = std::make_unique<TJPEGImage>();
    jpeg->LoadFromFile(Dir / "p.jpg");
    return jpeg;
  };
  for (const int orientation : {0, 2, 3, 4, 5, 6, 7, 8}) {
    const std::unique_ptr<TJPEGImage> jpeg = load(orientation);
    const TBitmap& whole = jpeg->Bitmap();
    const bool swaps = orientation >= 5;
    ASSERT_EQ(whole.Width(), swaps ? 61 : 97);
    for (const int mode : {HALFTONE, COLORONCOLOR}) {
      for (auto [w, h] : {std::pair{97, 61}, std::pair{40, 25}, std::pair{120, 76}, std::pair{13, 61}}) {
        if (swaps) std::swap(w, h);
        TBitmap expected(w, h);
        expected.Canvas().SetStretchBltMode(mode);
        expected.Canvas().StretchBlt(0, 0, w, h, whole, 0, 0, whole.Width(), whole.Height(), SRCCOPY);
        const std::shared_ptr<TBitmap> made = DecodeStretched(*jpeg, w, h, mode);
        ASSERT_TRUE(made);
        ASSERT_EQ(made->Width(), w);
        ASSERT_EQ(made->Height(), h);
        EXPECT_TRUE(std::equal(made->Bits(), made->Bits() + std::size_t(w) * std::size_t(h), expected.Bits()))
            << "orientation " << orientation << ", mode " << mode << " at " << w << "x" << h;
      }
    }
    const TFitSize view{37, 29};
    const std::shared_ptr<const TBitmap> fitted =
        FitPicture(whole, FittedSize({whole.Width(), whole.Height()}, view));
    const std::shared_ptr<const TBitmap> fitting = DecodeFitting(*load(orientation), view, nullptr);
    ASSERT_TRUE(fitted && fitting);
    ASSERT_EQ(std::pair(fitting->Width(), fitting->Height()), std::pair(fitted->Width(), fitted->Height()));
    EXPECT_TRUE(std::equal(fitted->Bits(), fitted->Bits() + fitted->Width() * fitted->Height(), fitting->Bits()))
        << "fitted, orientation " << orientation;
  }
  const std::unique_ptr<TJPEGImage> plain = load(0);
  TJPEGImage& picture = *plain;
  EXPECT_TRUE(DecodeStretched(picture, 0, 5, HALFTONE)->Empty());
  WriteFile(Dir / "bad.jpg", InsertBeforeEoi(Picture(Colour::Rgb, 64, 48), {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}));
  TJPEGImage bad;
  bad.LoadFromFile(Dir / "bad.jpg");
  EXPECT_THROW(DecodeStretched(bad, 0, 0, HALFTONE), EInvalidGraphic);
  const std::atomic<bool> stop{true};
  EXPECT_FALSE(DecodeStretched(picture, 40, 25, HALFTONE, &stop));
}

// Two links to one file, the file being made ahead when a paint asks for
// both: the paint takes the job under way, and nothing of the job's is read
// before it has run (the thread sanitizer build sees any such read). The
// loader holds the job until the paint has planned; it waits on a flag with
// no ordering, so the sanitizer sees only the supply's own.
TEST_F(SlideSupplyTest, FileMadeAheadAndShownTwiceIsTakenFromItsJobOnceItHasRun) {
  const std::string a = Dir / "a.jpg", link = Dir / "link.jpg";
  WriteFile(a, Picture(Colour::Rgb, 300, 200));
  fs::create_symlink(a, link);
  std::atomic<bool> loading{false}, release{false};
  std::atomic<int> loads{0};
  TSlideSupply supply(2, DefaultSlideStoreBytes(), [&](const std::string& file) {
    ++loads;
    loading.store(true, std::memory_order_relaxed);
    while (!release.load(std::memory_order_relaxed)) std::this_thread::yield();
    return TPicture::LoadResolvedGraphic(file);
  });
  const TSlideLook look{120, false};
  supply.StartAhead({a}, look);
  WithinSeconds("the read-ahead's load", [&] {
    while (!loading.load(std::memory_order_relaxed)) std::this_thread::yield();
  });
  supply.StartSlides({a, link}, look);
  release.store(true, std::memory_order_relaxed);
  const TSlideRef first = supply.TakeSlide(a);
  const TSlideRef second = supply.TakeSlide(link);
  supply.DropUntakenSlides();
  ASSERT_TRUE(first && second);
  EXPECT_EQ(first, second);
  EXPECT_EQ(first->Width(), 120);
  EXPECT_EQ(first->Height(), 80);
  EXPECT_EQ(loads, 1);
}

// A job holds its file's bytes too: two files of 1 MiB (comments, a small
// picture) under a ceiling of 1.5 MiB are made one after the other, by two
// workers. While the first is held in its load, the running jobs hold at
// least its file.
TEST_F(SlideSupplyTest, JobsCountTheirFilesBytesAgainstTheCeiling) {
  const std::string a = Dir / "a.jpg", b = Dir / "b.jpg";
  for (const std::string& file : {a, b}) WriteFile(file, PadWithComments(Picture(Colour::Rgb, 30, 20), 1 << 20));
  std::atomic<int> running{0}, loads{0};
  std::atomic<bool> together{false};
  std::promise<void> firstLoading, release;
  const std::shared_future<void> released = release.get_future().share();
  TSlideSupply supply(2, 0, [&](const std::string& file) {
    if (++running > 1) together = true;
    if (++loads == 1) {
      firstLoading.set_value();
      released.wait();
    }
    --running;
    return TPicture::LoadResolvedGraphic(file);
  });
  supply.Configure(2, 0, 3 << 19);
  supply.StartSlides({a, b}, {120, false});
  WithinSeconds("the first load", [&] { firstLoading.get_future().wait(); });
  EXPECT_GE(supply.BytesRunning(), std::uint64_t(1) << 20);
  release.set_value();
  EXPECT_EQ(supply.TakeSlide(a)->Width(), 120);
  EXPECT_EQ(supply.TakeSlide(b)->Width(), 120);
  supply.DropUntakenSlides();
  EXPECT_FALSE(together);
}

// The large view's jobs stand in the one line under the one ceiling: with
// room for one job, an averaged picture waits while the view's picture
// decodes, then comes to the GUI thread as FitPicture's pixels. One dropped
// never comes; a fitting stopped gives nothing.
TEST_F(SlideSupplyTest, LargeViewJobsShareTheCeilingAndDroppedOnesNeverCome) {
  const std::string a = Dir / "a.jpg";
  WriteFile(a, Picture(Colour::Rgb, 300, 200));
  std::promise<void> loading, release;
  std::shared_future<void> released = release.get_future().share();
  TSlideSupply supply(2, 0, [&](const std::string& file) {
    loading.set_value();
    released.wait();
    return TPicture::LoadResolvedGraphic(file);
  });
  supply.Configure(2, 0, 1);
  supply.StartLarge(a, {});
  WithinSeconds("the decode's start", [&] { loading.get_future().wait(); });
  EXPECT_GE(supply.BytesRunning(), std::uint64_t(300 * 200 * 4));
  TBitmap picture(40, 30);
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x) picture.ScanLine(y)[x] = std::uint32_t(x * 5 + y * 11) * 0x010203u;
  std::vector<std::string> came;
  const auto note = [&](const std::string& name) {
    return [&came, name](std::shared_ptr<const TBitmap> p) { came.push_back(name + (p ? "" : " none")); };
  };
  const TAverager::TRequestRef dropped = supply.StartAveraging(picture, {8, 6}, note("dropped"));
  std::shared_ptr<const TBitmap> made;
  const TAverager::TRequestRef wanted = supply.StartAveraging(picture, {10, 7}, [&](auto p) { made = p; });
  EXPECT_EQ(supply.JobsWaiting(), 2u) << "the ceiling holds them back";
  supply.DropAveraging(dropped);
  EXPECT_EQ(supply.JobsWaiting(), 1u);
  release.set_value();
  EXPECT_EQ(supply.TakeLarge(a, {})->Graphic->Width(), 300);
  WithinSeconds("the averaging", [&] { supply.WaitForAveraging(wanted); });
  ASSERT_NE(made, nullptr);
  const auto expected = FitPicture(picture, {10, 7});
  EXPECT_TRUE(std::equal(expected->Bits(), expected->Bits() + 10 * 7, made->Bits()));
  QCoreApplication::processEvents();
  EXPECT_TRUE(came.empty());
  const std::atomic<bool> stop{true};
  EXPECT_EQ(FitPicture(picture, {10, 7}, &stop), nullptr);
}

// With a wait limit, a paint leaves a slide still being made to a later
// paint, said once when it is made; that paint takes it from the same job.
// One left by a view that moved on is dropped, and made anew when shown. A
// click's picture is left and said the same way. The limit here is nothing:
// every file is held by a latch, so what a paint shows is what was made
// before it.
TEST_F(SlideSupplyTest, PaintWithAWaitLimitLeavesSlowSlidesToALaterPaint) {
  const std::string a = Dir / "a.jpg", b = Dir / "b.jpg", c = Dir / "c.jpg", link = Dir / "link.jpg";
  for (const std::string& file : {a, b, c}) WriteFile(file, Picture(Colour::Rgb, 300, 200));
  fs::create_symlink(b, link);
  std::atomic<bool> holdA{true}, holdB{true}, holdC{true};
  std::atomic<int> loadsA{0}, loadsB{0}, loadsC{0};
  // No store: what a later paint shows comes from the job alone.
  TSlideSupply supply(2, 0, [&](const std::string& file) {
    std::atomic<bool>& hold = file == a ? holdA : file == b ? holdB : holdC;
    ++(file == a ? loadsA : file == b ? loadsB : loadsC);
    while (hold.load()) std::this_thread::yield();
    return TPicture::LoadResolvedGraphic(file);
  });
  int ready = 0;
  std::vector<std::string> largeReady;
  supply.SetWaitLimit(
      std::chrono::milliseconds(0), [&] { ++ready; }, [&](const std::string& file) { largeReady.push_back(file); });
  const TSlideLook look{120, false};
  const auto paint = [&](const std::vector<std::string>& files) {
    std::string shown;
    supply.GridPaintBegins(files, look);
    for (const std::string& file : files) {
      TBitmap buffer(5, 5);
      shown += supply.Fill(file, buffer) ? std::to_string(buffer.Width()) : "-" + std::to_string(buffer.Width());
      shown += " ";
    }
    supply.GridPaintEnds();
    return shown;
  };
  // What is said runs on this thread, in the event loop: until it is said
  // (the watchdog a guard, not a measure), or over some turns of the loop
  // for what must not be said.
  const auto runUntil = [&](const std::function<bool()>& until) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!until() && std::chrono::steady_clock::now() < end)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_TRUE(until()) << "never said";
  };
  const auto turns = [] {
    for (int i = 0; i < 10; ++i) QCoreApplication::processEvents();
  };
  // Painted again while a and b are still being made: b and its link keep
  // their one job; nothing is said while all is held.
  EXPECT_EQ(paint({a, b, link}), "-0 -0 -0 ");
  EXPECT_EQ(paint({a, b, link}), "-0 -0 -0 ");
  turns();
  EXPECT_EQ(ready, 0);
  holdA = false;
  runUntil([&] { return ready > 0; });
  turns();
  EXPECT_EQ(ready, 1);
  EXPECT_EQ(paint({a, b, link}), "120 -0 -0 ");
  holdB = false;
  runUntil([&] { return ready > 1; });
  turns();
  EXPECT_EQ(ready, 2);
  // (A paint of a again would start a new job: a was taken.)
  EXPECT_EQ(paint({b, link}), "120 120 ");
  EXPECT_EQ(loadsA, 1);
  EXPECT_EQ(loadsB, 1);
  // c is left, then dropped when the view moves on to a, and made anew when
  // shown again. (A file let go could be made before the paint's request:
  // each is held while a paint must leave it.)
  holdA = true;
  EXPECT_EQ(paint({c}), "-0 ");
  WithinSeconds("c's load", [&] {
    while (loadsC == 0) std::this_thread::yield();
  });
  EXPECT_EQ(paint({a}), "-0 ");
  holdA = false;
  runUntil([&] { return ready > 2; });
  EXPECT_EQ(paint({a}), "120 ");
  EXPECT_EQ(paint({c}), "-0 ");
  holdC = false;
  runUntil([&] { return ready > 3; });
  EXPECT_EQ(paint({c}), "120 ");
  EXPECT_EQ(loadsC, 2);
  EXPECT_EQ(loadsA, 2);
  // A click's picture the same way: none at the limit, said once made, then taken.
  holdB = true;
  ready = 0;
  EXPECT_FALSE(supply.TakeLarge(b, {100, 100}));
  turns();
  EXPECT_TRUE(largeReady.empty());
  holdB = false;
  runUntil([&] { return !largeReady.empty(); });
  turns();
  EXPECT_EQ(largeReady, std::vector<std::string>{b});
  EXPECT_EQ(ready, 0);
  const std::optional<TSlideSupply::TLargePicture> large = supply.TakeLarge(b, {100, 100});
  ASSERT_TRUE(large);
  EXPECT_EQ(large->Graphic->Width(), 300);
  EXPECT_EQ(large->Fitted->Width(), 100);
  EXPECT_EQ(loadsB, 2);
}

}  // namespace
