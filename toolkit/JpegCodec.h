#pragma once
// The one door to libjpeg: reading a header and decoding a whole picture
// into a 32-bit pixel store. No C++ exception crosses libjpeg; failures come
// back as outcomes and the caller turns them into exceptions.
#include <cstddef>
#include <cstdint>

// Colour models a JPEG file can declare.
enum class TJpegColorSpace { Unknown, Grayscale, YCbCr, RGB, CMYK, YCCK };

struct TJpegHeader {
  int Width = 0;
  int Height = 0;
  int Components = 0;
  TJpegColorSpace ColorSpace = TJpegColorSpace::Unknown;
};

struct TJpegOutcome {
  enum TKind { Ok, LibraryError, TooManyScans, SizeMismatch };
  TKind Kind = Ok;
  int MessageCode = 0;  // libjpeg's message number for LibraryError
};

// A progressive file with more scans than this is stopped: real encoders
// write a dozen or so, a hostile file can make the decoder loop for hours.
constexpr int MaxJpegScans = 1000;
// libjpeg's own working memory (coefficient buffers of progressive files,
// the two-pass quantiser's picture buffer); the output bitmap is apart.
constexpr long MaxJpegLibraryMemory = 2L << 30;

TJpegOutcome ReadJpegHeader(const std::uint8_t* data, std::size_t size, TJpegHeader& header);

struct TJpegDecodeRequest {
  const std::uint8_t* Data = nullptr;
  std::size_t Size = 0;
  // Quantise to 236 colours (two passes, Floyd-Steinberg) instead of full colour.
  bool EightBit = false;
  // The full-size target, Width * Height pixels 0xFFRRGGBB, rows top down.
  std::uint32_t* Pixels = nullptr;
  int Width = 0;
  int Height = 0;
};

// Decodes into the target row by row; after a fatal error the rows decoded
// before it stay in the target.
TJpegOutcome DecodeJpeg(const TJpegDecodeRequest& request);
