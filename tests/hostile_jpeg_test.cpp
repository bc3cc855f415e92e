// Damaged and hostile JPEG data: refused with an error, or shown as far as
// it goes, never a crash, a hang or memory exhausted. Every file of the
// shared public corpus with the outcome and size its manifest gives: a
// picture of W x H, an error with libjpeg's message, or a refusal of a
// decompression bomb before any bitmap is made; a few valid files compared
// pixel by pixel with djpeg's output.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <jerror.h>
#include <set>
#include <sstream>

#include "picture_test_helpers.h"
#include "support/JpegMaker.h"
#include "tools/TempDir.h"
#include "toolkit/Jpeg.h"
#include "toolkit/JpegFrame.h"
#include "toolkit/Pictures.h"

using namespace jpegmaker;
namespace fs = std::filesystem;

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
  // Exif blocks (Intel order) that would turn the 64 x 48 picture to stand
  // 48 wide, damaged: the picture shows as stored. The 32 bytes: signature,
  // byte order at 6, 42 at 8, the directory's offset at 10, its entry count
  // at 14, the entry's tag at 16, type at 18, count at 20, value at 24, the
  // next directory's offset at 28.
  const Bytes upright = ExifBlock(6);
  const auto exif = [&](std::size_t at, const Bytes& patch, std::size_t size = 32) {
    Bytes block = upright;
    std::copy(patch.begin(), patch.end(), block.begin() + std::ptrdiff_t(at));
    block.resize(size);
    return WithApp1(SmallJpeg(), block);
  };
  const std::string fine = "(no error)";
  const struct {
    const char* Name;
    Bytes Data;
    std::string Error;
    bool Decoded = false;     // the error is the first bitmap's; the load gives none
    int Shown = 0;            // when given, the width the picture shows, turned or not
    const char* Detail = "";  // libjpeg's own words, where checked
  } rows[] = {
      {"Exif block intact", exif(0, {}), fine, true, 48},
      {"Exif block cut in its entry", exif(0, {}, 20), fine, true, 64},
      {"Exif block cut in the orientation's value", exif(0, {}, 25), fine, true, 64},
      {"Exif signature alone", exif(0, {}, 6), fine, true, 64},
      {"Exif byte order unknown", exif(6, {'I', 'M'}), fine, true, 64},
      {"Exif TIFF number not 42", exif(8, {43, 0}), fine, true, 64},
      {"Exif directory past the block, near 2^32", exif(10, {0xF0, 0xFF, 0xFF, 0xFF}), fine, true, 64},
      {"Exif directory on the header: 18761 entries", exif(10, {0, 0, 0, 0}), fine, true, 64},
      {"Exif 65535 entries, the first another tag", exif(14, {0xFF, 0xFF, 0x11, 0x01}), fine, true, 64},
      {"Exif orientation counted 2^32 - 1 times", exif(20, {0xFF, 0xFF, 0xFF, 0xFF}), fine, true, 64},
      {"Exif orientation of type LONG", exif(18, {4, 0}), fine, true, 64},
      {"Exif orientation 0", exif(24, {0, 0}), fine, true, 64},
      {"Exif next directory looping onto itself", exif(28, {8, 0, 0, 0}), fine, true, 48},
      {"empty", {}, JpegError(JERR_INPUT_EMPTY), false, 0, "Empty input file"},
      {"text",
       {'G', 'I', 'F', '8', '9', 'a', 0, 0},
       JpegError(JERR_NO_SOI),
       false,
       0,
       "Not a JPEG file: starts with 0x47 0x49"},
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
      {"at the limit, far too short", FourHundredMegapixels(290'000), JpegError(JERR_INPUT_EOF), false, 0,
       "Premature end of input file"},
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
    if (row.Shown) {
      // The frame walk that sizes a slide's tip agrees.
      TJpegFrame frame;
      ASSERT_EQ(FindJpegFrame(row.Data.data(), row.Data.size(), frame), TJpegFrameSearch::Found);
      EXPECT_EQ(std::pair(jpeg.Width(), frame.ShownWidth()), std::pair(row.Shown, row.Shown));
    }
    if (*row.Detail) {
      try {
        Load(jpeg, row.Data);
      } catch (const EInvalidGraphic& e) {
        EXPECT_EQ(e.Detail, row.Detail);
      }
    }
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

const fs::path kCorpusDir = GLIMMET_CORPUS_DIR;

enum Outcome { kPicture, kError, kRefused };

struct CorpusFile {
  std::string Name;  // relative to the corpus folder
  Outcome Expected = kPicture;
  int Width = 0, Height = 0;  // from the frame header; "-" when there is none
  std::string LibraryText;    // djpeg's fatal message, for errors
};

std::string Trimmed(const std::string& s) {
  const std::size_t begin = s.find_first_not_of(' ');
  return begin == std::string::npos ? "" : s.substr(begin, s.find_last_not_of(' ') + 1 - begin);
}

// The rows of a manifest's tables (File | Source | Licence | Bytes |
// Dimensions | ... | djpeg | A correct reader should), in the folder of the
// heading above them ("## photos/"). What a reader should do begins with
// "refuse", "error" or, for pictures shown without an error, a kind of picture.
void ReadManifest(const std::string& folder, std::vector<CorpusFile>& files) {
  std::ifstream in(kCorpusDir / folder / "MANIFEST.md");
  std::string section = folder;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("## ", 0) == 0) section = folder + Trimmed(line.substr(3));
    if (line.rfind("| ", 0) != 0 || line.rfind("| File ", 0) == 0) continue;
    std::vector<std::string> cells;
    std::stringstream row(line.substr(1));
    for (std::string cell; std::getline(row, cell, '|');) cells.push_back(Trimmed(cell));
    CorpusFile f;
    f.Name = section + cells.at(0);
    if (std::sscanf(cells.at(4).c_str(), "%dx%d", &f.Width, &f.Height) != 2) f.Width = f.Height = 0;
    const std::string& should = cells.at(9);
    f.Expected = should.rfind("refuse", 0) == 0 ? kRefused : should.rfind("error", 0) == 0 ? kError : kPicture;
    EXPECT_TRUE(f.Expected != kPicture || should.find("picture") != std::string::npos) << f.Name << ": " << should;
    if (f.Expected == kError) f.LibraryText = cells.at(8).substr(std::string("error: ").size());
    files.push_back(f);
  }
}

// libjpeg's own text for a message number, up to its first argument.
std::string LibraryMessagePrefix(int code) {
  jpeg_error_mgr err;
  jpeg_std_error(&err);
  if (code < 0 || code > err.last_jpeg_message) return "(no such message)";
  const std::string format = err.jpeg_message_table[code];
  return format.substr(0, format.find('%'));
}

// A picture loads and decodes at its frame header's size, every row written
// down to the last pixel. An error, with djpeg's message, comes at loading
// or, past a good header, at the first decode; then the picture keeps its
// rows and gives them without a second error. A refusal comes at loading,
// before any bitmap.
void ExpectOutcome(const CorpusFile& f) {
  const std::string path = (kCorpusDir / f.Name).string();
  TPicture picture;
  if (f.Expected == kRefused) {
    EXPECT_THROW(picture.LoadFromFile(path), EInvalidGraphic);
    EXPECT_EQ(picture.Graphic(), nullptr);
    return;
  }
  TBitmap bitmap;
  std::string error = ErrorOf([&] { picture.LoadFromFile(path); });
  const bool loaded = error == "(no error)";
  if (loaded) error = ErrorOf([&] { bitmap.Assign(&picture); });
  if (f.Expected == kError) {
    const std::string library = LibraryMessagePrefix(JpegErrorCode(error));
    EXPECT_EQ(f.LibraryText.rfind(library, 0), 0u)
        << error << " is \"" << library << "...\", djpeg: " << f.LibraryText;
    if (!loaded) return;
    ASSERT_NO_THROW(bitmap.Assign(&picture));
  } else {
    ASSERT_EQ(error, "(no error)");
  }
  // The manifest gives the stored size: a photo whose Exif orientation is
  // 5 to 8 shows with its sides swapped.
  const int orientation = picture.Graphic()->Orientation();
  const bool swaps = orientation >= 5 && orientation <= 8;
  const int width = swaps ? f.Height : f.Width, height = swaps ? f.Width : f.Height;
  if (f.Expected != kError) {
    EXPECT_EQ(picture.Width(), width);
    EXPECT_EQ(picture.Height(), height);
  }
  ASSERT_EQ(bitmap.Width(), width);
  ASSERT_EQ(bitmap.Height(), height);
  EXPECT_TRUE(f.Expected != kPicture || TopByteAt(bitmap, width - 1, height - 1) == 0xFFu);
}

TEST(CorpusTest, EveryFileGivesTheOutcomeOfItsManifest) {
  if (!fs::is_directory(kCorpusDir)) GTEST_SKIP() << "no corpus at " << kCorpusDir;
  RegisterJpegFormat();
  std::vector<CorpusFile> files;
  ReadManifest("", files);
  ReadManifest("extra/", files);
  EXPECT_EQ(files.size(), 116u);
  std::set<std::string> listed, found;
  for (const CorpusFile& f : files) {
    SCOPED_TRACE(f.Name);
    listed.insert(f.Name);
    ExpectOutcome(f);
  }
  for (const auto& entry : fs::recursive_directory_iterator(kCorpusDir)) {
    if (entry.is_regular_file() && entry.path().filename() != "MANIFEST.md") {
      found.insert(fs::relative(entry.path(), kCorpusDir).string());
    }
  }
  EXPECT_EQ(listed, found);
}

// Colour pictures decode exactly as djpeg -dct int does (same library, same
// settings); greyscale ones are quantised to 236 levels with dithering here,
// about half a level off. The bound is on the mean difference per channel.
TEST(DjpegReferenceTest, DecodedPixelsMatchDjpeg) {
  if (!fs::is_directory(kCorpusDir)) GTEST_SKIP() << "no corpus at " << kCorpusDir;
  if (std::system("command -v djpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "djpeg is not installed";
  RegisterJpegFormat();
  for (const std::string name :
       {"fmt-baseline-420-227x149.jpg", "fmt-progressive-420-227x149.jpg", "fmt-arithmetic-227x149.jpg",
        "fmt-rgb-no-transform-500x333.jpg", "fmt-sampling-odd-400x225.jpg", "extra/fmt-progressive-444-650x470.jpg",
        "fmt-cmyk-adobe-32x32.jpg", "fmt-ycck-photoshop-100x100.jpg", "extra/fmt-cmyk-adobe-600x397.jpg",
        "fmt-grey-227x149.jpg"}) {
    SCOPED_TRACE(name);
    const std::string source = (kCorpusDir / name).string();
    TempDir dir;
    const std::string out = dir / "reference.pnm";
    const std::string command = "djpeg -dct int -ppm -outfile '" + out + "' '" + source + "' 2>/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    const QImage reference(QString::fromStdString(out));  // binary PPM, or PGM for grey
    TPicture picture;
    picture.LoadFromFile(source);
    TBitmap bitmap;
    bitmap.Assign(&picture);
    ASSERT_EQ(bitmap.Width(), reference.width());
    ASSERT_EQ(bitmap.Height(), reference.height());
    double sum = 0;
    for (int y = 0; y < reference.height(); ++y) {
      for (int x = 0; x < reference.width(); ++x) {
        const Rgb ours = RgbAt(bitmap, x, y);
        const QRgb theirs = reference.pixel(x, y);
        sum +=
            std::abs(ours.R - qRed(theirs)) + std::abs(ours.G - qGreen(theirs)) + std::abs(ours.B - qBlue(theirs));
      }
    }
    EXPECT_LE(sum / (3.0 * reference.width() * reference.height()), name.rfind("fmt-grey", 0) == 0 ? 1.0 : 0.05);
  }
}

// The samples of the data folder: pictures of the size in their names.
TEST(SamplePicturesTest, EverySamplePictureDecodesAtTheSizeInItsName) {
  const fs::path data = fs::path(GLIMMET_BUILD_DIR) / "data";
  if (!fs::is_directory(data)) GTEST_SKIP() << "no data folder at " << data;
  RegisterJpegFormat();
  int count = 0;
  for (const auto& entry : fs::directory_iterator(data)) {
    if (entry.path().extension() != ".jpg") continue;
    CorpusFile f;
    f.Name = entry.path().string();  // absolute: the corpus folder's path is dropped
    SCOPED_TRACE(f.Name);
    const std::string name = entry.path().stem().string();  // "...-WxH"
    ASSERT_EQ(std::sscanf(name.substr(name.rfind('-') + 1).c_str(), "%dx%d", &f.Width, &f.Height), 2);
    ExpectOutcome(f);
    ++count;
  }
  EXPECT_GE(count, 12);
}

}  // namespace
