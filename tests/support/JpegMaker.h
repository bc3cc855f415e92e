#pragma once
// Writes JPEG files with libjpeg for tests, and breaks copies of them the
// ways damaged and hostile files are broken.
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
  bool AdobeMarker = true;  // CMYK and YCCK only
  bool FullChroma = false;  // 4:4:4 instead of libjpeg's 4:2:0
  // Progressive with the DC scan and one AC scan per component that leaves
  // the lowest bit out: every AC coefficient stays known only roughly, as
  // where block smoothing acts.
  bool CoarseProgressive = false;
};

// One flat colour everywhere.
PixelFunction Flat(Sample value);

// Encodes a picture; raises std::runtime_error with libjpeg's message.
Bytes MakeJpeg(const Options& options, const PixelFunction& pixel);

// Writes bytes to a file, replacing it; raises std::runtime_error.
void WriteFile(const std::string& path, const Bytes& bytes);
Bytes ReadFile(const std::string& path);

// The first count bytes.
Bytes Truncate(Bytes bytes, std::size_t count);
// XORs count bytes from offset on with mask.
Bytes XorBytes(Bytes bytes, std::size_t offset, std::size_t count, std::uint8_t mask = 0xFF);
// Overwrites the size in the first frame header (SOF0..SOF15).
Bytes PatchSofSize(Bytes bytes, std::uint16_t width, std::uint16_t height);
// Overwrites the sample precision in the first frame header.
Bytes PatchSofPrecision(Bytes bytes, std::uint8_t bits);
// Puts raw bytes (e.g. a marker) just before the final EOI.
Bytes InsertBeforeEoi(Bytes bytes, const Bytes& insert);
// Comment segments after SOI making the file at least size bytes long: data
// enough, for the decoder, to code a picture its frame header was patched to.
Bytes PadWithComments(Bytes bytes, std::size_t size);
// Repeats the last scan (SOS segment and its entropy data) times more.
Bytes RepeatLastScan(Bytes bytes, int times);
// Offset of the first frame header (SOF0..SOF15); raises when there is none.
std::size_t FindSof(const Bytes& bytes);
// Offset of the first marker 0xFF code, or npos.
std::size_t FindMarker(const Bytes& bytes, std::uint8_t code);

}  // namespace jpegmaker
