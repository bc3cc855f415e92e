// Damaged and hostile JPEG data: refused with an error, or shown as far as
// it goes, never a crash, a hang or memory exhausted.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <jpeglib.h>
#include <jerror.h>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Jpeg.h"

using namespace jpegmaker;

namespace {

Bytes SmallJpeg(bool progressive = false, Colour colours = Colour::Rgb) {
  Options o;
  o.Width = 64;
  o.Height = 48;
  o.Progressive = progressive;
  o.Colours = colours;
  return MakeJpeg(o, [](int x, int y) { return Sample{std::uint8_t(x * 4), std::uint8_t(y * 5), 90, 0}; });
}

Bytes WithFrameType(Bytes bytes, std::uint8_t code) {
  bytes[FindSof(bytes) + 1] = code;
  return bytes;
}

class HostileJpegTest : public testing::Test {
 protected:
  // Loads bytes from a file, as the program does.
  void Load(TJPEGImage& jpeg, const Bytes& bytes) {
    WriteFile(Dir / "hostile.jpg", bytes);
    jpeg.LoadFromFile(Dir / "hostile.jpg");
  }
  std::string LoadError(const Bytes& bytes) {
    TJPEGImage jpeg;
    try {
      Load(jpeg, bytes);
    } catch (const EInvalidGraphic& e) {
      return e.Message;
    }
    return "(no error)";
  }
  std::string DecodeError(TJPEGImage& jpeg) {
    TBitmap bitmap;
    try {
      bitmap.Assign(&jpeg);
    } catch (const Exception& e) {
      return e.Message;
    }
    return "(no error)";
  }
  TempDir Dir;
};

struct BombCase {
  const char* Name;
  std::function<Bytes()> Make;
  const char* Size;
};

class BombTest : public HostileJpegTest, public testing::WithParamInterface<BombCase> {};

// A few hundred bytes can claim gigapixels; the claim is refused when the
// header is read, before any bitmap is made.
TEST_P(BombTest, PicturesOverTheLimitAreRefusedWhenTheHeaderIsRead) {
  EXPECT_EQ(LoadError(GetParam().Make()), std::string("The picture is too large to show: ") + GetParam().Size +
                                              " pixels, more than 400 megapixels");
}

INSTANTIATE_TEST_SUITE_P(
    Bombs, BombTest,
    testing::Values(
        BombCase{"Baseline60000", [] { return PatchSofSize(SmallJpeg(), 60000, 60000); }, "60000 x 60000"},
        BombCase{"Progressive60000", [] { return PatchSofSize(SmallJpeg(true), 60000, 60000); }, "60000 x 60000"},
        BombCase{"Grey65500", [] { return PatchSofSize(SmallJpeg(false, Colour::Grey), 65500, 65500); },
                 "65500 x 65500"},
        BombCase{"JustOver", [] { return PatchSofSize(SmallJpeg(), 20001, 20000); }, "20001 x 20000"}),
    [](const auto& info) { return std::string(info.param.Name); });

// 400 megapixels at 4:2:0 are 9.4 million blocks, at least two bits each:
// 2.3 MB coded in full, of which the file must hold an eighth (293 KB).
Bytes FourHundredMegapixels(std::size_t size = 300'000) {
  return PadWithComments(PatchSofSize(SmallJpeg(), 20000, 20000), size);
}

TEST_F(HostileJpegTest, FourHundredMegapixelsPassTheHeaderCheck) {
  TJPEGImage jpeg;
  Load(jpeg, FourHundredMegapixels());
  EXPECT_EQ(jpeg.Width(), 20000);
  EXPECT_EQ(jpeg.Height(), 20000);
}

// An eighth of the least coded data: below it the rest of the picture would
// decode as flat grey from nothing. Progressive coding may leave out the end
// of each block; arithmetic coding can code a blank picture in a few bytes.
TEST_F(HostileJpegTest, FileFarTooShortForItsPictureIsRefusedAtLoad) {
  EXPECT_EQ(JpegErrorCode(LoadError(FourHundredMegapixels(290'000))), JERR_INPUT_EOF);
  Options progressive;
  progressive.Progressive = true;
  progressive.Colours = Colour::Grey;
  // 6.25 million blocks at one bit: 781 KB, an eighth of it 98 KB.
  const Bytes grey = PatchSofSize(MakeJpeg(progressive, Flat({9, 0, 0, 0})), 20000, 20000);
  EXPECT_EQ(JpegErrorCode(LoadError(PadWithComments(grey, 95'000))), JERR_INPUT_EOF);
  EXPECT_EQ(LoadError(PadWithComments(grey, 100'000)), "(no error)");
  Options arithmetic;
  arithmetic.Arithmetic = true;
  EXPECT_EQ(LoadError(PatchSofSize(MakeJpeg(arithmetic, Flat({9, 9, 9, 0})), 20000, 20000)), "(no error)");
}

// 19000 x 19000 at 4:4:4 needs 2.2 GB of coefficients to decode progressively,
// more than libjpeg is allowed; it refuses before reading any data.
TEST_F(HostileJpegTest, ProgressiveFileNeedingTooMuchDecoderMemoryIsRefused) {
  Options o;
  o.Progressive = true;
  o.FullChroma = true;
  TJPEGImage jpeg;
  Load(jpeg, PadWithComments(PatchSofSize(MakeJpeg(o, Flat({1, 2, 3, 0})), 19000, 19000), 300'000));
  EXPECT_EQ(JpegErrorCode(DecodeError(jpeg)), JERR_NO_BACKING_STORE);
}

// Lowers the address-space limit of the process to what it uses now plus a
// margin, for the lifetime of the object.
class AddressSpaceLimit {
 public:
  explicit AddressSpaceLimit(std::uint64_t margin) {
    getrlimit(RLIMIT_AS, &FSaved);
    std::uint64_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    rlimit lowered = FSaved;
    lowered.rlim_cur = pages * std::uint64_t(sysconf(_SC_PAGESIZE)) + margin;
    setrlimit(RLIMIT_AS, &lowered);
  }
  ~AddressSpaceLimit() { setrlimit(RLIMIT_AS, &FSaved); }

 private:
  rlimit FSaved{};
};

TEST_F(HostileJpegTest, BitmapThatCannotBeHadRaisesOutOfMemory) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the address sanitizer needs an unlimited address space";
#else
  TJPEGImage jpeg;
  Load(jpeg, FourHundredMegapixels());
  TBitmap bitmap;
  std::string message;
  {
    const AddressSpaceLimit limit(std::uint64_t(256) << 20);  // the 1.6 GB bitmap cannot fit
    try {
      bitmap.Assign(&jpeg);
    } catch (const EOutOfMemory& e) {
      message = e.Message;
    }
  }
  EXPECT_EQ(message, "Not enough memory for a picture of 20000 x 20000 pixels");
#endif
}

TEST_F(HostileJpegTest, ProgressiveFileWithEndlessScansIsStopped) {
  // The simple progression of a colour picture has 10 scans.
  TJPEGImage endless;
  Load(endless, RepeatLastScan(SmallJpeg(true), 1100));
  EXPECT_EQ(DecodeError(endless), "The JPEG data has more than 1000 scans");
  TJPEGImage atTheLimit;
  Load(atTheLimit, RepeatLastScan(SmallJpeg(true), 990));
  EXPECT_EQ(DecodeError(atTheLimit), "(no error)");
}

struct LoadErrorCase {
  const char* Name;
  std::function<Bytes()> Make;
  int Code;
};

class LoadErrorTest : public HostileJpegTest, public testing::WithParamInterface<LoadErrorCase> {};

TEST_P(LoadErrorTest, LibraryRefusalsBecomeNumberedJpegErrors) {
  EXPECT_EQ(LoadError(GetParam().Make()), "JPEG error #" + std::to_string(GetParam().Code));
}

INSTANTIATE_TEST_SUITE_P(
    Refusals, LoadErrorTest,
    testing::Values(
        LoadErrorCase{"Empty", [] { return Bytes{}; }, JERR_INPUT_EMPTY},
        LoadErrorCase{"Text", [] { return Bytes{'G', 'I', 'F', '8', '9', 'a', 0, 0}; }, JERR_NO_SOI},
        LoadErrorCase{"CutInHeader", [] { return Truncate(SmallJpeg(), 100); }, JERR_NO_IMAGE},
        LoadErrorCase{"TwelveBit", [] { return PatchSofPrecision(SmallJpeg(), 12); }, JERR_BAD_PRECISION},
        LoadErrorCase{"Lossless", [] { return WithFrameType(SmallJpeg(), 0xC3); }, JERR_SOF_UNSUPPORTED},
        LoadErrorCase{"OverLibraryLimit", [] { return PatchSofSize(SmallJpeg(), 65535, 65535); },
                      JERR_IMAGE_TOO_BIG},
        LoadErrorCase{"ZeroHeight", [] { return PatchSofSize(SmallJpeg(), 64, 0); }, JERR_EMPTY_IMAGE}),
    [](const auto& info) { return std::string(info.param.Name); });

// Damaged data only makes libjpeg warn; the picture shows as far as it goes.
TEST_F(HostileJpegTest, TruncatedDataShowsTheRowsBeforeTheCut) {
  const Bytes whole = SmallJpeg();
  const std::size_t data = FindMarker(whole, 0xDA);
  TJPEGImage jpeg;
  Load(jpeg, Truncate(whole, data + (whole.size() - data) / 2));
  TBitmap bitmap;
  ASSERT_NO_THROW(bitmap.Assign(&jpeg));
  EXPECT_EQ(bitmap.Height(), 48);
  EXPECT_TRUE(Near(RgbAt(bitmap, 20, 2), {20 * 4, 2 * 5, 90}, 8));
}

TEST_F(HostileJpegTest, CorruptEntropyDataGivesAGarbledPictureWithoutError) {
  const Bytes whole = SmallJpeg();
  const std::size_t data = FindMarker(whole, 0xDA) + 20;
  TJPEGImage jpeg;
  Load(jpeg, XorBytes(whole, data, 40, 0x5A));
  EXPECT_EQ(DecodeError(jpeg), "(no error)");
}

}  // namespace
