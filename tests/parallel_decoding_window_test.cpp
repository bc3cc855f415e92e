// The window's slides made on worker threads and kept: whatever the workers
// and the store, the grid gets the same events, draws the same pixels and
// reports the same errors as when each file is loaded at its request.
#include <sys/resource.h>
#include <unistd.h>

#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include "app/SlideSupply.h"
#include "support/BrowserTest.h"
#include "support/ScopedEnv.h"
#include "toolkit/DecodePool.h"
#include "toolkit/JpegFrame.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

const fs::path kPhotos = fs::path(GLIMMET_CORPUS_DIR) / "photos";

// Everything a person could tell apart in one round of browsing.
struct Outcome {
  std::vector<std::string> Events;
  std::vector<std::string> Errors;
  std::vector<std::vector<std::uint32_t>> Shown;  // the grid after each step
  bool operator==(const Outcome&) const = default;
};

Bytes Picture(Colour colours, int width, int height, bool progressive = false) {
  return MakeJpeg({.Width = width, .Height = height, .Colours = colours, .Progressive = progressive},
                  [](int x, int y) {
                    return Sample{std::uint8_t(x * 3), std::uint8_t(y * 7), std::uint8_t(x ^ y), 0};
                  });
}

Bytes CutInData(const Bytes& b) { return Truncate(b, FindMarker(b, 0xDA) + (b.size() - FindMarker(b, 0xDA)) / 2); }

// Ends the run at once rather than by the suite's time limit.
template <class F>
void WithinSeconds(const char* what, F&& f, int seconds = 20) {
  auto done = std::async(std::launch::async, std::forward<F>(f));
  if (done.wait_for(std::chrono::seconds(seconds)) != std::future_status::ready) {
    std::cerr << what << " never happened\n";
    std::_Exit(1);
  }
  done.get();
}

const Bytes kUnknownMarker{0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00};
const std::string kAtDecode = "JPEG error #" + std::to_string(JERR_UNKNOWN_MARKER) + ".";

struct Look {
  bool AntiAlias;
  int BitsPerPixel;
  int SlideSize;
  bool Photos;  // decoding large pictures takes long; two looks suffice
};

class ParallelDecodingTest : public BrowserTest {
 protected:
  // A folder whose slide k shows pictures[k - 1]: the scan lists in the
  // directory's order, not by name.
  std::string Folder(const std::string& name, const std::vector<Bytes>& pictures) {
    const std::string folder = Dir.AddDir(name);
    for (std::size_t i = 0; i < pictures.size(); ++i) WriteFile(folder + "/" + std::to_string(i) + ".jpg", {});
    TStringList listed;
    ScanFilesIntoList(folder + "/*.jpg", false, &listed, nullptr);
    for (int i = 0; i < listed.Count(); ++i)
      WriteFile(folder + "/" + ExtractFileName(listed[i]), pictures[std::size_t(i)]);
    return folder;
  }

  void TearDown() override {
    Screen.BitsPerPixel = FSavedBitsPerPixel;
    BrowserTest::TearDown();
  }

  // Records the grid's events around the window's own handlers.
  void Record(Outcome& out) {
    TThumbnails& grid = *Window->Thumbs1;
    auto first = grid.OnFirstImageRequest;
    auto request = grid.OnImageRequest;
    auto last = grid.OnLastImageRequest;
    grid.OnFirstImageRequest = [&out, first](TObject* s) {
      out.Events.push_back("first");
      first(s);
    };
    grid.OnImageRequest = [&out, request](TObject* s, int id, TImageRequestProcessing& how, int& mark,
                                          TBitmap*& buf) {
      request(s, id, how, mark, buf);
      out.Events.push_back("request " + std::to_string(id) + " as " + std::to_string(how) + " empty " +
                           std::to_string(buf->Empty()) + " cursor " + std::to_string(Screen.Cursor()));
    };
    grid.OnLastImageRequest = [&out, last](TObject* s) {
      last(s);
      out.Events.push_back("last");
    };
    grid.OnSlideRendered = [&out](TObject*, TCanvas&, int x, int y, int id) {
      out.Events.push_back("rendered " + std::to_string(id) + " at " + std::to_string(x) + "," + std::to_string(y));
    };
  }

  void Keep(Outcome& out) {
    const TBitmap& shown = Window->Thumbs1->Surface();
    out.Shown.emplace_back(shown.Bits(), shown.Bits() + std::size_t(shown.Width()) * std::size_t(shown.Height()));
  }

  // The folders every round browses, and the corpus photos when there are any.
  void MakeFolders() {
    // In "failing" slide 2 fails while decoding, slide 4 when loading, which
    // is sooner; 2 is requested first (1, 3, 5, 7, 2, 4, ...), so its error is
    // the one. In "failing-at-load" slide 3 fails when loading, requested
    // second, before slide 5 that fails while decoding. Nothing fails in
    // "drawn", so every slide is drawn.
    FFolders = {Folder("failing",
                       {Picture(Colour::Rgb, 900, 700),
                        InsertBeforeEoi(Picture(Colour::Rgb, 1200, 900), kUnknownMarker),
                        Picture(Colour::Grey, 300, 500), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'},
                        Picture(Colour::Cmyk, 200, 120), CutInData(Picture(Colour::Rgb, 640, 480, true))}),
                Folder("failing-at-load",
                       {Picture(Colour::Rgb, 300, 200), Picture(Colour::Rgb, 30, 20),
                        PatchSofSize(Picture(Colour::Rgb, 64, 48), 20000, 20000), Picture(Colour::Rgb, 30, 20),
                        InsertBeforeEoi(Picture(Colour::Rgb, 64, 48), kUnknownMarker)}),
                Folder("drawn", {Picture(Colour::Grey, 640, 480, true), CutInData(Picture(Colour::Rgb, 800, 600)),
                                 Picture(Colour::Ycck, 150, 260), Picture(Colour::Rgb, 48, 700),
                                 CutInData(Picture(Colour::Grey, 700, 500, true)),
                                 // Strips whose short side scales to nothing.
                                 Picture(Colour::Rgb, 1, 300), Picture(Colour::Rgb, 500, 2)})};
    if (fs::is_directory(kPhotos)) {
      FPhotos = Dir.AddDir("photos");
      for (const auto& e : fs::directory_iterator(kPhotos)) fs::copy_file(e.path(), FPhotos / e.path().filename());
    }
  }

  // Every folder listed, repainted, scrolled half a row and back, with
  // slides made on the given number of workers and kept in a store of the
  // given size (0 and 0: each file loaded at its request, full size).
  Outcome Browse(int workers, std::uint64_t storeBytes, const Look& look) {
    Errors.clear();
    Screen.BitsPerPixel = look.BitsPerPixel;
    Open();
    Window->Supply().Configure(workers, storeBytes);
    Outcome out;
    Record(out);
    Window->Thumbs1->SetAntiAlias(look.AntiAlias);
    Window->Thumbs1->SetSlideSize(look.SlideSize);
    for (const std::string& folder : FFolders) {
      Choose(folder);
      Keep(out);
      RepaintGrid();
      Keep(out);
      for (const int position : {3, 2}) {
        Window->SBarThumbs->setValue(position);
        QApplication::processEvents();
        Keep(out);
      }
    }
    if (look.Photos && !FPhotos.empty()) {
      Choose(FPhotos);
      Keep(out);
    }
    out.Errors = Errors;
    Window.reset();
    return out;
  }

  std::vector<std::string> FFolders;
  std::string FPhotos;  // the corpus photos, when there are any

 private:
  int FSavedBitsPerPixel = Screen.BitsPerPixel;
};

TEST_F(ParallelDecodingTest, AnyWorkersAndStoreGiveTheEventsPixelsAndErrorsOfLoadingEachRequest) {
  if (!fs::is_directory(kPhotos))
    std::cout << "no corpus photos at " << kPhotos << "; painting made pictures only\n";
  constexpr std::uint64_t kStore = std::uint64_t(64) << 20;
  MakeFolders();
  for (const Look look : {Look{false, 32, 120, true}, Look{true, 32, 120, true}, Look{false, 8, 120, false},
                          Look{true, 32, 67, false}}) {
    SCOPED_TRACE(testing::Message() << "AntiAlias " << look.AntiAlias << ", " << look.BitsPerPixel << " bits, "
                                    << look.SlideSize);
    const Outcome literal = Browse(0, 0, look);
    // Each failing folder reports the failing slide it requests first (in
    // two columns).
    ASSERT_FALSE(literal.Errors.empty());
    if (look.SlideSize == 120) {
      EXPECT_EQ(literal.Errors.front(), kAtDecode);
      EXPECT_EQ(literal.Errors.back(), "JPEG error #" + std::to_string(JERR_INPUT_EOF) + ".");
    }
    const std::pair<int, std::uint64_t> settings[] = {{0, kStore}, {1, 0}, {4, kStore}, {2, 200'000}};
    for (const auto& [workers, storeBytes] : settings) {
      SCOPED_TRACE(testing::Message() << workers << " workers, store " << storeBytes);
      const Outcome made = Browse(workers, storeBytes, look);
      EXPECT_EQ(made.Events, literal.Events);
      EXPECT_EQ(made.Errors, literal.Errors);
      ASSERT_EQ(made.Shown.size(), literal.Shown.size());
      for (std::size_t i = 0; i < made.Shown.size(); ++i)
        EXPECT_TRUE(made.Shown[i] == literal.Shown[i]) << "step " << i;
    }
  }
}

// 36 megapixels in 150 scans, each a pass over the whole picture although
// their data ran out: decoding takes seconds.
Bytes SlowPicture() {
  return PadWithComments(PatchSofSize(RepeatLastScan(Picture(Colour::Grey, 64, 48, true), 150), 6000, 6000),
                         80'000);
}

TEST_F(ParallelDecodingTest, FailingSlideIsReportedAfterThePaintAndNoWorkerOutlivesIt) {
  // Slide 1 is requested first and fails after its rows; slide 3, the slow
  // one, is requested next and decodes meanwhile.
  const std::string folder = Folder("slow", {InsertBeforeEoi(Picture(Colour::Rgb, 1200, 900), kUnknownMarker),
                                             Picture(Colour::Rgb, 640, 480), SlowPicture()});
  const ScopedEnv memoryOnly("GLIMMET_DISK_CACHE_MIB", "0");  // the emptied store is what is checked
  Open();
  Window->Supply().Configure(2, DefaultSlideStoreBytes());
  std::vector<int> cursors;
  Window->Thumbs1->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int) { cursors.push_back(Screen.Cursor()); };
  ASSERT_TRUE(Choose(folder));
  ASSERT_FALSE(Errors.empty());  // once for each paint of the listing
  for (const std::string& e : Errors) EXPECT_EQ(e, kAtDecode);
  ASSERT_FALSE(cursors.empty());
  EXPECT_EQ(cursors, std::vector<int>(cursors.size(), crHourGlass));
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_TRUE(Window->Supply().Idle());

  // A paint that a handler's exception ends before the slow slide drops it:
  // a dropped slide is never kept (and its decode stops at its next band,
  // CancelledDecodeEndsAtItsNextBand), so the store holds slide 2 at most.
  Errors.clear();
  Window->Thumbs1->OnSlideRendered = [](TObject*, TCanvas&, int, int, int) { throw Exception("Stopped"); };
  Window->Supply().ClearStore();
  RepaintGrid();
  EXPECT_EQ(Errors, std::vector<std::string>{"Stopped."});
  EXPECT_EQ(Screen.Cursor(), crHourGlass);
  WithinSeconds("the dropped decode's end", [&] {
    while (!Window->Supply().Idle()) QThread::msleep(1);
  });
  const std::uint64_t kept = Window->Supply().Store().Bytes();
  EXPECT_TRUE(kept == 0 || kept == TSlideStore::SlideBytes(TBitmap(120, 90))) << kept;
}

// However much is left, a decode ends at the band after its cancel, or
// before the first when cancelled before it starts (in the slow picture's
// first scan).
TEST_F(ParallelDecodingTest, CancelledDecodeEndsAtItsNextBand) {
  for (const auto& [data, bands] : {std::pair{Picture(Colour::Rgb, 640, 480), 1}, std::pair{SlowPicture(), 0}}) {
    WriteFile(Dir / "p.jpg", data);
    TJPEGImage picture;
    picture.LoadFromFile(Dir / "p.jpg");
    std::atomic<bool> cancel{bands == 0};
    int got = 0;  // the first band cancels
    EXPECT_FALSE(picture.DecodeRows([&](const std::uint32_t*, int) { cancel = ++got > 0; }, &cancel));
    EXPECT_EQ(got, bands);
  }
}

// The files a paint asks for start in an order that has the slow ones
// started early enough, and like ones in the paint's order.
TEST(DecodeStartOrderTest, SlowFilesStartEarlyEnoughAndLikeOnesInThePaintsOrder) {
  struct Row {
    const char* Name;
    int Workers;
    std::vector<double> Costs;
    std::vector<std::size_t> Order;
  };
  const Row rows[] = {
      {"none", 2, {}, {}},
      {"alike", 2, {5, 5, 5, 5}, {0, 1, 2, 3}},
      {"unknown costs", 2, {0, 0, 0}, {0, 1, 2}},
      {"slow one second", 2, {4, 10, 1, 1, 1, 1, 1, 1}, {1, 0, 2, 3, 4, 5, 6, 7}},
      {"slow one last, one worker", 1, {1, 1, 5}, {2, 0, 1}},
      {"no workers count as one", 0, {1, 1, 5}, {2, 0, 1}},
      {"one worker may start it later", 1, {1, 1, 1.6}, {0, 1, 2}},
      {"two workers must start it sooner", 2, {1, 1, 1.6}, {0, 2, 1}},
      {"slow enough to start second", 2, {1, 1, 1, 1, 2.75}, {0, 4, 1, 2, 3}},
      {"tie keeps the paint's order", 4, {1, 1, 1, 1, 1, 1, 1, 1, 3}, {0, 8, 1, 2, 3, 4, 5, 6, 7}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    EXPECT_EQ(DecodeStartOrder(row.Costs, row.Workers), row.Order);
  }
}

TEST_F(ParallelDecodingTest, DecodeCostAndBytesComeFromTheFrameHeader) {
  struct Row {
    const char* Name;
    Bytes Data;
    double Cost;
    std::uint64_t Decoded, ByRows;
  };
  const Row rows[] = {
      // 40 x 30 pixels of 4 bytes; rows: 16 of 40 pixels; a progressive
      // file's coefficients: 2 bytes a sample of each component.
      {"plain.jpg", Picture(Colour::Rgb, 40, 30), 1200, 4800, 2560},
      {"progressive.jpg", Picture(Colour::Grey, 40, 30, true), 3600, 4800 + 2400, 2400 + 2560},
      {"progressive_rgb.jpg", Picture(Colour::Rgb, 40, 30, true), 3600, 4800 + 7200, 7200 + 2560},
      {"arithmetic.jpg", MakeJpeg({.Width = 40, .Height = 30, .Arithmetic = true}, Flat({1, 2, 3, 0})), 5400, 4800,
       2560},
      {"text.jpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'}, 0, 0, 0},
  };
  for (const Row& row : rows) {
    WriteFile(Dir / row.Name, row.Data);
    const TDecodeEstimate e = EstimateDecode(Dir / row.Name);
    EXPECT_EQ(e.Cost, row.Cost) << row.Name;
    EXPECT_EQ(e.Bytes, row.Decoded) << row.Name;
    EXPECT_EQ(e.RowBytes, row.ByRows) << row.Name;
  }
  EXPECT_EQ(EstimateDecode(Dir / "missing.jpg").Bytes, 0u);
}

// A job that holds until its latch opens, and tells when it started, ran
// out or was asked to stop, and the name and nice value of its thread.
using enum TDecodePool::TLane;

struct LatchedJob {
  std::promise<void> Open;
  std::shared_future<void> Opened = Open.get_future().share();
  std::promise<void> Started;
  std::atomic<bool> Stopped{false};
  std::atomic<int> Runs{0};
  std::atomic<int> Nice{-100};
  std::string Thread;
  TDecodePool::TWork Work() {
    return [this](const std::atomic<bool>& stop) {
      ++Runs;
      Nice = getpriority(PRIO_PROCESS, id_t(gettid()));
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
  const auto jobHuge = pool.Queue(huge.Work(), 5000, Now);
  const auto jobA = pool.Queue(a.Work(), 600, Now);
  StartedWithin(huge);  // alone it may start, however large
  EXPECT_EQ(pool.BytesRunning(), 5000u);
  huge.Open.set_value();
  StartedWithin(a);
  const auto jobB = pool.Queue(b.Work(), 600, Now);
  const auto jobC = pool.Queue(c.Work(), 400, Now);
  // b would pass the ceiling beside a, and c waits behind b: started in order.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(pool.BytesRunning(), 600u);
  EXPECT_EQ(b.Runs + c.Runs, 0);
  a.Open.set_value();
  StartedWithin(b);
  StartedWithin(c);
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
  blocker.Open.set_value();
  StartedWithin(later);
  // Only once no Now job waits, and yielding the processor to the paint's.
  StartedWithin(ahead);
  EXPECT_EQ(later.Runs, 1);
  const int nice = getpriority(PRIO_PROCESS, id_t(gettid()));
  EXPECT_EQ(later.Nice, nice);
  EXPECT_EQ(later.Thread, "glimmet-decode");
  EXPECT_EQ(ahead.Thread, "glimmet-ahead");
  if (nice <= 10) {
    EXPECT_EQ(ahead.Nice, 10);
  }
  later.Open.set_value();
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

TEST_F(ParallelDecodingTest, SlidesAreMadeOnceUntilTheirFileChangesAndFailuresAreNeverKept) {
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
      return TPicture::LoadGraphic(file);
    });
    const TSlideLook look{120, false};
    const auto paint = [&](const std::vector<std::string>& files) {
      std::vector<std::string> sizes;
      supply.StartPaint(files, look);
      for (const std::string& f : files) {
        try {
          const TSlideRef s = supply.TakeSlide(f);
          sizes.push_back(std::to_string(s->Width()) + "x" + std::to_string(s->Height()));
        } catch (const std::exception& e) {
          sizes.push_back(e.what());
        }
      }
      supply.EndPaint();
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
    supply.StartPaint({a}, {120, true});
    EXPECT_EQ(supply.TakeSlide(a)->Width(), 120);
    supply.StartPaint({a}, {90, false});
    EXPECT_EQ(supply.TakeSlide(a)->Width(), 90);
    EXPECT_EQ(loads, 8);
    // Taken out of order, the files passed over are dropped, but not the job
    // the taken one shares: its slide is kept.
    supply.ClearStore();
    supply.StartPaint({a, link}, look);
    EXPECT_EQ(supply.TakeSlide(link)->Width(), 120);
    EXPECT_EQ(paint({a}), std::vector<std::string>{"120x80"});
    EXPECT_EQ(loads, 9);
    // Made ahead into the store in the look asked for, not the last paint's,
    // then painted without a load.
    supply.ClearStore();
    supply.StartAhead({a, b}, look);
    WithinSeconds("the read-ahead", [&] {
      while (!supply.Idle()) std::this_thread::yield();
    });
    EXPECT_EQ(loads, workers == 0 ? 9 : 11);  // nothing runs ahead without workers
    EXPECT_EQ(paint({a, b}), (std::vector<std::string>{"120x80", "120x30"}));
    EXPECT_EQ(loads, 11);
    // The large view takes the file it names, whatever was started.
    supply.StartLarge(a);
    EXPECT_EQ(supply.TakeLarge(b)->Width(), 400);
  }
}

// The slide's picture is the grid's: a 1:1 stretch copies exactly in both
// modes, clipped or not, so the grid draws a made slide as it would have
// drawn the picture.
TEST(MakeSlideTest, SameSizeStretchIsAnExactCopyClippedOrNot) {
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

}  // namespace
