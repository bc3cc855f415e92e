#include "JpegFrame.h"

#include <vector>

#include "ExifOrientation.h"
#include "FileData.h"
#include "JpegCodec.h"

namespace {

constexpr std::uint8_t kSoi = 0xD8, kEoi = 0xD9, kSos = 0xDA, kTem = 0x01, kApp1 = 0xE1;

// Start-of-frame markers: C0 to CF but for DHT (C4), JPG (C8) and DAC (CC).
bool IsStartOfFrame(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Markers that stand alone, without a length.
bool StandsAlone(std::uint8_t marker) { return marker == kTem || (marker >= 0xD0 && marker <= kEoi); }

int Word(const std::uint8_t* p) { return (p[0] << 8) | p[1]; }

// The orientation of the first APP1 segment holding an Exif block, the
// segment's payload (length - 2 bytes) at data. A segment cut short leaves
// the frame beyond the bytes at hand anyway, so it is passed over.
void TakeOrientation(std::uint8_t marker, const std::uint8_t* data, std::size_t length, std::size_t available,
                     bool& seen, TJpegFrame& frame) {
  if (marker != kApp1 || seen || length < 2 || available < length || !IsExifPayload(data, length - 2)) return;
  seen = true;
  frame.Orientation = ExifOrientation(data, length - 2);
}

}  // namespace

TJpegFrameSearch FindJpegFrame(const std::uint8_t* data, std::size_t size, TJpegFrame& frame) {
  if (size < 2) return TJpegFrameSearch::NeedMore;
  if (data[0] != 0xFF || data[1] != kSoi) return TJpegFrameSearch::NotJpeg;
  std::size_t at = 2;
  frame.Orientation = 1;
  bool exifSeen = false;
  for (;;) {
    // A marker may be preceded by any number of fill bytes 0xFF.
    if (at >= size) return TJpegFrameSearch::NeedMore;
    if (data[at] != 0xFF) return TJpegFrameSearch::NotJpeg;
    while (at < size && data[at] == 0xFF) ++at;
    if (at >= size) return TJpegFrameSearch::NeedMore;
    const std::uint8_t marker = data[at++];
    if (marker == kSos || marker == kEoi) return TJpegFrameSearch::NotJpeg;  // no frame before the data
    if (StandsAlone(marker)) continue;
    if (size - at < 2) return TJpegFrameSearch::NeedMore;
    if (IsStartOfFrame(marker)) {
      // Length, precision, height, width, component count.
      if (size - at < 8) return TJpegFrameSearch::NeedMore;
      frame.Height = Word(data + at + 3);
      frame.Width = Word(data + at + 5);
      frame.Components = data[at + 7];
      frame.Progressive = (marker & 0x03) == 0x02;
      frame.Arithmetic = marker >= 0xC9;
      return TJpegFrameSearch::Found;
    }
    const auto length = std::size_t(Word(data + at));
    TakeOrientation(marker, data + at + 2, length, size - at, exifSeen, frame);
    // A length under 2 lands inside itself, on a byte that is no marker.
    at += length;
  }
}

std::optional<TJpegFrame> PeekJpegFrame(const std::string& fileName) {
  // Most files give their frame within the first few kilobytes; large
  // metadata segments can push it further.
  for (const std::size_t head : {std::size_t(4) << 10, std::size_t(64) << 10, std::size_t(1) << 20}) {
    std::vector<std::uint8_t> bytes;
    try {
      bytes = ReadFileHead(fileName, head);
    } catch (const std::exception&) {
      return std::nullopt;
    }
    TJpegFrame frame;
    switch (FindJpegFrame(bytes.data(), bytes.size(), frame)) {
      case TJpegFrameSearch::Found:
        return frame;
      case TJpegFrameSearch::NotJpeg:
        return std::nullopt;
      case TJpegFrameSearch::NeedMore:
        if (bytes.size() < head) return std::nullopt;  // the whole file was read
        break;
    }
  }
  return std::nullopt;
}

TDecodeEstimate EstimateDecode(const std::string& fileName) {
  const std::optional<TJpegFrame> frame = PeekJpegFrame(fileName);
  if (!frame) return {};
  // Measured here with libjpeg: a progressive file takes about three times
  // as long as a sequential one of the same size (each scan passes over the
  // whole picture, and block smoothing works at output), an arithmetic-coded
  // one four to five times.
  const double factor = frame->Arithmetic ? 4.5 : frame->Progressive ? 3 : 1;
  const std::uint64_t pixels = std::uint64_t(frame->Width) * std::uint64_t(frame->Height);
  // A progressive file's coefficients are all kept until its last scan: 64
  // of 2 bytes for each block of 64 samples of every component, at most one
  // sample a pixel each. Rows decoded one band at a time take a band.
  const std::uint64_t library = frame->Progressive ? pixels * std::uint64_t(frame->Components) * 2 : 0;
  const std::uint64_t rows = std::uint64_t(frame->Width) * 4 * JpegBandRows;
  return {double(pixels) * factor, pixels * 4 + library, library + rows};
}
