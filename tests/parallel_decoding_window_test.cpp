// The window's pictures decoded on worker threads: whatever the number of
// workers, the grid gets the same events in the same order, draws the same
// pixels and reports the same errors as when each file is loaded at its
// request; no worker stays busy after a paint.
#include <QElapsedTimer>
#include <QThread>
#include <filesystem>

#include <cstdio>  // jpeglib.h needs FILE
#include <jpeglib.h>
#include <jerror.h>

#include "support/BrowserTest.h"

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

}  // namespace
