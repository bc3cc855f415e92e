#pragma once
// The reference decoder: a JPEG file's pixels from plain libjpeg calls, the
// least any program must do to show the file.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

struct TRawPicture {
  int Width = 0;
  int Height = 0;
  int Components = 0;                    // bytes a pixel: 3 for RGB, 1 for colour indexes, 4 for CMYK
  std::unique_ptr<std::uint8_t[]> Rows;  // Height rows of Width * Components bytes
};

enum class TBareOutput {
  // The picture supply's settings: colour pictures as RGB, greyscale ones
  // quantised to 236 colours in two passes with Floyd-Steinberg dithering.
  LikeSupply,
  // Every picture as RGB.
  Rgb
};

// Reads the whole file, then decodes it at full scale with block smoothing
// and the accurate integer inverse transform into freshly allocated rows.
// Throws std::runtime_error when the file cannot be read or decoded.
TRawPicture BareDecode(const std::string& path, TBareOutput output = TBareOutput::LikeSupply);

// Every file in turn, as the picture supply would decode it.
void BareDecodeAll(const std::vector<std::string>& paths);
