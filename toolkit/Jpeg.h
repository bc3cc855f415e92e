#pragma once
// JPEG pictures on libjpeg. Loading reads the whole file and its header; the
// picture is decoded only when a bitmap is first wanted, then kept.
#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <vector>

#include "JpegCodec.h"
#include "Pictures.h"

// Pictures with more pixels than this are refused when their header is read:
// a few hundred bytes can claim 4 gigapixels. 400 megapixels (a 1.6 GB
// bitmap) still opens a 200-megapixel photograph with room to spare.
constexpr std::uint64_t MaxJpegPixels = 400'000'000;

class TJPEGImage : public TGraphic {
 public:
  TJPEGImage();
  ~TJPEGImage() override;
  TJPEGImage(const TJPEGImage&) = delete;
  TJPEGImage& operator=(const TJPEGImage&) = delete;
  std::string ClassName() const override { return "TJPEGImage"; }

  // The size shown: the stored size turned by the orientation.
  int Width() const override { return TTurn{FHeader.Orientation}.TurnedWidth(FHeader.Width, FHeader.Height); }
  int Height() const override { return TTurn{FHeader.Orientation}.TurnedHeight(FHeader.Width, FHeader.Height); }
  int Orientation() const override { return FHeader.Orientation; }
  TJpegColorSpace ColorSpace() const { return FHeader.ColorSpace; }
  bool Grayscale() const { return FHeader.ColorSpace == TJpegColorSpace::Grayscale; }

  // Open failures raise EFOpenError; data libjpeg refuses raises
  // EInvalidGraphic "JPEG error #<libjpeg's message number>", with
  // libjpeg's own text of it as the Detail.
  void LoadFromFile(const std::string& fileName) override;
  // The same from an in-memory copy of a file.
  void LoadFromData(std::vector<std::uint8_t> data) override;

  // The decoded picture, turned upright, decoding it on first use. Greyscale pictures, and
  // every picture when the screen has 8 bits per pixel or fewer, come
  // quantised to 236 colours (PixelFormat pf8bit). After a fatal decoder
  // error, raised once, the bitmap keeps the rows decoded before it.
  const TBitmap& Bitmap() const;
  void Draw(TCanvas& canvas, int x, int y) override;
  void DecodeAhead(const std::atomic<bool>* Cancel) override;
  bool DecodeAheadWatched(const TRowsHandler& Watch, const std::atomic<bool>* Cancel) override;
  // Decodes afresh with the settings of Bitmap(), keeping no picture.
  bool DecodeRows(const TRowsHandler& Rows, const std::atomic<bool>* Cancel) override;

 protected:
  // Into a TBitmap: shares the decoded pixel store.
  void AssignTo(TPersistent* Dest) const override;

 private:
  void Decode(const std::atomic<bool>* cancel = nullptr, const TRowsHandler& watch = nullptr) const;
  TJpegOutcome DecodeTurned(TJpegDecodeRequest& request, TBitmap& bitmap, const TRowsHandler& watch) const;
  TJpegDecodeRequest Request() const;

  std::vector<std::uint8_t> FData;
  TJpegHeader FHeader;
  mutable std::unique_ptr<TBitmap> FBitmap;
  mutable std::exception_ptr FFailure;  // of a decode ahead, raised once by the first use
};
