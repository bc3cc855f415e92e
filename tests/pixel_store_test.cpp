// Large pixel stores: the memory of a freed large bitmap serves the next one,
// which must still come black, resize and copy like any other, and take a
// decoded picture whole, black where decoding stopped.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

#include "support/JpegMaker.h"
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

// Pixels with a channel more than tolerance from rgb's.
int PixelsOtherThan(const TBitmap& b, std::uint32_t rgb, int tolerance = 0) {
  int count = 0;
  for (int y = 0; y < b.Height(); ++y) {
    const std::uint32_t* row = b.ScanLine(y);
    for (int x = 0; x < b.Width(); ++x) {
      const std::uint32_t p = row[x] & 0xFFFFFF;
      bool other = false;
      for (int shift = 0; p != rgb && shift < 24; shift += 8) {
        other |= std::abs(int(p >> shift & 0xFF) - int(rgb >> shift & 0xFF)) > tolerance;
      }
      count += other;
    }
  }
  return count;
}

// Made anew, or resized, in memory that held white: black but for the
// overlap a resize keeps.
TEST(PixelStore, ALargeBitmapMadeOrResizedAfterAFreedOneComesBlack) {
  // The same size, a little smaller, half the pixels, and larger.
  const TPoint sizes[] = {{kWide, kHigh}, {kWide, kHigh - 3}, {kWide / 2, kHigh}, {kWide, kHigh + 64}};
  for (const TPoint& size : sizes) {
    FreeAWhiteLargeBitmap();
    const TBitmap b(size.X, size.Y);
    EXPECT_EQ(PixelsOtherThan(b, 0x000000), 0) << size.X << " x " << size.Y;
  }
  TBitmap b(kWide, kHigh);
  b.Canvas().SetPixel(5, 7, clRed);
  b.Canvas().SetPixel(kWide - 1, kHigh - 1, clBlue);
  FreeAWhiteLargeBitmap(kWide, kHigh + 8);
  b.SetSize(kWide, kHigh + 8);
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(b.Canvas().Pixel(kWide - 1, kHigh - 1), clBlue);
  EXPECT_EQ(PixelsOtherThan(b, 0x000000), 2);
  FreeAWhiteLargeBitmap(kWide, kHigh / 2 + 1);
  b.SetSize(kWide, kHigh / 2);
  EXPECT_EQ(b.Canvas().Pixel(5, 7), clRed);
  EXPECT_EQ(PixelsOtherThan(b, 0x000000), 1);
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
    EXPECT_EQ(PixelsOtherThan(b, 0x008000), 1);
    EXPECT_EQ(PixelsOtherThan(a, 0x008000), 0);
  }
}

// A store the address space cannot hold is refused with the size asked for.
TEST(PixelStore, ABitmapThatCannotBeHadRaisesOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer stops at an allocation this large";
#else
  try {
    TBitmap huge(1 << 30, 1 << 29);  // 2 EiB
    ADD_FAILURE() << "no error";
  } catch (const EOutOfMemory& e) {
    EXPECT_EQ(e.Message, "Out of memory for a bitmap of 1073741824 x 536870912 pixels");
  }
#endif
}

TEST(PixelStore, APictureDecodedAfterAnotherOfItsSizeShowsOnlyItsOwnPixels) {
  // Flat colours at top quality with full chroma come back within a level or two.
  const Options o{.Width = kWide, .Height = kHigh, .Quality = 100, .FullChroma = true};
  {
    TJPEGImage red;
    red.LoadFromData(MakeJpeg(o, Flat({220, 20, 20, 0})));
    ASSERT_EQ(PixelsOtherThan(red.Bitmap(), 0xDC1414, 3), 0);
  }
  TJPEGImage blue;
  blue.LoadFromData(MakeJpeg(o, Flat({20, 20, 220, 0})));
  EXPECT_EQ(PixelsOtherThan(blue.Bitmap(), 0x1414DC, 3), 0);
}

// The second scan's spectral end set past 63: libjpeg stops with a fatal
// error while it reads the scans, before the first row comes out.
TEST(PixelStore, APictureStoppedBeforeItsFirstRowIsBlackAlsoInReusedMemory) {
  Bytes broken = MakeJpeg({.Width = 512, .Height = 512, .Progressive = true}, Flat({220, 20, 20, 0}));  // 1 MiB
  std::size_t sos = FindMarker(broken, 0xDA);
  for (++sos; broken.at(sos) != 0xFF || broken.at(sos + 1) != 0xDA; ++sos) {
  }
  broken[sos + 5 + 2 * broken[sos + 4] + 1] = 64;
  TJPEGImage jpeg;
  jpeg.LoadFromData(broken);
  FreeAWhiteLargeBitmap(512, 512);
  EXPECT_THROW(jpeg.Bitmap(), EInvalidGraphic);
  const TBitmap& shown = jpeg.Bitmap();  // kept after the error
  ASSERT_EQ(shown.Width(), 512);
  EXPECT_EQ(PixelsOtherThan(shown, 0x000000), 0);
}

}  // namespace
