// Damaged and hostile JPEG data: refused with an error, or shown as far as
// it goes, never a crash, a hang or memory exhausted.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <jpeglib.h>
#include <jerror.h>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Jpeg.h"

using namespace jpegmaker;

namespace {

Bytes SmallJpeg(bool progressive = false, Colour colours = Colour::Rgb) {
  return MakeJpeg({.Width = 64, .Height = 48, .Colours = colours, .Progressive = progressive}, [](int x, int y) {
    return Sample{std::uint8_t(x * 4), std::uint8_t(y * 5), 90, 0};
  });
}

Bytes WithFrameType(Bytes bytes, std::uint8_t code) {
  bytes[FindSof(bytes) + 1] = code;
  return bytes;
}

// 400 megapixels at 4:2:0 are 9.4 million blocks, at least two bits each:
// 2.3 MB coded in full, of which the file must hold an eighth (293 KB).
Bytes FourHundredMegapixels(std::size_t size = 300'000) {
  return PadWithComments(PatchSofSize(SmallJpeg(), 20000, 20000), size);
}

std::string Bomb(const char* size) {
  return std::string("The picture is too large to show: ") + size + " pixels, more than 400 megapixels";
}

class HostileJpegTest : public testing::Test {
 protected:
  // Loads bytes from a file, as the program does.
  void Load(TJPEGImage& jpeg, const Bytes& bytes) {
    WriteFile(Dir / "hostile.jpg", bytes);
    jpeg.LoadFromFile(Dir / "hostile.jpg");
  }
  TempDir Dir;
};

// Refused when the header is read, before any bitmap: libjpeg's own refusals,
// claims over the limit (a few hundred bytes can claim gigapixels), and files
// holding less than an eighth of their picture's least coded data (the rest
// would decode as flat grey from nothing; progressive coding may leave out
// the end of each block, 6.25 million grey blocks at one bit: 781 KB, an
// eighth 98 KB; arithmetic coding codes a blank picture in a few bytes).
// Past a good header: coefficients needing more memory than libjpeg may have
// (19000 x 19000 at 4:4:4, 2.2 GB) refused before any data is read; endless
// scans stopped (a simple progression has 10); damaged data only warns.
TEST_F(HostileJpegTest, HostileHeadersAreRefusedAtLoadHostileDataAtDecodingAndDamageOnlyWarns) {
  const Bytes grey =
      PatchSofSize(MakeJpeg({.Colours = Colour::Grey, .Progressive = true}, Flat({9, 0, 0, 0})), 20000, 20000);
  const Bytes arithmetic = MakeJpeg({.Arithmetic = true}, Flat({9, 9, 9, 0}));
  const Bytes whole = SmallJpeg();
  const std::size_t data = FindMarker(whole, 0xDA);
  const Bytes greedy = MakeJpeg({.Progressive = true, .FullChroma = true}, Flat({1, 2, 3, 0}));
  const struct {
    const char* Name;
    Bytes Data;
    std::string Error;
    bool Decoded = false;  // the error is the first bitmap's; the load gives none
  } rows[] = {
      {"empty", {}, JpegError(JERR_INPUT_EMPTY)},
      {"text", {'G', 'I', 'F', '8', '9', 'a', 0, 0}, JpegError(JERR_NO_SOI)},
      {"cut in the header", Truncate(SmallJpeg(), 100), JpegError(JERR_NO_IMAGE)},
      {"twelve bits", PatchSofPrecision(SmallJpeg(), 12), JpegError(JERR_BAD_PRECISION)},
      {"lossless", WithFrameType(SmallJpeg(), 0xC3), JpegError(JERR_SOF_UNSUPPORTED)},
      {"over libjpeg's limit", PatchSofSize(SmallJpeg(), 65535, 65535), JpegError(JERR_IMAGE_TOO_BIG)},
      {"zero height", PatchSofSize(SmallJpeg(), 64, 0), JpegError(JERR_EMPTY_IMAGE)},
      {"baseline bomb", PatchSofSize(SmallJpeg(), 60000, 60000), Bomb("60000 x 60000")},
      {"progressive bomb", PatchSofSize(SmallJpeg(true), 60000, 60000), Bomb("60000 x 60000")},
      {"grey bomb", PatchSofSize(SmallJpeg(false, Colour::Grey), 65500, 65500), Bomb("65500 x 65500")},
      {"just over the limit", PatchSofSize(SmallJpeg(), 20001, 20000), Bomb("20001 x 20000")},
      {"at the limit", FourHundredMegapixels(), "(no error)"},
      {"at the limit, far too short", FourHundredMegapixels(290'000), JpegError(JERR_INPUT_EOF)},
      {"progressive, far too short", PadWithComments(grey, 95'000), JpegError(JERR_INPUT_EOF)},
      {"progressive, long enough", PadWithComments(grey, 100'000), "(no error)"},
      {"arithmetic, a few bytes", PatchSofSize(arithmetic, 20000, 20000), "(no error)"},
      {"too much decoder memory", PadWithComments(PatchSofSize(greedy, 19000, 19000), 300'000),
       JpegError(JERR_NO_BACKING_STORE), true},
      {"endless scans", RepeatLastScan(SmallJpeg(true), 1100), "The JPEG data has more than 1000 scans", true},
      {"scans at the limit", RepeatLastScan(SmallJpeg(true), 990), "(no error)", true},
      {"corrupt entropy data", XorBytes(whole, data + 20, 40, 0x5A), "(no error)", true},
      {"truncated", Truncate(whole, data + (whole.size() - data) / 2), "(no error)", true},
  };
  TBitmap bitmap;
  for (const auto& row : rows) {
    SCOPED_TRACE(row.Name);
    TJPEGImage jpeg;
    EXPECT_EQ(ErrorOf([&] { Load(jpeg, row.Data); }), row.Decoded ? "(no error)" : row.Error);
    if (!row.Decoded) continue;
    EXPECT_EQ(ErrorOf([&] { bitmap.Assign(&jpeg); }), row.Error);
  }
  // The last, truncated, shows the rows before the cut.
  EXPECT_EQ(bitmap.Height(), 48);
  EXPECT_TRUE(Near(RgbAt(bitmap, 20, 2), {20 * 4, 2 * 5, 90}, 8));
}

// A picture at the limit passes the header check; its bitmap may still not
// be had.
TEST_F(HostileJpegTest, BitmapThatCannotBeHadRaisesOutOfMemory) {
  TJPEGImage jpeg;
  Load(jpeg, FourHundredMegapixels());
  EXPECT_EQ(jpeg.Width(), 20000);
  EXPECT_EQ(jpeg.Height(), 20000);
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#else
  // The address space lowered to what the process uses now and 256 MB more:
  // the 1.6 GB bitmap cannot fit.
  rlimit saved{};
  getrlimit(RLIMIT_AS, &saved);
  std::uint64_t pages = 0;
  std::ifstream("/proc/self/statm") >> pages;
  rlimit lowered = saved;
  lowered.rlim_cur = pages * std::uint64_t(sysconf(_SC_PAGESIZE)) + (std::uint64_t(256) << 20);
  setrlimit(RLIMIT_AS, &lowered);
  TBitmap bitmap;
  const std::string message = ErrorOf([&] { bitmap.Assign(&jpeg); });
  setrlimit(RLIMIT_AS, &saved);
  EXPECT_EQ(message, "Not enough memory for a picture of 20000 x 20000 pixels");
#endif
}

}  // namespace
