#pragma once
// Writes JPEG files with libjpeg: the sample pictures of the data folder,
// the bench's large photos and the tests' made pictures all come from here.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace jpegmaker {

using Bytes = std::vector<std::uint8_t>;

// The components of one pixel as they go into the file: R, G, B for colour,
// the first value for greyscale, C, M, Y, K for CMYK and YCCK (stored as
// given: Adobe files hold inverted CMYK, 0 meaning full ink).
using Sample = std::array<std::uint8_t, 4>;
using PixelFunction = std::function<Sample(int x, int y)>;

enum class Colour { Rgb, Grey, Cmyk, Ycck };

struct Options {
  int Width = 64;
  int Height = 48;
  Colour Colours = Colour::Rgb;
  int Quality = 95;
  bool Progressive = false;
  bool Arithmetic = false;
  int RestartInterval = 0;  // in MCUs; 0 for none
  int RestartRows = 0;      // in MCU rows, when RestartInterval is 0
  bool AdobeMarker = true;  // CMYK and YCCK only
  bool FullChroma = false;  // 4:4:4 instead of libjpeg's 4:2:0
  // Progressive with the DC scan and one AC scan per component that leaves
  // the lowest bit out: every AC coefficient stays known only roughly, as
  // where block smoothing acts.
  bool CoarseProgressive = false;
  // An APP1 Exif block giving this orientation (1 to 8) after the JFIF
  // header; 0 for none.
  int ExifOrientation = 0;
  bool ExifBigEndian = false;
};

// An Exif block (an APP1 payload) whose first directory holds the
// orientation entry alone, in Intel ("II") or Motorola ("MM") byte order.
Bytes ExifBlock(int orientation, bool bigEndian = false);

// One flat colour everywhere.
PixelFunction Flat(Sample value);

// Encodes a picture; raises std::runtime_error with libjpeg's message.
Bytes MakeJpeg(const Options& options, const PixelFunction& pixel);

// Writes bytes to a file, replacing it; raises std::runtime_error.
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

}  // namespace jpegmaker
