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

#include "app/pictures/SlideSupply.h"
#include "support/BrowserTest.h"
#include "support/WithinSeconds.h"
#include "support/ScopedEnv.h"
#include "toolkit/DecodePool.h"
#include "toolkit/JpegFrame.h"

using namespace jpegmaker;
using namespace browsertest;
namespace fs = std::filesystem;

namespace {

const fs::path kPhotos = fs::path(GLIMMET_CORPUS_DIR) / "photos";
// Under ThreadSanitizer decoding the corpus photos takes minutes; the made
// pictures drive the same threads.
#ifdef __SANITIZE_THREAD__
constexpr bool kPhotosBrowsed = false;
#else
constexpr bool kPhotosBrowsed = true;
#endif

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
    if (look.Photos && kPhotosBrowsed && !FPhotos.empty()) {
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
  // The last worker gives memory back as it goes idle, which may still be
  // under way as the paint returns; no decode is.
  WithinSeconds("the memory's return after the paint", [&] {
    while (!Window->Supply().Idle()) QThread::msleep(1);
  });

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
    while (!Window->Supply().Idle()) std::this_thread::yield();
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

// Cost counts pixels of a sequential Huffman-coded picture: a progressive
// file takes about three times as long as a sequential one of its size (2 to
// 4 here), an arithmetic-coded one four to five times.
TEST_F(ParallelDecodingTest, DecodeCostAndBytesComeFromTheFrameHeader) {
  struct Row {
    const char* Name;
    Bytes Data;
    double CostLeast, CostMost;  // in pixels
    std::uint64_t Decoded, ByRows;
  };
  const Row rows[] = {
      // 40 x 30 pixels of 4 bytes; rows: 16 of 40 pixels; a progressive
      // file's coefficients: 2 bytes a sample of each component.
      {"plain.jpg", Picture(Colour::Rgb, 40, 30), 1200, 1200, 4800, 2560},
      {"progressive.jpg", Picture(Colour::Grey, 40, 30, true), 2 * 1200, 4 * 1200, 4800 + 2400, 2400 + 2560},
      {"progressive_rgb.jpg", Picture(Colour::Rgb, 40, 30, true), 2 * 1200, 4 * 1200, 4800 + 7200, 7200 + 2560},
      {"arithmetic.jpg", MakeJpeg({.Width = 40, .Height = 30, .Arithmetic = true}, Flat({1, 2, 3, 0})), 4 * 1200,
       5 * 1200, 4800, 2560},
      {"text.jpg", Bytes{'n', 'o', 't', ' ', 'a', ' ', 'J', 'P', 'E', 'G'}, 0, 0, 0, 0},
  };
  for (const Row& row : rows) {
    WriteFile(Dir / row.Name, row.Data);
    const TDecodeEstimate e = EstimateDecode(Dir / row.Name);
    EXPECT_GE(e.Cost, row.CostLeast) << row.Name;
    EXPECT_LE(e.Cost, row.CostMost) << row.Name;
    EXPECT_EQ(e.Bytes, row.Decoded) << row.Name;
    EXPECT_EQ(e.RowBytes, row.ByRows) << row.Name;
  }
  EXPECT_EQ(EstimateDecode(Dir / "missing.jpg").Bytes, 0u);
}

}  // namespace
