#pragma once
// The one door to libjpeg: reading a header and decoding a whole picture
// into a 32-bit pixel store, or handing its rows on as they come. No C++ exception crosses libjpeg; failures come
// back as outcomes and the caller turns them into exceptions. Each call has
// its own decompressor, so calls may run on several threads at once.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// Colour models a JPEG file can declare.
enum class TJpegColorSpace { Unknown, Grayscale, YCbCr, RGB, CMYK, YCCK };

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  TJpegColorSpace ColorSpace = TJpegColorSpace::Unknown;
  // The data is far too short for the picture claimed (docs/reliability.md).
  bool TooLittleData = false;
  // The Exif orientation (1 to 8) of the first APP1 Exif block; 1 without
  // one. Read by ReadJpegHeader only.
  int Orientation = 1;
};

// The libjpeg message number that refuses such data: premature end of input.
int JpegTooLittleDataCode();

struct TJpegOutcome {
  enum TKind { Ok, LibraryError, TooManyScans, SizeMismatch, Cancelled };
  TKind Kind = Ok;
  int MessageCode = 0;       // libjpeg's message number for LibraryError
  int ScanLimit = 0;         // the limit passed, for TooManyScans
  std::string Message = {};  // libjpeg's own text for LibraryError, its values filled in
};

// libjpeg's text of a message number, without the values a failure fills in.
std::string JpegMessageText(int code);

// A progressive file with more scans than this is stopped: real encoders
// write a dozen or so, a hostile file can make the decoder loop for hours.
constexpr int MaxJpegScans = 1000;
// Every scan passes over the whole picture, even one whose data ran out, so
// large pictures get fewer: scans times pixels stays below this (1000 scans
// up to 10 megapixels, 25 at the 400-megapixel limit). A 46 KB file claiming
// 20000 x 20000 pixels and 990 scans otherwise keeps the decoder busy for
// most of a minute.
constexpr long long MaxJpegScanPixels = 10'000'000'000LL;

// The number of scans a picture of this size may have.
int JpegScanLimit(int width, int height);
// libjpeg's own working memory (coefficient buffers of progressive files,
// the two-pass quantiser's picture buffer); the output bitmap is apart.
constexpr long MaxJpegLibraryMemory = 2L << 30;

TJpegOutcome ReadJpegHeader(const std::uint8_t* data, std::size_t size, TJpegHeader& header);

struct TJpegDecodeRequest {
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
  // Quantise to 236 colours (two passes, Floyd-Steinberg) instead of full colour.
  bool EightBit = false;
  // The full-size target, Width * Height pixels 0xFFRRGGBB, rows top down;
  // what it held before does not matter.
  std::uint32_t* Pixels = nullptr;
  int Width = 0;
  int Height = 0;
  // The target is all black already, so rows decoding does not reach need no
  // writing (a refused picture of a billion pixels then touches no memory).
  bool TargetBlack = false;
  // Instead of a target: the rows, top down, handed here a band of up to
  // JpegBandRows at a time, Width pixels apart (the band's memory serves the
  // next); rows after a stop that is no failure come black. It must not raise.
  // With a target as well, the bands are handed from the target as they are
  // written, and the rows made black after a failure too.
  std::function<void(const std::uint32_t* rows, int count)> OnRows = nullptr;
  // Set from another thread to stop decoding within a row (outcome Cancelled).
  const std::atomic<bool>* Cancel = nullptr;
};

// Rows a band handed to OnRows holds at most: few enough to stay in the
// processor's cache, enough that whoever takes them keeps its own there.
constexpr int JpegBandRows = 16;

// Decodes into the target (or OnRows) row by row: after a fatal error the rows
// decoded before it stay, and the rest are black.
TJpegOutcome DecodeJpeg(const TJpegDecodeRequest& request);
