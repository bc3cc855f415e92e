// Every file of the shared public corpus, with the outcome and size its
// manifest gives: a picture of W x H, an error with libjpeg's message, or a
// refusal of a decompression bomb before any bitmap is made. A few valid
// files are compared pixel by pixel with djpeg's output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>
#include <set>
#include <string>
#include <vector>

#include "picture_test_helpers.h"
#include "tools/TempDir.h"
#include "toolkit/Jpeg.h"
#include "toolkit/Pictures.h"

namespace fs = std::filesystem;

namespace {

enum Outcome { kPicture, kError, kRefused };

struct CorpusFile {
  const char* Name;  // relative to the corpus folder
  Outcome Expected;
  int Width, Height;        // from the frame header
  const char* LibraryText;  // djpeg's fatal message, for errors
};

// Transcribed from MANIFEST.md and extra/MANIFEST.md.
const CorpusFile kCorpus[] = {
    {"photo-grey-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photo-canon-exif-1920x1280.jpg", kPicture, 1920, 1280, ""},
    {"photo-olympus-exif-444-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photo-exif-xmp-icc-444-2500x1786.jpg", kPicture, 2500, 1786, ""},
    {"fmt-baseline-420-227x149.jpg", kPicture, 227, 149, ""},
    {"fmt-progressive-420-227x149.jpg", kPicture, 227, 149, ""},
    {"fmt-progressive-420-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-grey-227x149.jpg", kPicture, 227, 149, ""},
    {"fmt-cmyk-adobe-32x32.jpg", kPicture, 32, 32, ""},
    {"fmt-ycck-photoshop-100x100.jpg", kPicture, 100, 100, ""},
    {"fmt-arithmetic-227x149.jpg", kPicture, 227, 149, ""},
    {"fmt-12bit-227x149.jpg", kError, 227, 149, "Unsupported JPEG data precision 12"},
    {"fmt-lossless-sof3-16bit-256x256.jpg", kError, 256, 256, "Unsupported JPEG process: SOF type 0xc3"},
    {"fmt-restart-interval-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-restart-33x33.jpg", kPicture, 33, 33, ""},
    {"fmt-444-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-422-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-440-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-sampling-asymmetric-2268x1512.jpg", kPicture, 2268, 1512, ""},
    {"fmt-sampling-410-exif32k-605x806.jpg", kPicture, 605, 806, ""},
    {"fmt-sampling-odd-400x225.jpg", kPicture, 400, 225, ""},
    {"fmt-non-interleaved-3-scans-510x532.jpg", kPicture, 510, 532, ""},
    {"fmt-rgb-no-transform-500x333.jpg", kPicture, 500, 333, ""},
    {"fmt-16bit-qtables-sof1-128x128.jpg", kPicture, 128, 128, ""},
    {"fmt-mjpeg-no-dht-960x720.jpg", kPicture, 960, 720, ""},
    {"meta-exif-xmp-iptc-icc-2000x1072.jpg", kPicture, 2000, 1072, ""},
    {"meta-exif-orientation-6-128x128.jpg", kPicture, 128, 128, ""},
    {"meta-icc-1x1.jpg", kPicture, 1, 1, ""},
    {"meta-mpo-trailing-image-640x480.jpg", kPicture, 640, 480, ""},
    {"size-1x1.jpg", kPicture, 1, 1, ""},
    {"size-3x3.jpg", kPicture, 3, 3, ""},
    {"size-7x7.jpg", kPicture, 7, 7, ""},
    {"size-17x17.jpg", kPicture, 17, 17, ""},
    {"size-1000x1-grey.jpg", kPicture, 1000, 1, ""},
    {"size-7680x4320.jpg", kPicture, 7680, 4320, ""},
    {"warn-extraneous-bytes-16x16.jpg", kPicture, 16, 16, ""},
    {"bad-truncated-progressive-100x100.jpg", kPicture, 100, 100, ""},
    {"bad-truncated-3840x2160.jpg", kPicture, 3840, 2160, ""},
    {"bad-truncated-50pct-baseline-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"bad-truncated-40pct-progressive-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"bad-truncated-in-header.jpg", kError, 0, 0, "JPEG datastream contains no image"},
    {"bad-corrupt-entropy-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"bad-corrupt-huffman-grey-325x407.jpg", kPicture, 325, 407, ""},
    {"bad-bogus-huffman-table.jpg", kError, 140, 140, "Bogus Huffman table definition"},
    {"bad-component-id-in-sos.jpg", kError, 100, 769, "Invalid component ID 2 in SOS"},
    {"bad-unsupported-marker-after-data-1280x960.jpg", kError, 1280, 960, "Unsupported marker type 0xf7"},
    {"bad-invalid-progressive-params.jpg", kError, 100, 42, "Invalid progressive parameters Ss=1 Se=63 Ah=1 Al=14"},
    {"bad-missing-sos.jpg", kError, 8, 8, "Invalid JPEG file structure: missing SOS marker"},
    {"bad-two-soi.jpg", kError, 100, 100, "Invalid JPEG file structure: two SOI markers"},
    {"bad-zero-height.jpg", kError, 0, 800, "Empty JPEG image (DNL not supported)"},
    {"bad-dimension-65535x65535.jpg", kError, 65535, 65535, "Maximum supported image dimension is 65500 pixels"},
    {"bad-bomb-60000x60000.jpg", kRefused, 60000, 60000, ""},
    {"bad-second-sof-after-rows-76x36.jpg", kError, 76, 36, "Invalid JPEG file structure: two SOF markers"},
    {"bad-bomb-65500x65500-grey.jpg", kRefused, 65500, 65500, ""},
    {"bad-png-named-jpg.jpg", kError, 0, 0, "Not a JPEG file: starts with 0x89 0x50"},
    {"bad-text-named-jpg.jpg", kError, 0, 0, "Not a JPEG file: starts with 0x54 0x68"},
    {"bad-empty.jpg", kError, 0, 0, "Empty input file"},
    {"name-upper-case-extension.JPG", kPicture, 512, 512, ""},
    {"name-extension-jpeg-rgb-ids-32x32.jpeg", kPicture, 32, 32, ""},
    {"name with spaces é.jpg", kPicture, 1600, 1203, ""},
    {"extra/photo-exif-xmp-388x477.jpg", kPicture, 388, 477, ""},
    {"extra/fmt-baseline-420-int-dct-227x149.jpg", kPicture, 227, 149, ""},
    {"extra/fmt-progressive-444-650x470.jpg", kPicture, 650, 470, ""},
    {"extra/fmt-progressive-7680x4320.jpg", kPicture, 7680, 4320, ""},
    {"extra/fmt-progressive-component-ids-0-960x876.jpg", kPicture, 960, 876, ""},
    {"extra/fmt-grey-32x32.jpg", kPicture, 32, 32, ""},
    {"extra/fmt-grey-progressive-2x2-900x675.jpg", kPicture, 900, 675, ""},
    {"extra/fmt-cmyk-adobe-256x256.jpg", kPicture, 256, 256, ""},
    {"extra/fmt-cmyk-adobe-600x397.jpg", kPicture, 600, 397, ""},
    {"extra/fmt-ycck-500x333.jpg", kPicture, 500, 333, ""},
    {"extra/fmt-ycck-restart-1318x611.jpg", kPicture, 1318, 611, ""},
    {"extra/fmt-ycck-progressive-383x740.jpg", kPicture, 383, 740, ""},
    {"extra/fmt-12bit-149x227.jpg", kError, 149, 227, "Unsupported JPEG data precision 12"},
    {"extra/fmt-lossless-sof3-12bit-512x512.jpg", kError, 512, 512, "Unsupported JPEG process: SOF type 0xc3"},
    {"extra/fmt-restart-exif-444-300x225.jpg", kPicture, 300, 225, ""},
    {"extra/fmt-422-2500x1786.jpg", kPicture, 2500, 1786, ""},
    {"extra/fmt-440-2500x1786.jpg", kPicture, 2500, 1786, ""},
    {"extra/fmt-sampling-odd-600x320.jpg", kPicture, 600, 320, ""},
    {"extra/fmt-non-interleaved-422-64x64.jpg", kPicture, 64, 64, ""},
    {"extra/fmt-16bit-qtables-1x1.jpg", kPicture, 1, 1, ""},
    {"extra/fmt-mjpeg-no-dht-1280x720.jpg", kPicture, 1280, 720, ""},
    {"extra/meta-icc-multichunk-425x250.jpg", kPicture, 425, 250, ""},
    {"extra/meta-exif-orientation-8-128x128.jpg", kPicture, 128, 128, ""},
    {"extra/meta-mpo-two-images-640x480.jpg", kPicture, 640, 480, ""},
    {"extra/meta-iptc-exif-640x480.jpg", kPicture, 640, 480, ""},
    {"extra/size-5x5.jpg", kPicture, 5, 5, ""},
    {"extra/size-9x9.jpg", kPicture, 9, 9, ""},
    {"extra/size-15x15.jpg", kPicture, 15, 15, ""},
    {"extra/size-33x33.jpg", kPicture, 33, 33, ""},
    {"extra/size-1x1000-grey.jpg", kPicture, 1, 1000, ""},
    {"extra/size-2x1-exif.jpg", kPicture, 2, 1, ""},
    {"extra/warn-junk-before-dqt-1024x768.jpg", kPicture, 1024, 768, ""},
    {"extra/warn-extraneous-bytes-after-sos-1744x2464.jpg", kPicture, 1744, 2464, ""},
    {"extra/bad-second-sof-unsupported-150x200.jpg", kError, 150, 200, "Unsupported JPEG process: SOF type 0xce"},
    {"extra/bad-truncated-garbled-3484x2347.jpg", kPicture, 3484, 2347, ""},
    {"extra/bad-truncated-1512x2688.jpg", kPicture, 1512, 2688, ""},
    {"extra/bad-huffman-table-not-defined.jpg", kError, 196, 140, "Huffman table 0x0d was not defined"},
    {"extra/bad-bogus-huffman-after-rows-358x400.jpg", kError, 358, 400, "Bogus Huffman table definition"},
    {"extra/bad-bogus-marker-length-after-rows.jpg", kError, 100, 75, "Bogus marker length"},
    {"extra/bad-sos-before-sof.jpg", kError, 0, 0, "Invalid JPEG file structure: SOS before SOF"},
    {"extra/bad-too-many-components.jpg", kError, 5, 218, "Too many color components: 17, max 10"},
    {"extra/bad-starts-ff00.jpg", kError, 0, 0, "Not a JPEG file: starts with 0xff 0x00"},
    {"extra/bad-missing-sof.jpg", kError, 0, 0, "JPEG datastream contains no image"},
    {"extra/bad-zero-width.jpg", kError, 3360, 0, "Empty JPEG image (DNL not supported)"},
    {"extra/bad-bomb-49157x27397.jpg", kRefused, 49157, 27397, ""},
    {"extra/bad-second-sof-after-rows-90x155.jpg", kError, 90, 155, "Invalid JPEG file structure: two SOF markers"},
    {"extra/bad-bomb-60000x60000-progressive.jpg", kRefused, 60000, 60000, ""},
    {"extra/name-extension-jpeg-3-scans-1199x799.jpeg", kPicture, 1199, 799, ""},
    {"photos/picosdeeuropa_by_Aitzol_Berasategi.jpg", kPicture, 3264, 2448, ""},
    {"photos/BytheWater-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photos/ColorfulCups-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photos/DarkestHour-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photos/OneStandsOut-2560x1600.jpg", kPicture, 2560, 1600, ""},
    {"photos/TwoWings.jpg", kPicture, 2560, 1600, ""},
    {"photos/LadyBird.jpg", kPicture, 2560, 1600, ""},
    {"photos/YellowFlower-portrait-rot90.jpg", kPicture, 1600, 2560, ""},
};

void PrintTo(const CorpusFile& f, std::ostream* out) { *out << f.Name; }

const fs::path kCorpusDir = GLIMMET_CORPUS_DIR;

// libjpeg's own text for a message number, up to its first argument.
std::string LibraryMessagePrefix(int code) {
  jpeg_error_mgr err;
  jpeg_std_error(&err);
  if (code < 0 || code > err.last_jpeg_message) return "(no such message)";
  const std::string format = err.jpeg_message_table[code];
  return format.substr(0, format.find('%'));
}

class CorpusTest : public testing::TestWithParam<CorpusFile> {
 protected:
  void SetUp() override {
    if (!fs::is_directory(kCorpusDir)) GTEST_SKIP() << "no corpus at " << kCorpusDir;
    RegisterJpegFormat();
  }
  std::string PathOf(const CorpusFile& f) const { return (kCorpusDir / f.Name).string(); }
};

void ExpectLibraryError(const std::string& message, const CorpusFile& f) {
  const int code = JpegErrorCode(message);
  ASSERT_GE(code, 0) << message;
  EXPECT_EQ(std::string(f.LibraryText).rfind(LibraryMessagePrefix(code), 0), 0u)
      << message << " is \"" << LibraryMessagePrefix(code) << "...\", djpeg said \"" << f.LibraryText << "\"";
}

void ExpectPicture(TPicture& picture, const CorpusFile& f) {
  EXPECT_EQ(picture.Width(), f.Width);
  EXPECT_EQ(picture.Height(), f.Height);
  TBitmap bitmap;
  ASSERT_NO_THROW(bitmap.Assign(&picture));
  ASSERT_EQ(bitmap.Width(), f.Width);
  ASSERT_EQ(bitmap.Height(), f.Height);
  // Every row was written, down to the last pixel.
  EXPECT_EQ(TopByteAt(bitmap, f.Width - 1, f.Height - 1), 0xFFu);
}

// An error comes at loading or, past a good header, at the first decode;
// then the picture keeps its rows and gives them without a second error.
void ExpectError(TPicture& picture, const std::string& path, const CorpusFile& f) {
  try {
    picture.LoadFromFile(path);
  } catch (const EInvalidGraphic& e) {
    ExpectLibraryError(e.Message, f);
    return;
  }
  TBitmap bitmap;
  try {
    bitmap.Assign(&picture);
    FAIL() << "no error";
  } catch (const EInvalidGraphic& e) {
    ExpectLibraryError(e.Message, f);
  }
  ASSERT_NO_THROW(bitmap.Assign(&picture));
  EXPECT_EQ(bitmap.Width(), f.Width);
  EXPECT_EQ(bitmap.Height(), f.Height);
}

TEST_P(CorpusTest, FileGivesTheOutcomeOfItsManifest) {
  const CorpusFile& f = GetParam();
  const std::string path = PathOf(f);
  if (!fs::exists(path)) GTEST_SKIP() << "missing " << path;
  TPicture picture;
  switch (f.Expected) {
    case kPicture:
      ASSERT_NO_THROW(picture.LoadFromFile(path));
      ExpectPicture(picture, f);
      break;
    case kError:
      ExpectError(picture, path, f);
      break;
    case kRefused:  // before any bitmap: at loading
      EXPECT_THROW(picture.LoadFromFile(path), EInvalidGraphic);
      EXPECT_EQ(picture.Graphic(), nullptr);
      break;
  }
}

INSTANTIATE_TEST_SUITE_P(Manifest, CorpusTest, testing::ValuesIn(kCorpus), [](const auto& info) {
  std::string name = info.param.Name;
  for (char& c : name) {
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  }
  return name;
});

TEST(CorpusTableTest, EveryCorpusFileHasARow) {
  if (!fs::is_directory(kCorpusDir)) GTEST_SKIP() << "no corpus at " << kCorpusDir;
  std::set<std::string> listed;
  for (const CorpusFile& f : kCorpus) listed.insert(f.Name);
  for (const auto& entry : fs::recursive_directory_iterator(kCorpusDir)) {
    if (!entry.is_regular_file() || entry.path().filename() == "MANIFEST.md") continue;
    EXPECT_TRUE(listed.count(fs::relative(entry.path(), kCorpusDir).string())) << entry.path();
  }
}

// --- Pixels against djpeg -dct int (same library, same settings) ----------

struct Raster {
  int Width = 0, Height = 0, Channels = 0;
  std::vector<unsigned char> Samples;
};

// djpeg's binary PPM (P6) or PGM (P5) output.
Raster ReadNetpbm(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int maxValue = 0;
  Raster r;
  in >> magic >> r.Width >> r.Height >> maxValue;
  in.get();
  r.Channels = magic == "P6" ? 3 : 1;
  r.Samples.resize(std::size_t(r.Width) * std::size_t(r.Height) * std::size_t(r.Channels));
  in.read(reinterpret_cast<char*>(r.Samples.data()), std::streamsize(r.Samples.size()));
  if (!in || maxValue != 255) r.Width = 0;
  return r;
}

double MeanAbsoluteDifference(const TBitmap& bitmap, const Raster& reference) {
  double sum = 0;
  for (int y = 0; y < reference.Height; ++y) {
    for (int x = 0; x < reference.Width; ++x) {
      const Rgb ours = RgbAt(bitmap, x, y);
      const unsigned char* s = &reference.Samples[(std::size_t(y) * std::size_t(reference.Width) + std::size_t(x)) *
                                                  std::size_t(reference.Channels)];
      const int r = s[0], g = s[reference.Channels == 3 ? 1 : 0], b = s[reference.Channels == 3 ? 2 : 0];
      sum += std::abs(ours.R - r) + std::abs(ours.G - g) + std::abs(ours.B - b);
    }
  }
  return sum / (3.0 * reference.Width * reference.Height);
}

struct ReferenceCase {
  const char* Name;
  double Tolerance;  // on the mean absolute difference per channel
};

void PrintTo(const ReferenceCase& c, std::ostream* out) { *out << c.Name; }

class DjpegReferenceTest : public testing::TestWithParam<ReferenceCase> {};

// Colour pictures decode exactly as djpeg does; greyscale ones are
// quantised to 236 levels with dithering here, about half a level off.
TEST_P(DjpegReferenceTest, DecodedPixelsMatchDjpeg) {
  const fs::path source = kCorpusDir / GetParam().Name;
  if (!fs::exists(source)) GTEST_SKIP() << "missing " << source;
  if (std::system("command -v djpeg >/dev/null 2>&1") != 0) GTEST_SKIP() << "djpeg is not installed";
  RegisterJpegFormat();
  TempDir dir;
  const std::string out = dir / "reference.pnm";
  const std::string command = "djpeg -dct int -ppm -outfile '" + out + "' '" + source.string() + "' 2>/dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Raster reference = ReadNetpbm(out);
  TPicture picture;
  picture.LoadFromFile(source.string());
  TBitmap bitmap;
  bitmap.Assign(&picture);
  ASSERT_EQ(bitmap.Width(), reference.Width);
  ASSERT_EQ(bitmap.Height(), reference.Height);
  const double difference = MeanAbsoluteDifference(bitmap, reference);
  RecordProperty("MeanAbsoluteDifference", std::to_string(difference));
  EXPECT_LE(difference, GetParam().Tolerance);
}

INSTANTIATE_TEST_SUITE_P(Corpus, DjpegReferenceTest,
                         testing::Values(ReferenceCase{"fmt-baseline-420-227x149.jpg", 0.05},
                                         ReferenceCase{"fmt-progressive-420-227x149.jpg", 0.05},
                                         ReferenceCase{"fmt-arithmetic-227x149.jpg", 0.05},
                                         ReferenceCase{"fmt-rgb-no-transform-500x333.jpg", 0.05},
                                         ReferenceCase{"fmt-sampling-odd-400x225.jpg", 0.05},
                                         ReferenceCase{"extra/fmt-progressive-444-650x470.jpg", 0.05},
                                         ReferenceCase{"fmt-cmyk-adobe-32x32.jpg", 0.05},
                                         ReferenceCase{"fmt-ycck-photoshop-100x100.jpg", 0.05},
                                         ReferenceCase{"extra/fmt-cmyk-adobe-600x397.jpg", 0.05},
                                         ReferenceCase{"fmt-grey-227x149.jpg", 1.0}),
                         [](const auto& info) {
                           std::string name = info.param.Name;
                           for (char& c : name) {
                             if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

// --- The sample pictures of the data folder ---------------------------------

TEST(SamplePicturesTest, EverySamplePictureDecodesAtTheSizeInItsName) {
  const fs::path data = fs::path(GLIMMET_BUILD_DIR) / "data";
  if (!fs::is_directory(data)) GTEST_SKIP() << "no data folder at " << data;
  RegisterJpegFormat();
  int count = 0;
  for (const auto& entry : fs::directory_iterator(data)) {
    if (entry.path().extension() != ".jpg") continue;
    ++count;
    const std::string name = entry.path().stem().string();
    const std::string size = name.substr(name.rfind('-') + 1);  // "...-WxH"
    TPicture picture;
    picture.LoadFromFile(entry.path().string());
    EXPECT_EQ(std::to_string(picture.Width()) + "x" + std::to_string(picture.Height()), size) << name;
    TBitmap bitmap;
    EXPECT_NO_THROW(bitmap.Assign(&picture)) << name;
  }
  EXPECT_GE(count, 12);
}

}  // namespace
