// Pictures: the holder choosing the class by extension and opening files
// safely, the JPEG picture's colour paths, lazy decoding, shared store and
// late errors, the frame header, the decoder's settings, and large pixel
// stores, which must come black in memory that held another picture.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <tuple>
#include <vector>
#include <jpeglib.h>
#include <jerror.h>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Forms.h"
#include "toolkit/Image.h"
#include "toolkit/Jpeg.h"
#include "toolkit/JpegFrame.h"
#include "toolkit/Pictures.h"

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

// Pixels with a channel more than tolerance from c's.
int PixelsOtherThan(const TBitmap& b, Rgb c, int tolerance = 0) {
  int count = 0;
  for (int y = 0; y < b.Height(); ++y) {
    for (int x = 0; x < b.Width(); ++x) {
      const Rgb p = RgbAt(b, x, y);
      count += std::max({std::abs(p.R - c.R), std::abs(p.G - c.G), std::abs(p.B - c.B)}) > tolerance;
    }
  }
  return count;
}

// 4 MiB a store: well above the size from which freed stores are kept.
constexpr int kWide = 1024, kHigh = 1024;

// A large bitmap painted white, then freed: its memory is what the next
// large store may get.
void FreeAWhiteLargeBitmap(int width = kWide, int height = kHigh) {
  auto b = std::make_unique<TBitmap>(width, height);
  b->Canvas().Brush.SetColor(clWhite);
  b->Canvas().FillRect({0, 0, width, height});
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

// 96 x 48 stored, four flat quadrants of kQuadrants' colours, and an Exif
// block with the orientation.
const Options kWideQuadrants{.Width = 96, .Height = 48, .FullChroma = true};
Sample WideQuadrant(int x, int y) { return Quadrant(x * 2 / 3, y * 4 / 3); }
Options Turned(int orientation, bool bigEndian = false) {
  Options o = kWideQuadrants;
  o.ExifOrientation = orientation;
  o.ExifBigEndian = bigEndian;
  return o;
}

// The probes of a picture of the size whose quadrants, top-left, top-right,
// bottom-left, bottom-right, show kQuadrants' colours a, b, c, d (0 to 3).
std::vector<Probe> QuadrantsAt(int width, int height, std::array<int, 4> shown) {
  std::vector<Probe> probes;
  for (int q = 0; q < 4; ++q) {
    probes.push_back({q % 2 ? width * 3 / 4 : width / 4, q / 2 ? height * 3 / 4 : height / 4,
                      kQuadrants[std::size_t(shown[std::size_t(q)])].Colour});
  }
  return probes;
}

// Where turned pixel (x, y) of a stored W x H picture comes from, by the Exif
// definition of each orientation: where the stored 0th row and 0th column
// lie in the picture shown.
std::pair<int, int> StoredPointOf(int orientation, int w, int h, int x, int y) {
  switch (orientation) {
    case 2:  // row 0 at the top, column 0 at the right
      return {w - 1 - x, y};
    case 3:  // row 0 at the bottom, column 0 at the right
      return {w - 1 - x, h - 1 - y};
    case 4:  // row 0 at the bottom, column 0 at the left
      return {x, h - 1 - y};
    case 5:  // row 0 at the left, column 0 at the top
      return {y, x};
    case 6:  // row 0 at the right, column 0 at the top
      return {y, h - 1 - x};
    case 7:  // row 0 at the right, column 0 at the bottom
      return {w - 1 - y, h - 1 - x};
    case 8:  // row 0 at the left, column 0 at the bottom
      return {w - 1 - y, x};
    default:
      return {x, y};
  }
}

Options Quadrants(Options o) {
  o.Width = o.Height = 64;
  o.FullChroma = true;
  return o;
}

// Every coding and colour model, on screens of more and of 8 bits: the
// header read at load with the whole file, decoding at the first use (a
// draw at the natural size), one decoded store shared by the bitmaps
// assigned from the picture and copied when one of them is written.
TEST(JpegImageTest, PicturesDecodeToTheirColoursInTheirScreensFormat) {
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
      {"progressive", Quadrants({.Progressive = true}), Quadrant, 16, S::YCbCr, pf24bit, 6, kQuadrants},
      {"arithmetic", Quadrants({.Arithmetic = true}), Quadrant, 32, S::YCbCr, pf24bit, 6, kQuadrants},
      {"restart markers", Quadrants({.RestartInterval = 3}), Quadrant, 32, S::YCbCr, pf24bit, 6, kQuadrants},
      {"eight-bit screen", kQuadrantOptions, Quadrant, 8, S::YCbCr, pf8bit, 8, kQuadrants},
      {"greyscale", grey, greyBands, 32, S::Grayscale, pf8bit, 3, greys},
      {"Adobe CMYK", InkOptions(Colour::Cmyk, true), Inks(true), 32, S::CMYK, pf24bit, 6, inks},
      {"plain CMYK", InkOptions(Colour::Cmyk, false), Inks(false), 32, S::CMYK, pf24bit, 6, inks},
      {"YCCK", InkOptions(Colour::Ycck, true), Inks(true), 32, S::YCCK, pf24bit, 6, inks},
      {"ink on an eight-bit screen", InkOptions(Colour::Cmyk, true), Inks(true), 8, S::CMYK, pf24bit, 6, inks},
      // Turned upright by the Exif orientation: 96 x 48 stored, A B over C D.
      {"orientation 1", Turned(1), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(96, 48, {0, 1, 2, 3})},
      {"orientation 2", Turned(2), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(96, 48, {1, 0, 3, 2})},
      {"orientation 3", Turned(3), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(96, 48, {3, 2, 1, 0})},
      {"orientation 4", Turned(4, true), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(96, 48, {2, 3, 0, 1})},
      {"orientation 5", Turned(5), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(48, 96, {0, 2, 1, 3})},
      {"orientation 6", Turned(6, true), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(48, 96, {2, 0, 3, 1})},
      {"orientation 7", Turned(7), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(48, 96, {3, 1, 2, 0})},
      {"orientation 8", Turned(8), WideQuadrant, 32, S::YCbCr, pf24bit, 6, QuadrantsAt(48, 96, {1, 3, 0, 2})},
      {"orientation 9: as stored", Turned(9), WideQuadrant, 32, S::YCbCr, pf24bit, 6,
       QuadrantsAt(96, 48, {0, 1, 2, 3})},
      {"orientation 6, eight-bit screen", Turned(6), WideQuadrant, 8, S::YCbCr, pf8bit, 8,
       QuadrantsAt(48, 96, {2, 0, 3, 1})},
  };
  TempDir dir;
  const int screenBits = Screen.BitsPerPixel;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    Screen.BitsPerPixel = row.ScreenBits;
    const int orientation = row.Coding.ExifOrientation;
    const bool swaps = orientation >= 5 && orientation <= 8;
    const int storedWidth = row.Coding.Width, storedHeight = row.Coding.Height;
    const int w = swaps ? storedHeight : storedWidth, h = swaps ? storedWidth : storedHeight;
    const Bytes file = MakeJpeg(row.Coding, row.Pixels);
    WriteFile(dir / "p.jpg", file);
    TJPEGImage jpeg;
    jpeg.LoadFromFile(dir / "p.jpg");
    std::filesystem::remove(dir / "p.jpg");
    EXPECT_EQ(jpeg.ColorSpace(), row.Space);
    EXPECT_EQ(jpeg.Grayscale(), row.Space == S::Grayscale);
    EXPECT_EQ(std::pair(jpeg.Width(), jpeg.Height()), std::pair(w, h));
    TBitmap target(w + 20, h + 30), first, second;
    jpeg.Draw(target.Canvas(), 10, 20);
    first.Assign(&jpeg);
    second.Assign(&jpeg);
    EXPECT_TRUE(first.SharesStoreWith(second));
    EXPECT_EQ(first.PixelFormat, row.Format);
    ExpectPixels(first, row.Probes, row.Tolerance);
    EXPECT_EQ(TopByteAt(first, 0, 0), 0xFFu);
    EXPECT_EQ(TopByteAt(first, w - 1, h - 1), 0xFFu);
    // Quantised to its grey levels, a grey picture is still grey everywhere.
    for (int i = 0; row.Space == S::Grayscale && i < w * h; ++i) {
      const std::uint32_t p = first.Bits()[i];
      ASSERT_EQ(p & 0xFFFFu, (p >> 8) & 0xFFFFu) << i;
    }
    first.Canvas().SetPixel(row.Probes[0].X, row.Probes[0].Y, clBlack);
    EXPECT_FALSE(first.SharesStoreWith(second));
    for (const Probe& p : row.Probes)
      EXPECT_EQ(target.Canvas().Pixel(10 + p.X, 20 + p.Y), second.Canvas().Pixel(p.X, p.Y));
    // The stored picture: the same file without its Exif block. Each turned
    // pixel is the stored one the orientation puts there.
    Options plain = row.Coding;
    plain.ExifOrientation = 0;
    TJPEGImage plainJpeg;
    plainJpeg.LoadFromData(MakeJpeg(plain, row.Pixels));
    const TBitmap& stored = plainJpeg.Bitmap();
    for (int y = 0; y < h; ++y) {
      for (int x = 0; x < w; ++x) {
        const auto [sx, sy] = StoredPointOf(orientation, storedWidth, storedHeight, x, y);
        ASSERT_EQ(second.ScanLine(y)[x], stored.ScanLine(sy)[sx]) << x << "," << y;
      }
    }
    // Decoded afresh a band of rows at a time: the stored pixels, as stored.
    TJPEGImage byRows;
    byRows.LoadFromData(file);
    std::vector<std::uint32_t> rows;
    const auto keep = [&](std::vector<std::uint32_t>& into) {
      return [&into, storedWidth](const std::uint32_t* p, int n) {
        into.insert(into.end(), p, p + std::size_t(n) * std::size_t(storedWidth));
      };
    };
    EXPECT_TRUE(byRows.DecodeRows(keep(rows), nullptr));
    EXPECT_TRUE(
        std::equal(rows.begin(), rows.end(), stored.Bits(), stored.Bits() + std::size_t(w) * std::size_t(h)));
    // Decoded already, the picture hands the same stored rows.
    std::vector<std::uint32_t> again;
    EXPECT_TRUE(jpeg.DecodeRows(keep(again), nullptr));
    EXPECT_EQ(again, rows);
    // Decoded ahead with its rows watched: the rows handed are the picture's.
    TJPEGImage watched;
    watched.LoadFromData(file);
    std::vector<std::uint32_t> seen;
    EXPECT_TRUE(watched.DecodeAheadWatched(keep(seen), nullptr));
    EXPECT_EQ(seen, rows);
    EXPECT_TRUE(
        std::equal(second.Bits(), second.Bits() + std::size_t(w) * std::size_t(h), watched.Bitmap().Bits()));
    EXPECT_EQ(target.Canvas().Pixel(9, 19), clBlack);
  }
  Screen.BitsPerPixel = screenBits;
}

// A fatal error past a good header, read at load, comes with the first
// bitmap, once, and the rows decoded before it stay: every row before a
// marker libjpeg cannot handle; none, black also in memory that held white,
// when the second scan's spectral end is past 63.
TEST(JpegImageTest, FatalErrorsAtDecodingComeOnceAndTheDecodedRowsStay) {
  const auto early = [](int orientation) {
    Bytes bytes = MakeJpeg({.Width = 512, .Height = 512, .Progressive = true, .ExifOrientation = orientation},
                           Flat({220, 20, 20, 0}));  // 1 MiB
    std::size_t sos = FindMarker(bytes, 0xDA);
    for (++sos; bytes.at(sos) != 0xFF || bytes.at(sos + 1) != 0xDA; ++sos) {
    }
    bytes[sos + 5 + 2 * bytes[sos + 4] + 1] = 64;
    return bytes;
  };
  const struct {
    const char* Name;
    Bytes Data;
    int Side, Error;
    std::vector<Probe> Probes;  // none: all black
  } rows[] = {
      {"late", InsertBeforeEoi(MakeJpeg(kQuadrantOptions, Quadrant), {0xFF, 0xF7, 0x00, 0x04, 0, 0}), 64,
       JERR_UNKNOWN_MARKER, kQuadrants},
      {"before the first row", early(0), 512, JERR_BAD_PROGRESSION, {}},
      {"before the first row of a turned picture", early(6), 512, JERR_BAD_PROGRESSION, {}},
  };
  TempDir dir;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    WriteFile(dir / "p.jpg", row.Data);
    TJPEGImage jpeg;
    ASSERT_NO_THROW(jpeg.LoadFromFile(dir / "p.jpg"));
    EXPECT_EQ(std::tuple(jpeg.Width(), jpeg.Height(), jpeg.ColorSpace()),
              std::tuple(row.Side, row.Side, TJpegColorSpace::YCbCr));
    FreeAWhiteLargeBitmap(row.Side, row.Side);
    TBitmap bitmap;
    EXPECT_EQ(ErrorOf([&] { bitmap.Assign(&jpeg); }), JpegError(row.Error));
    ASSERT_NO_THROW(bitmap.Assign(&jpeg));
    ASSERT_EQ(bitmap.Width(), row.Side);
    ExpectPixels(bitmap, row.Probes, 6);
    EXPECT_EQ(row.Probes.empty() ? PixelsOtherThan(bitmap, {}) : 0, 0);
    TBitmap target(70, 70);
    EXPECT_NO_THROW(jpeg.Draw(target.Canvas(), 0, 0));
    // Decoded ahead with its rows watched: every row is handed, those kept
    // and the black after them, and the failure still comes once.
    TJPEGImage watched;
    watched.LoadFromData(row.Data);
    FreeAWhiteLargeBitmap(row.Side, row.Side);
    std::vector<std::uint32_t> seen;
    EXPECT_TRUE(watched.DecodeAheadWatched(
        [&](const std::uint32_t* p, int n) {
          seen.insert(seen.end(), p, p + std::size_t(n) * std::size_t(row.Side));
        },
        nullptr));
    EXPECT_EQ(ErrorOf([&] { bitmap.Assign(&watched); }), JpegError(row.Error));
    ASSERT_NO_THROW(bitmap.Assign(&watched));
    ASSERT_EQ(seen.size(), std::size_t(row.Side) * std::size_t(row.Side));
    EXPECT_TRUE(std::equal(seen.begin(), seen.end(), bitmap.Bits()));
  }
}

// The frame header is found by walking the segments before it, whatever
// they hold, and only there.
TEST(JpegFrameTest, FrameHeaderIsFoundWhereItIsAndOnlyThere) {
  const auto made = [](Colour colours, int width, int height, bool progressive, bool arithmetic,
                       int orientation = 0, bool bigEndian = false) {
    const Options o{.Width = width,
                    .Height = height,
                    .Colours = colours,
                    .Progressive = progressive,
                    .Arithmetic = arithmetic,
                    .ExifOrientation = orientation,
                    .ExifBigEndian = bigEndian};
    return MakeJpeg(o, Flat({90, 120, 150, 0}));
  };
  constexpr auto kFound = TJpegFrameSearch::Found, kMore = TJpegFrameSearch::NeedMore,
                 kNot = TJpegFrameSearch::NotJpeg;
  const Bytes baseline = made(Colour::Rgb, 70, 30, false, false);
  Bytes filled = baseline;  // fill bytes before the first marker after SOI
  filled.insert(filled.begin() + 2, {0xFF, 0xFF, 0xFF});
  const Bytes padded = PadWithComments(baseline, 70'000);
  const std::size_t sof = FindSof(padded);
  const TJpegFrame plain{70, 30, 3, false, false};
  const Bytes turned = made(Colour::Rgb, 70, 30, false, false, 6);
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
      {"Exif orientation 6", turned, kFound, {70, 30, 3, false, false, 6}},
      {"Exif orientation 8, Motorola order",
       made(Colour::Rgb, 70, 30, false, false, 8, true),
       kFound,
       {70, 30, 3, false, false, 8}},
      {"Exif orientation 0: none", made(Colour::Rgb, 70, 30, false, false, 9), kFound, plain},
  };
  const auto fields = [](const TJpegFrame& f) {
    return std::tuple(f.Width, f.Height, f.Components, f.Progressive, f.Arithmetic, f.Orientation);
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
  // An Exif block beyond the first read: the picture is shown 30 x 70.
  WriteFile(dir / "turned.jpg", PadWithComments(turned, 70'000));
  const std::optional<TJpegFrame> upright = PeekJpegFrame(dir / "turned.jpg");
  ASSERT_TRUE(upright.has_value());
  EXPECT_EQ(std::pair(upright->ShownWidth(), upright->ShownHeight()), std::pair(30, 70));
  EXPECT_FALSE(PeekJpegFrame(dir / "missing.jpg").has_value());
  ASSERT_EQ(mkfifo((dir / "pipe.jpg").c_str(), 0600), 0);
  EXPECT_FALSE(PeekJpegFrame(dir / "pipe.jpg").has_value());
  WriteFile(dir / "short.jpg", Truncate(padded, 1000));
  EXPECT_FALSE(PeekJpegFrame(dir / "short.jpg").has_value());
}

// libjpeg's own RGB pixels of a file with the two settings the decoder fixes,
// or quantised for an eight-bit screen: 236 colours, two passes, Floyd-Steinberg.
std::vector<std::uint32_t> LibjpegPixels(const Bytes& file, boolean smoothing, J_DCT_METHOD method,
                                         int colours = 0) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.out_color_space = JCS_RGB;
  cinfo.do_block_smoothing = smoothing;
  cinfo.dct_method = method;
  cinfo.quantize_colors = colours > 0;
  cinfo.desired_number_of_colors = colours;
  cinfo.two_pass_quantize = TRUE;
  cinfo.dither_mode = JDITHER_FS;
  jpeg_start_decompress(&cinfo);
  std::vector<std::uint32_t> pixels;
  std::vector<JSAMPLE> row(cinfo.output_width * 3);
  const auto channel = [&](std::size_t x, int c) {
    return std::uint32_t(colours ? cinfo.colormap[c][row[x / 3]] : row[x + std::size_t(c)]);
  };
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW r = row.data();
    jpeg_read_scanlines(&cinfo, &r, 1);
    for (std::size_t x = 0; x < row.size(); x += 3)
      pixels.push_back(0xFF000000u | channel(x, 0) << 16 | channel(x, 1) << 8 | channel(x, 2));
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
  std::vector<std::uint32_t> quantised(decoded.size());
  TJpegDecodeRequest eightBit = request;
  eightBit.EightBit = true;
  eightBit.Pixels = quantised.data();
  ASSERT_EQ(DecodeJpeg(eightBit).Kind, TJpegOutcome::Ok);
  for (auto& p : quantised) p |= 0xFF000000u;
  EXPECT_EQ(quantised, LibjpegPixels(file, TRUE, JDCT_ISLOW, 236));
}

// A picture class of the test's own that only notes which class was chosen.
class TNotedGraphic : public TGraphic {
 public:
  explicit TNotedGraphic(int width) : FWidth(width) {}
  int Width() const override { return FWidth; }
  int Height() const override { return 1; }
  void LoadFromFile(const std::string&) override {}
  void Draw(TCanvas&, int, int) override {}

 private:
  int FWidth;
};

class PictureTest : public testing::Test {
 protected:
  void SetUp() override { RegisterJpegFormat(); }
  std::string GoodJpeg(const std::string& name, int width = 40, int height = 30) {
    WriteFile(Dir / name, MakeJpeg({.Width = width, .Height = height}, Flat({10, 120, 240, 0})));
    return Dir / name;
  }
  TempDir Dir;
};

// JPEG is registered for .jpeg, then .jpg; extensions match without regard
// to case, and the newest registration of one wins.
TEST_F(PictureTest, FormatsAreChosenByExtensionTheNewestFirst) {
  std::vector<std::string> extensions;
  for (const TFileFormat& f : TPicture::FileFormats()) {
    if (f.Description == "JPEG Image File") extensions.push_back(f.Extension);
  }
  EXPECT_EQ(extensions, (std::vector<std::string>{"jpeg", "jpg"}));
  for (int width : {1, 2}) {
    TPicture::RegisterFileFormat(width == 1 ? "tst" : "TST", width == 1 ? "Older" : "Newer", [width] {
      return std::unique_ptr<TGraphic>(std::make_unique<TNotedGraphic>(width));
    });
  }
  TPicture picture;
  picture.LoadFromFile("/nowhere/picture.tSt");
  EXPECT_EQ(picture.Width(), 2);
}

// Files of either extension in any case load as JPEG pictures, each a change
// reported by the image that holds the picture. Refusals come before any
// decoding: the extension, then the file as it is opened (the path
// expanded, its kind or size named), then its data; each keeps the picture
// loaded before and reports no change.
TEST_F(PictureTest, LoadsReplaceThePictureAndRefusalsKeepIt) {
  TImage image(nullptr);
  int changes = 0;
  image.OnChange = [&](TObject* sender) {
    EXPECT_EQ(sender, &image);
    ++changes;
  };
  TPicture& picture = image.Picture();
  TBitmap bitmap(5, 5);
  bitmap.Assign(&picture);
  EXPECT_TRUE(bitmap.Empty());
  const char* names[] = {"a.jpg", "b.JPG", "c.jpeg", "d.Jpeg"};
  for (int i = 0; i < 4; ++i) {
    picture.LoadFromFile(GoodJpeg(names[i], 40 + i, 30));
    EXPECT_EQ(picture.Graphic()->ClassName(), "TJPEGImage") << names[i];
    EXPECT_EQ(std::pair(picture.Width(), picture.Height()), std::pair(40 + i, 30));
  }
  bitmap.Assign(&picture);
  EXPECT_EQ(std::pair(bitmap.Width(), bitmap.Height()), std::pair(43, 30));

  const std::string fifo = Dir / "pipe.jpg";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  const std::string folder = Dir.AddDir("folder.jpg");
  ASSERT_EQ(chmod(folder.c_str(), 0), 0);  // its kind names it, whatever its permission bits
  const std::string device = Dir.AddSymlink("zero.jpg", "/dev/zero");
  const std::string big = Dir.AddFile("big.jpg");
  ASSERT_EQ(truncate(big.c_str(), off_t(MaxPictureFileSize) + 1), 0);  // sparse: costs no disk
  const std::string text = Dir.AddFile("text.jpg", "This is not a picture at all.\n");
  // A system file says 4096 bytes and holds a few: the read ends where the data does.
  const std::string shrunk = Dir.AddSymlink("online.jpg", "/sys/devices/system/cpu/online");
  const std::string expanded = (std::filesystem::current_path() / "no-such-file.jpg").string();
  auto open = [](const std::string& f, const std::string& cause) {
    return "Cannot open file \"" + f + "\". " + cause;
  };
  const struct {
    std::string Path, Message;
    bool OpenError;
  } cases[] = {
      {Dir / "scan.PNG", "Unknown picture file extension (.PNG)", false},
      {Dir / "noextension", "Unknown picture file extension (.)", false},
      {"no-such-folder/../no-such-file.jpg", open(expanded, std::strerror(ENOENT)), true},
      {fifo, open(fifo, "It is a named pipe, not a file"), true},  // never blocks
      {folder, open(folder, "It is a folder, not a file"), true},
      {device, open(device, "It is a device, not a file"), true},
      {big, open(big, "The file is larger than 512 MiB"), true},  // unread
      {text, JpegError(JERR_NO_SOI), false},
      {shrunk, JpegError(JERR_NO_SOI), false},
  };
  TGraphic* const before = picture.Graphic();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.Path);
    try {
      picture.LoadFromFile(c.Path);
      ADD_FAILURE() << "no error";
    } catch (const EFOpenError& e) {
      EXPECT_TRUE(c.OpenError);
      EXPECT_EQ(e.Message, c.Message);
    } catch (const EInvalidGraphic& e) {
      EXPECT_FALSE(c.OpenError);
      EXPECT_EQ(e.Message, c.Message);
    }
    EXPECT_EQ(picture.Graphic(), before);
    EXPECT_EQ(picture.Width(), 43);
  }
  EXPECT_EQ(changes, 4);
  chmod(folder.c_str(), 0700);
}

std::string gResolvedTo;
std::string ResolveToTestFile(const std::string&) { return gResolvedTo; }

TEST_F(PictureTest, FilesAreOpenedThroughTheInstalledPathResolver) {
  gResolvedTo = GoodJpeg("real.jpg", 24, 12);
  SetPathResolver(ResolveToTestFile);
  TPicture picture;
  EXPECT_NO_THROW(picture.LoadFromFile("/LISTED/AS/THIS.jpg"));
  gResolvedTo = Dir / "gone.jpg";
  const std::string message = ErrorOf([&] { picture.LoadFromFile("/LISTED/AS/OTHER.jpg"); });
  SetPathResolver(nullptr);
  EXPECT_EQ(picture.Width(), 24);
  // The error names the file really opened.
  EXPECT_EQ(message, "Cannot open file \"" + Dir / "gone.jpg" + "\". " + std::string(std::strerror(ENOENT)));
}

// Made anew, or resized, in memory that held white: black but for the
// overlap a resize keeps.
TEST(PixelStore, ALargeBitmapMadeOrResizedAfterAFreedOneComesBlack) {
  // The same size, a little smaller, half the pixels, and larger.
  for (const TPoint size :
       {TPoint{kWide, kHigh}, TPoint{kWide, kHigh - 3}, TPoint{kWide / 2, kHigh}, TPoint{kWide, kHigh + 64}}) {
    FreeAWhiteLargeBitmap();
    EXPECT_EQ(PixelsOtherThan(TBitmap(size.X, size.Y), {}), 0) << size.X << " x " << size.Y;
  }
  TBitmap b(kWide, kHigh);
  b.Canvas().SetPixel(5, 7, clRed);
  b.Canvas().SetPixel(kWide - 1, kHigh - 1, clBlue);
  FreeAWhiteLargeBitmap(kWide, kHigh + 8);
  b.SetSize(kWide, kHigh + 8);
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(b.Canvas().Pixel(kWide - 1, kHigh - 1), clBlue);
  EXPECT_EQ(PixelsOtherThan(b, {}), 2);
  FreeAWhiteLargeBitmap(kWide, kHigh / 2 + 1);
  b.SetSize(kWide, kHigh / 2);
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(PixelsOtherThan(b, {}), 1);
}

// Small and large stores alike: an assigned bitmap shares the store until
// one side writes, which copies every pixel first.
TEST(PixelStore, AWriteToASharedStoreCopiesEveryPixelFirst) {
  for (const int side : {3, kWide}) {
    TBitmap a(side, side), b;
    a.Canvas().Brush.SetColor(clGreen);
    a.Canvas().FillRect({0, 0, side, side});
    b.Assign(&a);
    EXPECT_TRUE(b.SharesStoreWith(a));
    FreeAWhiteLargeBitmap();
    b.Canvas().SetPixel(1, 1, clBlue);
    ASSERT_FALSE(b.SharesStoreWith(a));
    EXPECT_EQ(b.Canvas().Pixel(1, 1), clBlue);
    EXPECT_EQ(PixelsOtherThan(b, {0, 128, 0}), 1);
    EXPECT_EQ(PixelsOtherThan(a, {0, 128, 0}), 0);
  }
}

// A store the address space cannot hold is refused with the size asked for.
TEST(PixelStore, ABitmapThatCannotBeHadRaisesOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer stops at an allocation this large";
#else
  EXPECT_EQ(ErrorOf([] { TBitmap huge(1 << 30, 1 << 29); }),  // 2 EiB
            "Out of memory for a bitmap of 1073741824 x 536870912 pixels");
#endif
}

TEST(PixelStore, APictureDecodedAfterAnotherOfItsSizeShowsOnlyItsOwnPixels) {
  // Flat colours at top quality with full chroma come back within a level or two.
  const Options o{.Width = kWide, .Height = kHigh, .Quality = 100, .FullChroma = true};
  {
    TJPEGImage red;
    red.LoadFromData(MakeJpeg(o, Flat({220, 20, 20, 0})));
    ASSERT_EQ(PixelsOtherThan(red.Bitmap(), {220, 20, 20}, 3), 0);
  }
  TJPEGImage blue;
  blue.LoadFromData(MakeJpeg(o, Flat({20, 20, 220, 0})));
  EXPECT_EQ(PixelsOtherThan(blue.Bitmap(), {20, 20, 220}, 3), 0);
}

}  // namespace
