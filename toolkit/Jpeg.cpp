#include "Jpeg.h"

#include <algorithm>
#include <new>
#include <stdexcept>
#include <utility>

#include "Forms.h"
#include "SysUtils.h"

namespace {

[[noreturn]] void RaiseDecoderFailure(const TJpegOutcome& outcome) {
  switch (outcome.Kind) {
    case TJpegOutcome::TooManyScans:
      throw EInvalidGraphic(Format("The JPEG data has more than %d scans", outcome.ScanLimit));
    case TJpegOutcome::SizeMismatch:
      throw EInvalidGraphic("The JPEG data changed its size while decoding");
    default:
      throw EInvalidGraphic(Format("JPEG error #%d", outcome.MessageCode), outcome.Message);
  }
}

void CheckPixelCount(const TJpegHeader& header) {
  const std::uint64_t pixels = std::uint64_t(header.Width) * std::uint64_t(header.Height);
  if (pixels <= MaxJpegPixels) return;
  throw EInvalidGraphic(Format("The picture is too large to show: %d x %d pixels, more than %d megapixels",
                               header.Width, header.Height, int(MaxJpegPixels / 1'000'000)));
}

std::unique_ptr<TBitmap> NewBitmap(int width, int height) {
  try {
    // Memory of an earlier picture may serve: the decoder writes every
    // pixel, black where it stops.
    return std::make_unique<TBitmap>(width, height, TPixelInit::Unset);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  } catch (const EOutOfMemory&) {
  }
  throw EOutOfMemory(Format("Not enough memory for a picture of %d x %d pixels", width, height));
}

bool IsInk(TJpegColorSpace space) { return space == TJpegColorSpace::CMYK || space == TJpegColorSpace::YCCK; }

}  // namespace

TJPEGImage::TJPEGImage() = default;
TJPEGImage::~TJPEGImage() = default;

void TJPEGImage::LoadFromFile(const std::string& fileName) { LoadFromData(ReadFileData(fileName)); }

void TJPEGImage::LoadFromData(std::vector<std::uint8_t> data) {
  TJpegHeader header;
  const TJpegOutcome outcome = ReadJpegHeader(data.data(), data.size(), header);
  if (outcome.Kind != TJpegOutcome::Ok) RaiseDecoderFailure(outcome);
  CheckPixelCount(header);
  if (header.TooLittleData) {
    RaiseDecoderFailure(
        {TJpegOutcome::LibraryError, JpegTooLittleDataCode(), 0, JpegMessageText(JpegTooLittleDataCode())});
  }
  FData = std::move(data);
  FHeader = header;
  FBitmap.reset();
  FFailure = nullptr;
}

// Greyscale pictures, and every picture on a screen of 8 bits per pixel or
// fewer, come quantised; ink pictures never are.
TJpegDecodeRequest TJPEGImage::Request() const {
  TJpegDecodeRequest request;
  request.Data = FData.data();
  request.Size = FData.size();
  const int screenBits = ScreenBitsPerPixel > 0 ? ScreenBitsPerPixel : Screen.BitsPerPixel;
  request.EightBit = (Grayscale() || screenBits <= 8) && !IsInk(ColorSpace());
  request.Width = FHeader.Width;
  request.Height = FHeader.Height;
  return request;
}

// The bitmap is made at full size and kept before decoding starts, so that a
// fatal error leaves the rows decoded so far with the picture.
void TJPEGImage::Decode(const std::atomic<bool>* cancel, const TRowsHandler& watch) const {
  if (FFailure) std::rethrow_exception(std::exchange(FFailure, nullptr));
  if (FBitmap || FData.empty()) return;
  TJpegDecodeRequest request = Request();
  auto bitmap = NewBitmap(Width(), Height());
  bitmap->PixelFormat = request.EightBit ? pf8bit : pf24bit;
  request.Cancel = cancel;
  TBitmap& target = *bitmap;
  FBitmap = std::move(bitmap);
  TJpegOutcome outcome;
  if (TTurn{FHeader.Orientation}.Turns()) {
    outcome = DecodeTurned(request, target, watch);
  } else {
    request.Pixels = target.MutableBits();
    request.TargetBlack = target.MadeBlack();
    request.OnRows = watch;
    outcome = DecodeJpeg(request);
  }
  if (outcome.Kind == TJpegOutcome::Cancelled) {
    FBitmap.reset();
  } else if (outcome.Kind != TJpegOutcome::Ok) {
    RaiseDecoderFailure(outcome);
  }
}

// The stored rows, a band at a time, put in their turned places as they
// come and handed on to the watch. Rows decoding did not reach are black,
// after a failure too, as in a picture that is not turned.
TJpegOutcome TJPEGImage::DecodeTurned(TJpegDecodeRequest& request, TBitmap& bitmap,
                                      const TRowsHandler& watch) const {
  const TTurn turn{FHeader.Orientation};
  std::uint32_t* turned = bitmap.MutableBits();
  int done = 0;
  request.OnRows = [&](const std::uint32_t* rows, int count) {
    TurnRowsInto(turn, rows, done, count, request.Width, request.Height, turned);
    done += count;
    if (watch) watch(rows, count);
  };
  TJpegOutcome outcome = DecodeJpeg(request);
  if (outcome.Kind == TJpegOutcome::Ok || outcome.Kind == TJpegOutcome::Cancelled || done >= request.Height) {
    return outcome;
  }
  const std::vector<std::uint32_t> black(std::size_t(request.Width) * JpegBandRows, 0u);
  while (done < request.Height) request.OnRows(black.data(), std::min(JpegBandRows, request.Height - done));
  return outcome;
}

// A picture decoded already hands its stored rows from the turned bitmap.
bool TJPEGImage::DecodeRows(const TRowsHandler& Rows, const std::atomic<bool>* Cancel) {
  if ((FBitmap || FFailure) && !TTurn{FHeader.Orientation}.Turns()) return TGraphic::DecodeRows(Rows, Cancel);
  if (FBitmap || FFailure) {
    const TBitmap& turned = Bitmap();  // raises a failure kept
    std::vector<std::uint32_t> band(std::size_t(FHeader.Width) * JpegBandRows);
    for (int first = 0; first < FHeader.Height; first += JpegBandRows) {
      if (Cancel && Cancel->load()) return false;
      const int count = std::min(JpegBandRows, FHeader.Height - first);
      StoredRowsFrom(TTurn{FHeader.Orientation}, turned.Bits(), first, count, FHeader.Width, FHeader.Height,
                     band.data());
      Rows(band.data(), count);
    }
    return true;
  }
  if (FData.empty()) return true;
  TJpegDecodeRequest request = Request();
  request.OnRows = Rows;
  request.Cancel = Cancel;
  const TJpegOutcome outcome = DecodeJpeg(request);
  if (outcome.Kind == TJpegOutcome::Cancelled) return false;
  if (outcome.Kind != TJpegOutcome::Ok) RaiseDecoderFailure(outcome);
  return true;
}

void TJPEGImage::DecodeAhead(const std::atomic<bool>* Cancel) {
  try {
    Decode(Cancel);
  } catch (...) {
    FFailure = std::current_exception();
  }
}

bool TJPEGImage::DecodeAheadWatched(const TRowsHandler& Watch, const std::atomic<bool>* Cancel) {
  if (FBitmap || FFailure || FData.empty()) return false;
  try {
    Decode(Cancel, Watch);
  } catch (...) {
    FFailure = std::current_exception();
  }
  return FBitmap != nullptr;
}

const TBitmap& TJPEGImage::Bitmap() const {
  static const TBitmap empty;
  Decode();
  return FBitmap ? *FBitmap : empty;
}

void TJPEGImage::Draw(TCanvas& canvas, int x, int y) { canvas.Draw(x, y, Bitmap()); }

void TJPEGImage::AssignTo(TPersistent* Dest) const {
  auto* bitmap = dynamic_cast<TBitmap*>(Dest);
  if (!bitmap) {
    TPersistent::AssignTo(Dest);
    return;
  }
  bitmap->Assign(&Bitmap());
}

void RegisterJpegFormat() {
  static bool registered = false;
  if (registered) return;
  registered = true;
  const auto make = [] { return std::unique_ptr<TGraphic>(std::make_unique<TJPEGImage>()); };
  TPicture::RegisterFileFormat("jpeg", "JPEG Image File", make);
  TPicture::RegisterFileFormat("jpg", "JPEG Image File", make);
}
