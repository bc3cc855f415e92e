// The JPEG picture: lazy decoding, the shared decoded store, the colour
// paths (full colour, 236 colours, ink) and the handling of a late error.
#include <gtest/gtest.h>

#include <cstdio>
#include <algorithm>
#include <filesystem>
#include <sys/stat.h>
#include <tuple>
#include <vector>
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

struct Probe {
  int X, Y;
  Rgb Colour;
};

// 64 x 64: four flat quadrants, top-left, top-right, bottom-left, bottom-right.
const std::vector<Probe> kQuadrants = {{16, 16, {200, 40, 40}},
                                       {48, 16, {40, 160, 60}},
                                       {16, 48, {30, 60, 200}},
                                       {48, 48, {230, 220, 90}}};
const Options kQuadrantOptions{.Width = 64, .Height = 64, .FullChroma = true};

Sample Quadrant(int x, int y) {
  const Rgb& c = kQuadrants[(y >= 32 ? 2 : 0) + (x >= 32 ? 1 : 0)].Colour;
  return {std::uint8_t(c.R), std::uint8_t(c.G), std::uint8_t(c.B), 0};
}

void ExpectPixels(const TBitmap& bitmap, const std::vector<Probe>& probes, int tolerance) {
  for (const Probe& p : probes)
    EXPECT_TRUE(Near(RgbAt(bitmap, p.X, p.Y), p.Colour, tolerance)) << p.X << "," << p.Y;
}

// Ink amounts C, M, Y, K (0 none .. 255 full) in bands 16 pixels wide, and
// the colour they print. Adobe files hold inverted values (255 = no ink);
// plain CMYK holds the amounts.
const std::pair<Sample, Rgb> kInks[] = {
    {{255, 0, 0, 0}, {0, 255, 255}}, {{0, 255, 0, 0}, {255, 0, 255}},   {{0, 0, 255, 0}, {255, 255, 0}},
    {{0, 255, 255, 0}, {255, 0, 0}}, {{0, 0, 0, 128}, {127, 127, 127}}, {{0, 0, 0, 0}, {255, 255, 255}},
};

PixelFunction Inks(bool adobe) {
  return [adobe](int x, int) {
    Sample s = kInks[x / 16].first;
    for (auto& v : s) v = std::uint8_t(adobe ? 255 - v : v);
    return s;
  };
}

Options InkOptions(Colour colours, bool adobe) {
  return {.Width = 96, .Height = 16, .Colours = colours, .AdobeMarker = adobe, .FullChroma = true};
}

// Every coding and colour model, on screens of more and of 8 bits: the
// header read at load with the whole file, decoding at the first use (a
// draw at the natural size), one decoded store shared by the bitmaps
// assigned from the picture and copied when one of them is written.
TEST(JpegImageTest, PicturesDecodeToTheirColoursInTheirScreensFormat) {
  Options progressive = kQuadrantOptions, arithmetic = kQuadrantOptions, restarts = kQuadrantOptions;
  progressive.Progressive = true;
  arithmetic.Arithmetic = true;
  restarts.RestartInterval = 3;
  std::vector<Probe> inks;
  for (int i = 0; i < 6; ++i) inks.push_back({i * 16 + 8, 8, kInks[i].second});
  // 17 rows: the last band of rows handed on holds one.
  const Options grey{.Width = 64, .Height = 17, .Colours = Colour::Grey};
  const auto greyBands = [](int x, int) { return Sample{std::uint8_t(x < 32 ? 60 : 190), 0, 0, 0}; };
  const std::vector<Probe> greys = {{12, 8, {60, 60, 60}}, {50, 8, {190, 190, 190}}};
  using S = TJpegColorSpace;
  const struct {
    const char* Name;
    Options Coding;
    PixelFunction Pixels;
    int ScreenBits;
    S Space;
    TPixelFormat Format;
    int Tolerance;  // 236 grey levels are about 1.1 apart; dithering moves a pixel by a level at most
    std::vector<Probe> Probes;
  } rows[] = {
      {"baseline", kQuadrantOptions, Quadrant, 32, S::YCbCr, pf24bit, 6, kQuadrants},
      {"progressive", progressive, Quadrant, 16, S::YCbCr, pf24bit, 6, kQuadrants},
      {"arithmetic", arithmetic, Quadrant, 32, S::YCbCr, pf24bit, 6, kQuadrants},
      {"restart markers", restarts, Quadrant, 32, S::YCbCr, pf24bit, 6, kQuadrants},
      {"eight-bit screen", kQuadrantOptions, Quadrant, 8, S::YCbCr, pf8bit, 8, kQuadrants},
      {"greyscale", grey, greyBands, 32, S::Grayscale, pf8bit, 3, greys},
      {"Adobe CMYK", InkOptions(Colour::Cmyk, true), Inks(true), 32, S::CMYK, pf24bit, 6, inks},
      {"plain CMYK", InkOptions(Colour::Cmyk, false), Inks(false), 32, S::CMYK, pf24bit, 6, inks},
      {"YCCK", InkOptions(Colour::Ycck, true), Inks(true), 32, S::YCCK, pf24bit, 6, inks},
      {"ink on an eight-bit screen", InkOptions(Colour::Cmyk, true), Inks(true), 8, S::CMYK, pf24bit, 6, inks},
  };
  TempDir dir;
  const int screenBits = Screen.BitsPerPixel;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    Screen.BitsPerPixel = row.ScreenBits;
    const int w = row.Coding.Width, h = row.Coding.Height;
    const Bytes file = MakeJpeg(row.Coding, row.Pixels);
    WriteFile(dir / "p.jpg", file);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(dir / "p.jpg");
    std::filesystem::remove(dir / "p.jpg");
    EXPECT_EQ(jpeg.ColorSpace(), row.Space);
    EXPECT_EQ(jpeg.Grayscale(), row.Space == S::Grayscale);
    TBitmap target(w + 20, h + 30), first, second;
    jpeg.Draw(target.Canvas(), 10, 20);
    first.Assign(&jpeg);
    second.Assign(&jpeg);
    EXPECT_TRUE(first.SharesStoreWith(second));
    EXPECT_EQ(first.PixelFormat, row.Format);
    ExpectPixels(first, row.Probes, row.Tolerance);
    EXPECT_EQ(TopByteAt(first, 0, 0), 0xFFu);
    EXPECT_EQ(TopByteAt(first, w - 1, h - 1), 0xFFu);
    first.Canvas().SetPixel(row.Probes[0].X, row.Probes[0].Y, clBlack);
    EXPECT_FALSE(first.SharesStoreWith(second));
    for (const Probe& p : row.Probes)
      EXPECT_EQ(target.Canvas().Pixel(10 + p.X, 20 + p.Y), second.Canvas().Pixel(p.X, p.Y));
    // Decoded afresh a band of rows at a time: the same pixels.
    TJPEGImage byRows;
    byRows.LoadFromData(file);
    std::vector<std::uint32_t> rows;
    EXPECT_TRUE(byRows.DecodeRows([&](const std::uint32_t* p,
                                      int n) { rows.insert(rows.end(), p, p + std::size_t(n) * std::size_t(w)); },
                                  nullptr));
    EXPECT_TRUE(
        std::equal(rows.begin(), rows.end(), second.Bits(), second.Bits() + std::size_t(w) * std::size_t(h)));
    EXPECT_EQ(target.Canvas().Pixel(9, 19), clBlack);
  }
  Screen.BitsPerPixel = screenBits;
}

// A file whose rows all decode and which then meets a marker libjpeg cannot
// handle: the header is read at load, the fatal error comes with the first
// bitmap, once, and the rows decoded before it stay.
TEST(JpegImageTest, LateFatalErrorIsReportedOnceAndTheDecodedRowsStay) {
  TempDir dir;
  WriteFile(dir / "late.jpg",
            InsertBeforeEoi(MakeJpeg(kQuadrantOptions, Quadrant), {0xFF, 0xF7, 0x00, 0x04, 0, 0}));
  TJPEGImage jpeg;
  ASSERT_NO_THROW(jpeg.LoadFromFile(dir / "late.jpg"));
  EXPECT_EQ(jpeg.Width(), 64);
  EXPECT_EQ(jpeg.Height(), 64);
  EXPECT_EQ(jpeg.ColorSpace(), TJpegColorSpace::YCbCr);
  TBitmap bitmap;
  EXPECT_EQ(ErrorOf([&] { bitmap.Assign(&jpeg); }), JpegError(JERR_UNKNOWN_MARKER));
  ASSERT_NO_THROW(bitmap.Assign(&jpeg));
  ExpectPixels(bitmap, kQuadrants, 6);
  TBitmap target(70, 70);
  EXPECT_NO_THROW(jpeg.Draw(target.Canvas(), 0, 0));
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
  constexpr auto kFound = TJpegFrameSearch::Found, kMore = TJpegFrameSearch::NeedMore,
                 kNot = TJpegFrameSearch::NotJpeg;
  const Bytes baseline = made(Colour::Rgb, 70, 30, false, false);
  Bytes filled = baseline;  // fill bytes before the first marker after SOI
  filled.insert(filled.begin() + 2, {0xFF, 0xFF, 0xFF});
  const Bytes padded = PadWithComments(baseline, 70'000);
  const std::size_t sof = FindSof(padded);
  const TJpegFrame plain{70, 30, 3, false, false};
  const struct {
    const char* Name;
    Bytes Data;
    TJpegFrameSearch Result;
    TJpegFrame Frame;  // when found
  } rows[] = {
      {"baseline", baseline, kFound, plain},
      {"greyscale progressive", made(Colour::Grey, 30, 70, true, false), kFound, {30, 70, 1, true, false}},
      {"arithmetic", made(Colour::Cmyk, 17, 9, false, true), kFound, {17, 9, 4, false, true}},
      {"progressive arithmetic", made(Colour::Rgb, 40, 8, true, true), kFound, {40, 8, 3, true, true}},
      {"fill bytes", filled, kFound, plain},
      {"behind 70 KB of comments", padded, kFound, plain},
      {"cut before the frame", Truncate(padded, 65'536), kMore, {}},
      {"cut inside the frame", Truncate(padded, sof + 8), kMore, {}},
      {"cut before the component count", Truncate(padded, sof + 9), kMore, {}},
      {"cut after the component count", Truncate(padded, sof + 10), kFound, plain},
      {"SOI alone", {0xFF, 0xD8}, kMore, {}},
      {"tables, not a frame", {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x08, 0, 9, 9, 9, 9, 9}, kMore, {}},
      {"scan before any frame", {0xFF, 0xD8, 0xFF, 0xDA, 0x00, 0x08}, kNot, {}},
      {"segment length 1", {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x01, 0xFF, 0xC0}, kNot, {}},
      {"no marker where one must be", {0xFF, 0xD8, 0x00, 0xC0}, kNot, {}},
      {"not a JPEG", {'n', 'o', 't', ' ', 'J', 'P', 'E', 'G'}, kNot, {}},
      {"a frame but no SOI", {0xFF, 0xC0, 0xFF, 0xC0, 0x00, 0x0B, 8, 0, 16, 0, 32, 3}, kNot, {}},
  };
  const auto fields = [](const TJpegFrame& f) {
    return std::tuple(f.Width, f.Height, f.Components, f.Progressive, f.Arithmetic);
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TJpegFrame frame{-1, -1, -1, false, false};
    EXPECT_EQ(FindJpegFrame(row.Data.data(), row.Data.size(), frame), row.Result);
    if (row.Result != kFound) continue;
    EXPECT_EQ(fields(frame), fields(row.Frame));
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

// Block smoothing and the accurate integer transform: a progressive file
// whose AC coefficients are known only roughly decodes to libjpeg's pixels
// with both, and each of the other choices gives other pixels.
TEST(JpegDecoderSettings, BlockSmoothingAndTheAccurateIntegerTransform) {
  const Options o{.Width = 48, .Height = 40, .Quality = 60, .CoarseProgressive = true};
  const Bytes file = MakeJpeg(o, [](int x, int y) {
    return Sample{std::uint8_t(x * 5 + (y % 7) * 20), std::uint8_t(y * 6 ^ x * 3), std::uint8_t((x * y) % 251), 0};
  });
  std::vector<std::uint32_t> decoded(std::size_t(o.Width) * std::size_t(o.Height));
  const TJpegDecodeRequest request{
      .Data = file.data(), .Size = file.size(), .Pixels = decoded.data(), .Width = o.Width, .Height = o.Height};
  ASSERT_EQ(DecodeJpeg(request).Kind, TJpegOutcome::Ok);
  for (auto& p : decoded) p |= 0xFF000000u;
  EXPECT_EQ(decoded, LibjpegPixels(file, TRUE, JDCT_ISLOW));
  EXPECT_NE(decoded, LibjpegPixels(file, FALSE, JDCT_ISLOW));
  EXPECT_NE(decoded, LibjpegPixels(file, TRUE, JDCT_IFAST));
  EXPECT_NE(decoded, LibjpegPixels(file, TRUE, JDCT_FLOAT));
}

}  // namespace
