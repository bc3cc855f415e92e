#pragma once
// The way the browser takes one picture file, on bytes from anywhere: the
// frame walk of a slide's tip, then the header read, its Exif orientation
// and its size checked, the picture is decoded as for a
// full-colour or a 256-colour screen, and the grid's own paint scales it into
// a slide in both stretch modes. Shared by the fuzz target and the test that
// replays what the fuzzer found.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lib/Tesk_Thumbnails.h"
#include "toolkit/Forms.h"
#include "toolkit/Jpeg.h"
#include "toolkit/JpegFrame.h"

namespace fuzzing {

// Larger pictures are loaded but not decoded: the decoder's cost grows with
// the size the header claims (bounded and tested apart), and a fuzzer needs
// many runs a second.
constexpr std::uint64_t MaxDecodedPixels = std::uint64_t(1) << 18;

struct TOutcome {
  bool Loaded = false;
  bool Decoded = false;      // without a fatal decoder error
  TJpegHeader Header;        // its size as shown, turned by its orientation
  int FrameOrientation = 1;  // what the frame walk found in the same bytes
  std::string Error;
};

// Scales the picture into slide 1 of a grid, as the browser's grid does.
inline void ShowInSlide(const TBitmap& picture, bool antiAlias) {
  TThumbnails grid(nullptr);
  grid.SetBounds(0, 0, 150, 160);
  grid.OnImageRequest = [&](TObject*, int, TImageRequestProcessing& how, int&, TBitmap*& buffer) {
    buffer->Assign(&picture);
    how = irpShowSlide;
  };
  grid.SetMax(1);
  grid.SetAntiAlias(antiAlias);  // repaints
}

// Raises nothing the browser would not report: only Exception and what
// derives from it leave the toolkit, and those are caught here.
inline TOutcome LoadAndShow(const std::uint8_t* data, std::size_t size) {
  TOutcome outcome;
  TJpegFrame frame;
  if (FindJpegFrame(data, size, frame) == TJpegFrameSearch::Found) outcome.FrameOrientation = frame.Orientation;
  Screen.BitsPerPixel = size % 2 ? 8 : 32;
  TJPEGImage jpeg;
  try {
    jpeg.LoadFromData(std::vector<std::uint8_t>(data, data + size));
  } catch (const Exception& e) {
    outcome.Error = e.Message;
    return outcome;
  }
  outcome.Loaded = true;
  outcome.Header = {jpeg.Width(), jpeg.Height(), 0, jpeg.ColorSpace(), false, jpeg.Orientation()};
  if (std::uint64_t(jpeg.Width()) * std::uint64_t(jpeg.Height()) > MaxDecodedPixels) return outcome;
  TBitmap picture;
  try {
    picture.Assign(&jpeg);
    outcome.Decoded = true;
  } catch (const Exception& e) {
    outcome.Error = e.Message;
    picture.Assign(&jpeg);  // the rows decoded before the error, as the large view shows them
  }
  ShowInSlide(picture, outcome.Decoded);
  return outcome;
}

}  // namespace fuzzing
