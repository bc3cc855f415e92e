#pragma once
// Drawing for screens with several device pixels to a pixel. Controls draw in
// pixels exactly as on any screen; at an integer ratio r the device picture
// repeats each pixel r x r, so every rule that places a pixel still holds.
// Only pictures are drawn finer: stretched from the whole picture straight
// into the r-times rectangle, wherever nothing was drawn over them.
#include <cstdint>
#include <memory>
#include <vector>

#include "Graphics.h"

// Repeats each pixel of area (clipped to source) ratio x ratio into target,
// at ratio times its position; target is ratio times the size of source.
void MagnifyPixels(const TBitmap& source, TRect area, int ratio, TBitmap& target);

// The pictures stretched onto a canvas, each also made ratio times finer,
// and which of their pixels the canvas has not set again since. A pixel is a
// picture's while the picture's stretch is the last drawing that set it.
class TFinePictures {
 public:
  // Follows what is drawn on canvas until destroyed.
  TFinePictures(TCanvas& canvas, int ratio);
  ~TFinePictures();
  TFinePictures(const TFinePictures&) = delete;
  TFinePictures& operator=(const TFinePictures&) = delete;

  // The whole picture was just stretched, in mode, into width x height at
  // (left, top) of the canvas.
  void Add(const TBitmap& picture, int mode, int left, int top, int width, int height);
  // Puts the pixels still the pictures' into device, a picture of the
  // canvas at ratio times its size, as their r x r finer blocks.
  void PutInto(TBitmap& device) const;

 private:
  struct TFine {
    TRect Area;                      // on the canvas, within it
    TBitmap Pixels;                  // Area ratio times finer
    std::vector<std::uint8_t> Kept;  // per pixel of Area: still the picture's
  };
  void SetAgain(const TRect& area);

  TCanvas& FCanvas;
  const int FRatio;
  std::vector<std::unique_ptr<TFine>> FPictures;
};
