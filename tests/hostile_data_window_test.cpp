// Broken and hostile JPEG data met by the browser window: each case is
// written into a fresh folder, listed through the folder tree, painted by the
// grid and clicked into the large view. The decoder's own refusals are
// pinned in hostile_jpeg_test; here they must reach the error sink as one
// clear text, leave the large view as it was when the file does not load,
// and let the next folder paint normally.
#include <cstdio>  // jpeglib.h needs FILE
#include <functional>
#include <optional>

#include <jpeglib.h>
#include <jerror.h>

#include "support/BrowserTest.h"

using namespace jpegmaker;
using namespace browsertest;

namespace {

// When the case fails: never, when the file is loaded (its header is read),
// or when it is decoded (the grid's copy, the large view's first draw).
enum class Fails { Never, AtLoad, AtDecode };

struct DataCase {
  const char* Name;
  std::function<Bytes()> Make;
  Fails When;
  std::string Text;                         // as the error box shows it
  std::optional<Rgb> Shown = std::nullopt;  // for flat pictures: their colour
};

void PrintTo(const DataCase& c, std::ostream* os) { *os << c.Name; }

std::string JpegError(int code) { return "JPEG error #" + std::to_string(code) + "."; }

// Blue, or with Cmyk and Ycck inverted ink as Adobe files store it: no cyan,
// full magenta, no yellow, no black gives (255, 0, 255) on the screen.
Bytes Colourful(bool progressive = false, Colour colours = Colour::Rgb) {
  const bool ink = colours == Colour::Cmyk || colours == Colour::Ycck;
  return MakeJpeg({.Colours = colours, .Quality = 100, .Progressive = progressive, .FullChroma = true},
                  Flat(ink ? Sample{255, 0, 255, 255} : ToSample(kBlue)));
}

// The first count of code lengths of the first Huffman table claims 255
// codes of length 1.
Bytes WithBogusHuffmanTable(Bytes b) {
  b[FindMarker(b, 0xC4) + 5] = 0xFF;
  return b;
}

Bytes Text(const std::string& s) { return Bytes(s.begin(), s.end()); }

Bytes CutInEntropyData(const Bytes& b) { return Truncate(b, (b.size() + FindMarker(b, 0xDA)) / 2); }

const DataCase kCases[] = {
    {"EmptyFile", [] { return Bytes{}; }, Fails::AtLoad, JpegError(JERR_INPUT_EMPTY)},
    {"TextFile", [] { return Text("Shopping list\nbread\nmilk\n"); }, Fails::AtLoad, JpegError(JERR_NO_SOI)},
    {"PngData", [] { return Bytes{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 13}; }, Fails::AtLoad,
     JpegError(JERR_NO_SOI)},
    {"CutInHeader", [] { return Truncate(Colourful(), 100); }, Fails::AtLoad, JpegError(JERR_NO_IMAGE)},
    {"BogusHuffmanTable", [] { return WithBogusHuffmanTable(Colourful()); }, Fails::AtLoad,
     JpegError(JERR_BAD_HUFF_TABLE)},
    {"ZeroWidth", [] { return PatchSofSize(Colourful(), 0, 48); }, Fails::AtLoad, JpegError(JERR_EMPTY_IMAGE)},
    {"ZeroHeight", [] { return PatchSofSize(Colourful(), 64, 0); }, Fails::AtLoad, JpegError(JERR_EMPTY_IMAGE)},
    {"OverLibraryLimit", [] { return PatchSofSize(Colourful(), 65535, 65535); }, Fails::AtLoad,
     JpegError(JERR_IMAGE_TOO_BIG)},
    {"TwelveBit", [] { return PatchSofPrecision(Colourful(), 12); }, Fails::AtLoad, JpegError(JERR_BAD_PRECISION)},
    {"BaselineBomb", [] { return PatchSofSize(Colourful(), 60000, 60000); }, Fails::AtLoad,
     "The picture is too large to show: 60000 x 60000 pixels, more than 400 megapixels."},
    {"FarTooShortForItsSize", [] { return PatchSofSize(Colourful(), 20000, 20000); }, Fails::AtLoad,
     JpegError(JERR_INPUT_EOF)},
    {"ProgressiveBomb", [] { return PatchSofSize(Colourful(true), 65500, 65500); }, Fails::AtLoad,
     "The picture is too large to show: 65500 x 65500 pixels, more than 400 megapixels."},
    {"ThousandsOfScans", [] { return RepeatLastScan(Colourful(true), 1100); }, Fails::AtDecode,
     "The JPEG data has more than 1000 scans."},
    // 8000 x 8000 pixels may have 10^10 / (64 * 10^6) = 156 scans; their
    // million blocks need 125 KB of data, an eighth of it in the file.
    {"ScansOverTheBudgetOfALargePicture",
     [] {
       return PadWithComments(PatchSofSize(RepeatLastScan(Colourful(true, Colour::Grey), 300), 8000, 8000), 16'000);
     },
     Fails::AtDecode, "The JPEG data has more than 156 scans."},
    {"UnknownMarkerAfterTheRows",
     [] {
       return InsertBeforeEoi(Colourful(), {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00});
     },
     Fails::AtDecode, JpegError(JERR_UNKNOWN_MARKER)},
    {"CutInEntropyData", [] { return CutInEntropyData(Colourful()); }, Fails::Never, ""},
    {"CutProgressive", [] { return CutInEntropyData(Colourful(true)); }, Fails::Never, "", kBlue},
    {"CorruptEntropyData",
     [] {
       const Bytes b = Colourful();
       return XorBytes(b, FindMarker(b, 0xDA) + 40, 16, 0x5A);
     },
     Fails::Never, ""},
    {"Cmyk", [] { return Colourful(false, Colour::Cmyk); }, Fails::Never, "", Rgb{255, 0, 255}},
    {"Ycck", [] { return Colourful(false, Colour::Ycck); }, Fails::Never, "", Rgb{255, 0, 255}},
};

class HostileDataTest : public BrowserTest, public testing::WithParamInterface<DataCase> {};

TEST_P(HostileDataTest, GridReportsTheCaseAndTheLargeViewKeepsWhatLoaded) {
  const DataCase& c = GetParam();
  const std::string good = ExtractFilePath(WritePicture("good/green.jpg", kGreen));
  WriteFile(Dir.AddDir("hostile") + "/case.jpg", c.Make());
  Open();
  ASSERT_TRUE(Choose(good));
  ClickSlide(1);
  const TGraphic* goodPicture = Window->LargeImg->Picture().Graphic();
  ASSERT_NE(goodPicture, nullptr);

  // The paint ends, reporting once; a failed slide keeps its numbered card.
  ASSERT_TRUE(Choose(Dir / "hostile"));
  const std::vector<std::string> once(c.When == Fails::Never ? 0 : 1, c.Text);
  EXPECT_EQ(Errors, once);
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_TRUE(c.When == Fails::Never || Near(GridPixel({30, 50}), {255, 255, 255}, 0));
  EXPECT_TRUE(!c.Shown || Near(GridPixel(InsideSlide(1)), *c.Shown));

  // The click's repaint meets the failure again, then the click's load or
  // the large view's first draw; a failed decode is reported once only.
  Errors.clear();
  ClickSlide(1);
  const QImage view = LargeView();
  LargeView();
  EXPECT_EQ(Errors, (std::vector<std::string>(2 * once.size(), c.Text)));
  EXPECT_EQ(Window->LargeImg->Picture().Graphic() == goodPicture, c.When == Fails::AtLoad);
  EXPECT_TRUE(!c.Shown || Near(RgbAt(view, view.width() / 2, view.height() / 2), *c.Shown));

  // The program goes on: the next folder paints completely.
  Errors.clear();
  ASSERT_TRUE(Choose(good));
  EXPECT_TRUE(Errors.empty()) << Errors.front();
  EXPECT_EQ(Screen.Cursor(), crDefault);
  EXPECT_TRUE(Near(GridPixel(InsideSlide(1)), kGreen));
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileDataTest, testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.Name); });

}  // namespace
