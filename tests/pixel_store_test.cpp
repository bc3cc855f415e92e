// Large pixel stores: the memory of a freed large bitmap serves the next one,
// which must still come black, resize and copy like any other, and take a
// decoded picture whole, black where decoding stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Graphics.h"
#include "toolkit/Jpeg.h"
#include "toolkit/SysUtils.h"

using namespace jpegmaker;

namespace {

// 4 MiB a store: well above the size from which freed stores are kept.
constexpr int kWide = 1024;
constexpr int kHigh = 1024;

// A large bitmap painted white everywhere, then freed: its memory is what the
// next large store may get.
void FreeAWhiteLargeBitmap(int width = kWide, int height = kHigh) {
  auto b = std::make_unique<TBitmap>(width, height);
  b->Canvas().Brush.SetColor(clWhite);
  b->Canvas().FillRect({0, 0, width, height});
}

// Pixels whose colour (the low 24 bits) is not the expected one, in rows y0..y1-1.
int PixelsOtherThan(const TBitmap& b, std::uint32_t rgb, int y0 = 0, int y1 = -1) {
  if (y1 < 0) y1 = b.Height();
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    const std::uint32_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) count += (row[x] & 0xFFFFFF) != rgb;
  }
  return count;
}

TEST(PixelStore, ALargeBitmapMadeAfterAFreedOneComesBlack) {
  struct Case {
    int Width, Height;
  };
  // The same size, a little smaller, half the pixels, and larger.
  const Case cases[] = {{kWide, kHigh}, {kWide, kHigh - 3}, {kWide / 2, kHigh}, {kWide, kHigh + 64}};
  for (const Case& c : cases) {
    FreeAWhiteLargeBitmap();
    const TBitmap b(c.Width, c.Height);
    EXPECT_EQ(PixelsOtherThan(b, 0x000000), 0) << c.Width << " x " << c.Height;
  }
}

TEST(PixelStore, ResizingALargeBitmapKeepsTheOverlapAndBlackensTheRest) {
  TBitmap b(kWide, kHigh);
  b.Canvas().SetPixel(5, 7, clRed);
  b.Canvas().SetPixel(kWide - 1, kHigh - 1, clBlue);
  FreeAWhiteLargeBitmap(kWide, kHigh + 8);
  b.SetSize(kWide, kHigh + 8);  // grows into memory that held white
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(b.Canvas().Pixel(kWide - 1, kHigh - 1), clBlue);
  EXPECT_EQ(PixelsOtherThan(b, 0x000000, kHigh, kHigh + 8), 0);
  FreeAWhiteLargeBitmap(kWide, kHigh / 2 + 1);
  b.SetSize(kWide, kHigh / 2);
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(PixelsOtherThan(b, 0x000000), 1);
}

TEST(PixelStore, AWriteToASharedLargeStoreCopiesEveryPixelFirst) {
  TBitmap a(kWide, kHigh);
  a.Canvas().Brush.SetColor(clGreen);
  a.Canvas().FillRect({0, 0, kWide, kHigh});
  TBitmap b;
  b.Assign(&a);
  FreeAWhiteLargeBitmap();
  b.Canvas().SetPixel(0, 0, clBlue);  // detaches into a new store
  ASSERT_FALSE(b.SharesStoreWith(a));
  EXPECT_EQ(PixelsOtherThan(b, 0x008000), 1);
  EXPECT_EQ(PixelsOtherThan(a, 0x008000), 0);
}

// Flat colours at top quality with full chroma come back within a level or two.
bool NearlyFlat(const TBitmap& b, int r, int g, int bl) {
  for (int y = 0; y < b.Height(); ++y) {
    const std::uint32_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      const int pr = int(row[x] >> 16 & 0xFF), pg = int(row[x] >> 8 & 0xFF), pb = int(row[x] & 0xFF);
      if (std::abs(pr - r) > 3 || std::abs(pg - g) > 3 || std::abs(pb - bl) > 3) return false;
    }
  }
  return true;
}

TEST(PixelStore, APictureDecodedAfterAnotherOfItsSizeShowsOnlyItsOwnPixels) {
  RegisterJpegFormat();
  TempDir dir;
  Options o;
  o.Width = kWide;
  o.Height = kHigh;
  o.FullChroma = true;
  o.Quality = 100;
  WriteFile(dir / "red.jpg", MakeJpeg(o, Flat({220, 20, 20, 0})));
  WriteFile(dir / "blue.jpg", MakeJpeg(o, Flat({20, 20, 220, 0})));
  {
    TJPEGImage red;
    red.LoadFromFile(dir / "red.jpg");
    ASSERT_TRUE(NearlyFlat(red.Bitmap(), 220, 20, 20));
  }
  TJPEGImage blue;
  blue.LoadFromFile(dir / "blue.jpg");
  EXPECT_TRUE(NearlyFlat(blue.Bitmap(), 20, 20, 220));
}

// The second scan's spectral end set past 63: libjpeg stops with a fatal
// error while it reads the scans, before the first row comes out.
Bytes WithBrokenSecondScan(Bytes bytes) {
  int seen = 0;
  for (std::size_t i = 0; i + 1 < bytes.size(); ++i) {
    if (bytes[i] != 0xFF || bytes[i + 1] != 0xDA || ++seen < 2) continue;
    const std::size_t components = bytes[i + 4];
    bytes[i + 5 + 2 * components + 1] = 64;
    return bytes;
  }
  throw std::runtime_error("no second scan");
}

TEST(PixelStore, APictureStoppedBeforeItsFirstRowIsBlackAlsoInReusedMemory) {
  RegisterJpegFormat();
  TempDir dir;
  Options o;
  o.Width = 512;  // 1 MiB of pixels
  o.Height = 512;
  o.Progressive = true;
  WriteFile(dir / "broken.jpg", WithBrokenSecondScan(MakeJpeg(o, Flat({220, 20, 20, 0}))));
  TJPEGImage broken;
  broken.LoadFromFile(dir / "broken.jpg");
  FreeAWhiteLargeBitmap(512, 512);
  EXPECT_THROW(broken.Bitmap(), EInvalidGraphic);
  const TBitmap& shown = broken.Bitmap();  // kept after the error
  ASSERT_EQ(shown.Width(), 512);
  EXPECT_EQ(PixelsOtherThan(shown, 0x000000), 0);
}

}  // namespace
