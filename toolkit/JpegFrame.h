#pragma once
// A JPEG file's frame header (size, components, coding), found by walking the
// segments at the start of the file without decoding anything: cheap enough
// to ask of every file a paint will show, before any of them is decoded.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "TurnedPixels.h"

struct TJpegFrame {
  int Width = 0;
  int Height = 0;  // 0 when a DNL segment after the first scan gives it
  int Components = 0;
  bool Progressive = false;
  bool Arithmetic = false;
  // The Exif orientation of an APP1 segment before the frame header (the
  // first that holds an Exif block), 1 without one.
  int Orientation = 1;
  // The size the picture is shown at, turned upright.
  int ShownWidth() const { return TTurn{Orientation}.TurnedWidth(Width, Height); }
  int ShownHeight() const { return TTurn{Orientation}.TurnedHeight(Width, Height); }
};

enum class TJpegFrameSearch { Found, NeedMore, NotJpeg };

// Looks for the frame header in the first bytes of a file: NeedMore when they
// end before it.
TJpegFrameSearch FindJpegFrame(const std::uint8_t* data, std::size_t size, TJpegFrame& frame);

// The frame header of a picture file, read from its first bytes (at most a
// megabyte); nothing when the file cannot be read or does not give one.
std::optional<TJpegFrame> PeekJpegFrame(const std::string& fileName);

// What decoding a picture file will take, told from its frame header alone:
// its time, in pixels of a sequential Huffman-coded picture, and the memory
// it holds, both when the picture is kept whole and when it is decoded a row
// at a time. All 0 when the header cannot be read (a file that fails fails
// fast).
struct TDecodeEstimate {
  double Cost = 0;
  std::uint64_t Bytes = 0;     // the decoded picture and libjpeg's own memory
  std::uint64_t RowBytes = 0;  // libjpeg's own memory and its rows
};
TDecodeEstimate EstimateDecode(const std::string& fileName);
