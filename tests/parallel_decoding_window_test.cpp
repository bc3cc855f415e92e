// The window's pictures decoded on worker threads: whatever the number of
// workers, the grid gets the same events in the same order, draws the same
// pixels and reports the same errors as when each file is loaded at its
// request; no worker stays busy after a paint.
#include <QElapsedTimer>
#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <thread>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include "app/DecodeOrder.h"
#include "app/SlidePrefetch.h"
#include "support/BrowserTest.h"
#include "toolkit/DecodePool.h"

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
  Options o;
  o.Colours = colours;
  o.Width = width;
  o.Height = height;
  o.Progressive = progressive;
  return MakeJpeg(o, [](int x, int y) {
    return Sample{std::uint8_t(x * 3), std::uint8_t(y * 7), std::uint8_t(x ^ y), 0};
  });
}

Bytes CutInData(const Bytes& b) { return Truncate(b, FindMarker(b, 0xDA) + (b.size() - FindMarker(b, 0xDA)) / 2); }

class ParallelDecodingTest : public BrowserTest {
 protected:
  void SetUp() override {
    BrowserTest::SetUp();
    FSavedBitsPerPixel = Screen.BitsPerPixel;
    const Bytes unknownMarker{0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00};
    // Slide 2 fails while decoding, slide 4 when loading, which is sooner;
    // 2 is requested first (1, 3, 5, 7, 2, 4, ...), so its error is the one.
    const std::string failing =
        Folder("failing",
               {Picture(Colour::Rgb, 900, 700), InsertBeforeEoi(Picture(Colour::Rgb, 1200, 900), unknownMarker),
                Picture(Colour::Grey, 300, 500), Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'},
                Picture(Colour::Cmyk, 200, 120), CutInData(Picture(Colour::Rgb, 640, 480, true))});
    // Slide 3 fails when loading, requested second, before slide 5 that
    // fails while decoding.
    const std::string failingAtLoad =
        Folder("failing-at-load",
               {Picture(Colour::Rgb, 300, 200), Picture(Colour::Rgb, 30, 20),
                PatchSofSize(Picture(Colour::Rgb, 64, 48), 20000, 20000), Picture(Colour::Rgb, 30, 20),
                InsertBeforeEoi(Picture(Colour::Rgb, 64, 48), unknownMarker)});
    // Nothing fails here, so every slide is drawn.
    const std::string drawn =
        Folder("drawn", {Picture(Colour::Grey, 640, 480, true), CutInData(Picture(Colour::Rgb, 800, 600)),
                         Picture(Colour::Ycck, 150, 260), Picture(Colour::Rgb, 48, 700),
                         CutInData(Picture(Colour::Grey, 700, 500, true))});
    FFolders = {failing, failingAtLoad, drawn};
    if (fs::is_directory(kPhotos)) {
      FPhotos = Dir.AddDir("photos");
      for (const auto& e : fs::directory_iterator(kPhotos)) fs::copy_file(e.path(), FPhotos / e.path().filename());
    }
  }

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
      out.Events.push_back("request " + std::to_string(id) + " as " + std::to_string(how) + " " +
                           std::to_string(buf->Width()) + "x" + std::to_string(buf->Height()) + " cursor " +
                           std::to_string(Screen.Cursor()));
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

  // Every folder listed, repainted, and scrolled half a row, with pictures
  // decoded on the given number of workers (0: each loaded at its request).
  Outcome Browse(int workers, bool antiAlias, int bitsPerPixel, bool photos) {
    Errors.clear();
    Screen.BitsPerPixel = bitsPerPixel;
    Open();
    Window->Prefetch().SetWorkers(workers);
    Outcome out;
    Record(out);
    Window->Thumbs1->SetAntiAlias(antiAlias);
    for (const std::string& folder : FFolders) {
      Choose(folder);
      Keep(out);
      RepaintGrid();
      Keep(out);
      Window->SBarThumbs->setValue(Window->SBarThumbs->value() == 2 ? 3 : 2);
      QApplication::processEvents();
      Keep(out);
    }
    if (photos && !FPhotos.empty()) {
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
  int FSavedBitsPerPixel = 32;
};

TEST_F(ParallelDecodingTest, AnyNumberOfWorkersGivesTheEventsPixelsAndErrorsOfOneThread) {
  if (!fs::is_directory(kPhotos))
    std::cout << "no corpus photos at " << kPhotos << "; painting made pictures only\n";
  struct Look {
    bool AntiAlias;
    int BitsPerPixel;
    bool Photos;  // decoding large pictures takes long; two looks suffice
  };
  for (const Look look : {Look{false, 32, true}, Look{true, 32, true}, Look{false, 8, false}}) {
    SCOPED_TRACE(testing::Message() << "AntiAlias " << look.AntiAlias << ", " << look.BitsPerPixel << " bits");
    const Outcome oneThread = Browse(0, look.AntiAlias, look.BitsPerPixel, look.Photos);
    // Each failing folder reports the failing slide it requests first.
    const std::string atDecode = "JPEG error #" + std::to_string(JERR_UNKNOWN_MARKER) + ".";
    const std::string atLoad = "JPEG error #" + std::to_string(JERR_INPUT_EOF) + ".";
    ASSERT_FALSE(oneThread.Errors.empty());
    EXPECT_EQ(oneThread.Errors.front(), atDecode);
    EXPECT_EQ(oneThread.Errors.back(), atLoad);
    for (const int workers : {1, 4}) {
      SCOPED_TRACE(testing::Message() << workers << " workers");
      const Outcome pooled = Browse(workers, look.AntiAlias, look.BitsPerPixel, look.Photos);
      EXPECT_EQ(pooled.Events, oneThread.Events);
      EXPECT_EQ(pooled.Errors, oneThread.Errors);
      EXPECT_TRUE(pooled.Shown == oneThread.Shown);
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
  const std::string folder =
      Folder("slow", {InsertBeforeEoi(Picture(Colour::Rgb, 1200, 900), {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00}),
                      Picture(Colour::Rgb, 640, 480), SlowPicture()});
  Open();
  Window->Prefetch().SetWorkers(2);
  std::vector<int> cursors;
  Window->Thumbs1->OnSlideRendered = [&](TObject*, TCanvas&, int, int, int) { cursors.push_back(Screen.Cursor()); };
  ASSERT_TRUE(Choose(folder));
  ASSERT_FALSE(Errors.empty());  // once for each paint of the listing
  for (const std::string& e : Errors) EXPECT_EQ(e, "JPEG error #" + std::to_string(JERR_UNKNOWN_MARKER) + ".");
  ASSERT_FALSE(cursors.empty());
  EXPECT_EQ(cursors, std::vector<int>(cursors.size(), crHourGlass));
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_TRUE(Window->Prefetch().Idle());

  // A paint that a handler's exception ends before the slow slide drops it:
  // stopping a decode takes a row of it, not the rest of it. Compared with a
  // paint that waits for the whole decode, in this run.
  QElapsedTimer clock;
  clock.start();
  RepaintGrid();
  const qint64 wholeDecode = clock.elapsed();
  Errors.clear();
  Window->Thumbs1->OnSlideRendered = [](TObject*, TCanvas&, int, int, int) { throw Exception("Stopped"); };
  RepaintGrid();
  clock.restart();
  EXPECT_EQ(Errors, std::vector<std::string>{"Stopped."});
  EXPECT_EQ(Screen.Cursor(), crHourGlass);
  while (!Window->Prefetch().Idle() && clock.elapsed() < wholeDecode) QThread::msleep(1);
  EXPECT_LT(clock.elapsed(), wholeDecode / 2);
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

TEST_F(ParallelDecodingTest, DecodeCostComesFromTheFrameHeader) {
  const auto cost = [&](const std::string& name, const Bytes& bytes) {
    WriteFile(Dir / name, bytes);
    return EstimateDecodeCost(Dir / name);
  };
  EXPECT_EQ(cost("plain.jpg", Picture(Colour::Rgb, 40, 30)), 1200);
  EXPECT_EQ(cost("progressive.jpg", Picture(Colour::Grey, 40, 30, true)), 3600);
  EXPECT_EQ(cost("arithmetic.jpg", MakeJpeg({.Width = 40, .Height = 30, .Arithmetic = true}, Flat({1, 2, 3, 0}))),
            5400);
  EXPECT_EQ(cost("text.jpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'}), 0);
  EXPECT_EQ(EstimateDecodeCost(Dir / "missing.jpg"), 0);
}

// The taker's job, when it must wait for a free worker; a hang would fail
// by the suite's time limit, so it ends the run at once instead.
std::unique_ptr<TGraphic> TakeOrStop(TDecodePool& pool, const TDecodePool::TJobRef& job) {
  auto taken = std::async(std::launch::async, [&] { return pool.Take(job); });
  if (taken.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
    std::cerr << "Take never got its job started\n";
    std::_Exit(1);
  }
  return taken.get();
}

// At most workers + 1 decoded pictures: the workers' and the taker's, one
// more only while the taker waits, and that one never a picture asked for
// after the one it waits for.
TEST_F(ParallelDecodingTest, PoolKeepsToWorkersPlusOnePicturesAndStartsTheAwaitedOne) {
  std::vector<std::string> files{Dir / "slow.jpg"};
  WriteFile(files[0], Picture(Colour::Rgb, 4000, 3000, true));  // a tenth of a second or more
  for (int i = 1; i <= 4; ++i) {
    files.push_back(Dir / (std::to_string(i) + ".jpg"));
    WriteFile(files.back(), Picture(Colour::Rgb, 64, 48));
  }
  const auto settle = [] { std::this_thread::sleep_for(std::chrono::milliseconds(20)); };
  TDecodePool pool(2);
  settle();  // the workers wait, to be woken by the queueing
  const std::vector<TDecodePool::TJobRef> jobs = pool.Queue(files, true);
  // The slow one and file 1 start, however busy the machine; nothing more may.
  for (int i = 0; i < 5000 && pool.Held() < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  settle();
  EXPECT_EQ(pool.Held(), 2);

  std::atomic<bool> taken{false};
  int most = 0;
  std::thread watcher([&] {
    while (!taken) {
      most = std::max(most, pool.Held());
      std::this_thread::sleep_for(std::chrono::microseconds(100));
    }
  });
  const std::unique_ptr<TGraphic> slow = TakeOrStop(pool, jobs[0]);
  taken = true;
  watcher.join();
  EXPECT_EQ(slow->Width(), 4000);
  EXPECT_EQ(most, 3);  // file 2 started while the taker waited
  settle();
  EXPECT_EQ(pool.Held(), 2);  // files 1 and 2; file 3 waits

  // Waiting for file 4 lets file 4 start, not file 3 ahead of it in the queue.
  EXPECT_EQ(TakeOrStop(pool, jobs[4])->Width(), 64);
  settle();
  EXPECT_EQ(pool.Held(), 2);

  // A place freed by taking or by cancelling goes to the next in line.
  const TDecodePool::TJobRef extra = pool.Queue({files[1]}, true).front();
  EXPECT_EQ(TakeOrStop(pool, jobs[1])->Width(), 64);
  settle();
  EXPECT_EQ(pool.Held(), 2);  // files 2 and 3
  pool.Cancel(jobs[2]);
  settle();
  EXPECT_EQ(pool.Held(), 2);  // file 3 and the extra one

  // Cancelling ends every hold, a running decode's once it has stopped.
  const auto idle = [&](const TDecodePool& p) {
    settle();
    for (int i = 0; i < 5000 && !p.Idle(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    return p.Idle();
  };
  pool.Cancel(jobs[3]);
  pool.Cancel(extra);
  EXPECT_TRUE(idle(pool));
  EXPECT_EQ(pool.Held(), 0);
  const TDecodePool::TJobRef again = pool.Queue({files[0]}, true).front();
  for (int i = 0; i < 5000 && pool.Held() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  pool.Cancel(again);
  EXPECT_TRUE(idle(pool));
  EXPECT_EQ(pool.Held(), 0);

  // With fewer workers than cores, the taking thread decodes a file no
  // worker has started, and no worker decodes it again.
  if (std::thread::hardware_concurrency() < 2) return;
  TDecodePool one(1);
  const std::vector<TDecodePool::TJobRef> both = one.Queue({files[0], files[1]}, true);
  for (int i = 0; i < 5000 && one.Held() < 1; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(TakeOrStop(one, both[1])->Width(), 64);
  EXPECT_EQ(TakeOrStop(one, both[0])->Width(), 4000);
  EXPECT_TRUE(idle(one));
  EXPECT_EQ(one.Held(), 0);
}

// Whatever was started ahead, each request gets the file it names.
TEST_F(ParallelDecodingTest, PrefetchGivesTheFileAskedFor) {
  const std::string a = Dir / "a.jpg", b = Dir / "b.jpg";
  WriteFile(a, Picture(Colour::Rgb, 30, 20));
  WriteFile(b, Picture(Colour::Rgb, 50, 40));
  TSlidePrefetch prefetch(2);
  prefetch.StartLarge(a);
  EXPECT_EQ(prefetch.TakeLarge(b)->Width(), 50);
  prefetch.StartPaint({a, b});
  EXPECT_EQ(prefetch.TakeSlide(b)->Width(), 50);
  EXPECT_EQ(prefetch.TakeSlide(b)->Width(), 50);  // taken already: loaded at the request
  EXPECT_EQ(prefetch.TakeSlide(a)->Width(), 30);  // passed over and dropped: the same
  prefetch.StartPaint({a, b});
  prefetch.EndPaint();
  EXPECT_EQ(prefetch.TakeSlide(a)->Width(), 30);

  // The worker count: the machine's cores, at most 8, unless the
  // environment sets one from 0 to 8.
  const char* saved = std::getenv("GLIMMET_DECODE_WORKERS");
  const std::string kept = saved ? saved : "";
  const int cores = std::clamp(int(std::thread::hardware_concurrency()), 1, 8);
  for (const auto& [set, workers] :
       std::vector<std::pair<const char*, int>>{{"20", 8}, {"3", 3}, {"0", 0}, {"-2", 0}, {"", cores}}) {
    setenv("GLIMMET_DECODE_WORKERS", set, 1);
    EXPECT_EQ(DefaultDecodeWorkers(), workers) << "GLIMMET_DECODE_WORKERS=" << set;
  }
  unsetenv("GLIMMET_DECODE_WORKERS");
  EXPECT_EQ(DefaultDecodeWorkers(), cores);
  if (saved) setenv("GLIMMET_DECODE_WORKERS", kept.c_str(), 1);
}

}  // namespace
