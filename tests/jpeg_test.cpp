// The JPEG picture: lazy decoding, the shared decoded store, the colour
// paths (full colour, 236 colours, ink) and the handling of a late error.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <sys/stat.h>
#include <jpeglib.h>
#include <jerror.h>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/JpegFrame.h"

using namespace jpegmaker;

namespace {

const Rgb kQuadrants[4] = {{200, 40, 40}, {40, 160, 60}, {30, 60, 200}, {230, 220, 90}};

// 64 x 64: four flat quadrants, top-left, top-right, bottom-left, bottom-right.
Sample Quadrant(int x, int y) {
  const Rgb& c = kQuadrants[(y >= 32 ? 2 : 0) + (x >= 32 ? 1 : 0)];
  return {std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B), 0};
}

Options QuadrantOptions() {
  Options o;
  o.Width = 64;
  o.Height = 64;
  o.FullChroma = true;
  return o;
}

void ExpectQuadrants(const TBitmap& bitmap, int tolerance) {
  ASSERT_EQ(bitmap.Width(), 64);
  ASSERT_EQ(bitmap.Height(), 64);
  EXPECT_TRUE(Near(RgbAt(bitmap, 16, 16), kQuadrants[0], tolerance));
  EXPECT_TRUE(Near(RgbAt(bitmap, 48, 16), kQuadrants[1], tolerance));
  EXPECT_TRUE(Near(RgbAt(bitmap, 16, 48), kQuadrants[2], tolerance));
  EXPECT_TRUE(Near(RgbAt(bitmap, 48, 48), kQuadrants[3], tolerance));
}

// A file whose rows all decode and which then meets a marker libjpeg cannot
// handle: a fatal error after the last row.
Bytes LateFailingJpeg() {
  return InsertBeforeEoi(MakeJpeg(QuadrantOptions(), Quadrant), {0xFF, 0xF7, 0x00, 0x04, 0x00, 0x00});
}

class ScreenDepth {
 public:
  explicit ScreenDepth(int bits) : FSaved(Screen.BitsPerPixel) { Screen.BitsPerPixel = bits; }
  ~ScreenDepth() { Screen.BitsPerPixel = FSaved; }

 private:
  int FSaved;
};

class JpegImageTest : public testing::Test {
 protected:
  TempDir Dir;
};

TEST_F(JpegImageTest, HeaderIsReadAtLoadAndDecodingWaitsForTheFirstBitmap) {
  TJPEGImage jpeg;
  const std::string path = Dir.AddFile("late.jpg");
  WriteFile(path, LateFailingJpeg());
  ASSERT_NO_THROW(jpeg.LoadFromFile(path));  // the fatal error lies in the data, past the header
  EXPECT_EQ(jpeg.Width(), 64);
  EXPECT_EQ(jpeg.Height(), 64);
  EXPECT_EQ(jpeg.ColorSpace(), TJpegColorSpace::YCbCr);
  TBitmap bitmap;
  EXPECT_THROW(bitmap.Assign(&jpeg), EInvalidGraphic);
}

TEST_F(JpegImageTest, LateFatalErrorIsReportedOnceAndTheDecodedRowsStay) {
  TJPEGImage jpeg;
  const std::string path = Dir.AddFile("late.jpg");
  WriteFile(path, LateFailingJpeg());
  jpeg.LoadFromFile(path);
  TBitmap bitmap;
  try {
    bitmap.Assign(&jpeg);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    EXPECT_EQ(JpegErrorCode(e.Message), JERR_UNKNOWN_MARKER) << e.Message;
  }
  ASSERT_NO_THROW(bitmap.Assign(&jpeg));
  ExpectQuadrants(bitmap, 6);
  TBitmap target(70, 70);
  EXPECT_NO_THROW(jpeg.Draw(target.Canvas(), 0, 0));
}

TEST_F(JpegImageTest, WholeFileIsReadAtLoad) {
  TJPEGImage jpeg;
  const std::string path = Dir.AddFile("gone.jpg");
  WriteFile(path, MakeJpeg(QuadrantOptions(), Quadrant));
  jpeg.LoadFromFile(path);
  std::filesystem::remove(path);
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  ExpectQuadrants(bitmap, 6);
}

TEST_F(JpegImageTest, BitmapsAssignedFromThePictureShareItsStoreAndCopyOnWrite) {
  TJPEGImage jpeg;
  const std::string path = Dir.AddFile("q.jpg");
  WriteFile(path, MakeJpeg(QuadrantOptions(), Quadrant));
  jpeg.LoadFromFile(path);
  TBitmap first, second;
  first.Assign(&jpeg);
  second.Assign(&jpeg);
  EXPECT_TRUE(first.SharesStoreWith(second));
  first.Canvas().SetPixel(16, 16, clBlack);
  EXPECT_FALSE(first.SharesStoreWith(second));
  TBitmap third;
  third.Assign(&jpeg);
  ExpectQuadrants(third, 6);
}

struct CodingCase {
  const char* Name;
  bool Progressive, Arithmetic;
  int RestartInterval;
};

class JpegCodingTest : public testing::TestWithParam<CodingCase> {};

TEST_P(JpegCodingTest, KnownColoursComeBackAsFullColourPixels) {
  TempDir dir;
  Options o = QuadrantOptions();
  o.Progressive = GetParam().Progressive;
  o.Arithmetic = GetParam().Arithmetic;
  o.RestartInterval = GetParam().RestartInterval;
  const std::string path = dir / "c.jpg";
  WriteFile(path, MakeJpeg(o, Quadrant));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  EXPECT_EQ(bitmap.PixelFormat, pf24bit);
  ExpectQuadrants(bitmap, 6);
  EXPECT_EQ(TopByteAt(bitmap, 0, 0), 0xFFu);
  EXPECT_EQ(TopByteAt(bitmap, 63, 63), 0xFFu);
}

// The frame header is found by walking the segments before it, whatever
// they hold, and only there.
TEST(JpegFrameTest, FrameHeaderIsFoundWhereItIsAndOnlyThere) {
  const auto made = [](Colour colours, int width, int height, bool progressive, bool arithmetic) {
    return MakeJpeg({.Width = width,
                     .Height = height,
                     .Colours = colours,
                     .Progressive = progressive,
                     .Arithmetic = arithmetic},
                    Flat({90, 120, 150, 0}));
  };
  const Bytes baseline = made(Colour::Rgb, 70, 30, false, false);
  Bytes filled = baseline;  // fill bytes before the first marker after SOI
  filled.insert(filled.begin() + 2, {0xFF, 0xFF, 0xFF});
  const Bytes padded = PadWithComments(baseline, 70'000);
  const std::size_t paddedSof = FindSof(padded);
  struct Row {
    const char* Name;
    Bytes Data;
    TJpegFrameSearch Result;
    TJpegFrame Frame;  // when found
  };
  const Row rows[] = {
      {"baseline", baseline, TJpegFrameSearch::Found, {70, 30, 3, false, false}},
      {"greyscale progressive",
       made(Colour::Grey, 30, 70, true, false),
       TJpegFrameSearch::Found,
       {30, 70, 1, true, false}},
      {"arithmetic", made(Colour::Cmyk, 17, 9, false, true), TJpegFrameSearch::Found, {17, 9, 4, false, true}},
      {"progressive arithmetic",
       made(Colour::Rgb, 40, 8, true, true),
       TJpegFrameSearch::Found,
       {40, 8, 3, true, true}},
      {"fill bytes", filled, TJpegFrameSearch::Found, {70, 30, 3, false, false}},
      {"behind 70 KB of comments", padded, TJpegFrameSearch::Found, {70, 30, 3, false, false}},
      {"cut before the frame", Truncate(padded, 65'536), TJpegFrameSearch::NeedMore, {}},
      {"cut inside the frame", Truncate(padded, paddedSof + 8), TJpegFrameSearch::NeedMore, {}},
      {"cut before the component count", Truncate(padded, paddedSof + 9), TJpegFrameSearch::NeedMore, {}},
      {"cut after the component count",
       Truncate(padded, paddedSof + 10),
       TJpegFrameSearch::Found,
       {70, 30, 3, false, false}},
      {"SOI alone", {0xFF, 0xD8}, TJpegFrameSearch::NeedMore, {}},
      {"tables, not a frame",
       {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x08, 0, 9, 9, 9, 9, 9},
       TJpegFrameSearch::NeedMore,
       {}},
      {"scan before any frame", {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08}, TJpegFrameSearch::NotJpeg, {}},
      {"segment length 1", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0}, TJpegFrameSearch::NotJpeg, {}},
      {"no marker where one must be", {0xFF, 0xD8, 0x00, 0xC0}, TJpegFrameSearch::NotJpeg, {}},
      {"not a JPEG", {'n', 'o', 't', ' ', 'J', 'P', 'E', 'G'}, TJpegFrameSearch::NotJpeg, {}},
      {"a frame but no SOI",
       {0xFF, 0xC0, 0xFF, 0xC0, 0x00, 0x0B, 8, 0, 16, 0, 32, 3},
       TJpegFrameSearch::NotJpeg,
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.Name);
    TJpegFrame frame{-1, -1, -1, false, false};
    EXPECT_EQ(FindJpegFrame(row.Data.data(), row.Data.size(), frame), row.Result);
    if (row.Result != TJpegFrameSearch::Found) continue;
    EXPECT_EQ(frame.Width, row.Frame.Width);
    EXPECT_EQ(frame.Height, row.Frame.Height);
    EXPECT_EQ(frame.Components, row.Frame.Components);
    EXPECT_EQ(frame.Progressive, row.Frame.Progressive);
    EXPECT_EQ(frame.Arithmetic, row.Frame.Arithmetic);
  }

  // From files: a second, longer read finds a frame beyond the first; what
  // cannot be read gives nothing, a named pipe without waiting for a writer.
  TempDir dir;
  WriteFile(dir / "padded.jpg", padded);
  const std::optional<TJpegFrame> far = PeekJpegFrame(dir / "padded.jpg");
  ASSERT_TRUE(far.has_value());
  EXPECT_EQ(far->Width, 70);
  EXPECT_FALSE(PeekJpegFrame(dir / "missing.jpg").has_value());
  ASSERT_EQ(mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_FALSE(PeekJpegFrame(dir / "pipe.jpg").has_value());
  WriteFile(dir / "short.jpg", Truncate(padded, 1000));
  EXPECT_FALSE(PeekJpegFrame(dir / "short.jpg").has_value());
}

INSTANTIATE_TEST_SUITE_P(Codings, JpegCodingTest,
                         testing::Values(CodingCase{"Baseline", false, false, 0},
                                         CodingCase{"Progressive", true, false, 0},
                                         CodingCase{"Arithmetic", false, true, 0},
                                         CodingCase{"RestartMarkers", false, false, 3}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST_F(JpegImageTest, GreyscalePicturesTakeThe236ColourPath) {
  Options o;
  o.Width = 64;
  o.Height = 16;
  o.Colours = Colour::Grey;
  const std::string path = Dir / "g.jpg";
  WriteFile(path, MakeJpeg(o, [](int x, int) { return Sample{std::uint8_t(x < 32 ? 60 : 190), 0, 0, 0}; }));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  EXPECT_TRUE(jpeg.Grayscale());
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  EXPECT_EQ(bitmap.PixelFormat, pf8bit);
  // 236 grey levels are about 1.1 apart; dithering moves a pixel by a level at most.
  EXPECT_TRUE(Near(RgbAt(bitmap, 12, 8), {60, 60, 60}, 3));
  EXPECT_TRUE(Near(RgbAt(bitmap, 50, 8), {190, 190, 190}, 3));
  EXPECT_EQ(TopByteAt(bitmap, 63, 15), 0xFFu);
}

TEST_F(JpegImageTest, EightBitScreenQuantisesColourPictures) {
  const ScreenDepth depth(8);
  const std::string path = Dir / "q.jpg";
  WriteFile(path, MakeJpeg(QuadrantOptions(), Quadrant));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  EXPECT_EQ(bitmap.PixelFormat, pf8bit);
  ExpectQuadrants(bitmap, 8);
  EXPECT_EQ(TopByteAt(bitmap, 63, 63), 0xFFu);
}

TEST_F(JpegImageTest, DrawDecodesAndPlacesThePictureAtItsNaturalSize) {
  const std::string path = Dir / "q.jpg";
  WriteFile(path, MakeJpeg(QuadrantOptions(), Quadrant));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(path);
  TBitmap target(100, 100);
  jpeg.Draw(target.Canvas(), 10, 20);
  EXPECT_TRUE(Near(RgbAt(target, 10 + 48, 20 + 48), kQuadrants[3], 6));
  EXPECT_TRUE(Near(RgbAt(target, 5, 5), {0, 0, 0}, 0));
}

// Ink amounts (0 none .. 255 full) and the colour they print.
struct Ink {
  int C, M, Y, K;
  Rgb Printed;
};
const Ink kInks[] = {
    {255, 0, 0, 0, {0, 255, 255}}, {0, 255, 0, 0, {255, 0, 255}},   {0, 0, 255, 0, {255, 255, 0}},
    {0, 255, 255, 0, {255, 0, 0}}, {0, 0, 0, 128, {127, 127, 127}}, {0, 0, 0, 0, {255, 255, 255}},
};
constexpr int kInkBand = 16;

struct InkCase {
  const char* Name;
  Colour Colours;
  bool AdobeMarker;
};

class JpegInkTest : public testing::TestWithParam<InkCase> {};

// Adobe files hold inverted values (255 = no ink); plain CMYK holds the amounts.
TEST_P(JpegInkTest, InkPicturesConvertToThePrintedColours) {
  const InkCase& c = GetParam();
  Options o;
  o.Width = kInkBand * 6;
  o.Height = kInkBand;
  o.Colours = c.Colours;
  o.AdobeMarker = c.AdobeMarker;
  o.FullChroma = true;
  const auto stored = [&](int x, int) {
    const Ink& ink = kInks[x / kInkBand];
    const auto v = [&](int amount) { return std::uint8_t(c.AdobeMarker ? 255 - amount : amount); };
    return Sample{v(ink.C), v(ink.M), v(ink.Y), v(ink.K)};
  };
  TempDir dir;
  WriteFile(dir / "ink.jpg", MakeJpeg(o, stored));
  TJPEGImage jpeg;
  jpeg.LoadFromFile(dir / "ink.jpg");
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  EXPECT_EQ(bitmap.PixelFormat, pf24bit);
  for (int i = 0; i < 6; ++i) {
    EXPECT_TRUE(Near(RgbAt(bitmap, i * kInkBand + kInkBand / 2, kInkBand / 2), kInks[i].Printed, 6)) << "ink " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(Inks, JpegInkTest,
                         testing::Values(InkCase{"AdobeCmyk", Colour::Cmyk, true},
                                         InkCase{"PlainCmyk", Colour::Cmyk, false},
                                         InkCase{"Ycck", Colour::Ycck, true}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(JpegInkScreenTest, InkPicturesStayFullColourOnAnEightBitScreen) {
  const ScreenDepth depth(8);
  Options o;
  o.Colours = Colour::Cmyk;
  TempDir dir;
  WriteFile(dir / "ink.jpg", MakeJpeg(o, Flat({0, 255, 255, 255})));  // Adobe: full cyan
  TJPEGImage jpeg;
  jpeg.LoadFromFile(dir / "ink.jpg");
  TBitmap bitmap;
  bitmap.Assign(&jpeg);
  EXPECT_TRUE(Near(RgbAt(bitmap, 10, 10), {0, 255, 255}, 6));
}

}  // namespace

namespace {

// libjpeg's own RGB pixels of a file with the two settings the decoder fixes.
std::vector<std::uint32_t> LibjpegPixels(const Bytes& file, boolean smoothing, J_DCT_METHOD method) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  cinfo.do_block_smoothing = smoothing;
  cinfo.dct_method = method;
  jpeg_start_decompress(&cinfo);
  std::vector<std::uint32_t> pixels;
  std::vector<JSAMPLE> row(cinfo.output_width * 3);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
    for (std::size_t x = 0; x < cinfo.output_width; ++x) {
      pixels.push_back(0xFF000000u | std::uint32_t(row[3 * x]) << 16 | std::uint32_t(row[3 * x + 1]) << 8 |
                       row[3 * x + 2]);
    }
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return pixels;
}

}  // namespace

// Block smoothing and the accurate integer transform: a progressive file
// whose AC coefficients are known only roughly decodes to libjpeg's pixels
// with both, and each of the other choices gives other pixels.
TEST(JpegDecoderSettings, BlockSmoothingAndTheAccurateIntegerTransform) {
  Options o;
  o.Width = 48;
  o.Height = 40;
  o.Quality = 60;
  o.CoarseProgressive = true;
  const Bytes file = MakeJpeg(o, [](int x, int y) {
    return Sample{std::uint8_t(x * 5 + (y % 7) * 20), std::uint8_t(y * 6 ^ x * 3), std::uint8_t((x * y) % 251), 0};
  });
  std::vector<std::uint32_t> decoded(std::size_t(o.Width) * std::size_t(o.Height));
  TJpegDecodeRequest request;
  request.Data = file.data();
  request.Size = file.size();
  request.Pixels = decoded.data();
  request.Width = o.Width;
  request.Height = o.Height;
  ASSERT_EQ(DecodeJpeg(request).Kind, TJpegOutcome::Ok);
  for (auto& p : decoded) p |= 0xFF000000u;
  EXPECT_EQ(decoded, LibjpegPixels(file, TRUE, JDCT_ISLOW));
  EXPECT_NE(decoded, LibjpegPixels(file, FALSE, JDCT_ISLOW));
  EXPECT_NE(decoded, LibjpegPixels(file, TRUE, JDCT_IFAST));
  EXPECT_NE(decoded, LibjpegPixels(file, TRUE, JDCT_FLOAT));
}
