#include "DevicePixels.h"

#include <algorithm>
#include <cstring>

namespace {

TRect Intersection(const TRect& a, const TRect& b) {
  return {std::max(a.Left, b.Left), std::max(a.Top, b.Top), std::min(a.Right, b.Right),
          std::min(a.Bottom, b.Bottom)};
}

bool IsEmpty(const TRect& r) { return r.Left >= r.Right || r.Top >= r.Bottom; }

}  // namespace

void MagnifyPixels(const TBitmap& source, TRect area, int ratio, TBitmap& target) {
  area = Intersection(area, {0, 0, source.Width(), source.Height()});
  if (IsEmpty(area) || target.Width() < source.Width() * ratio || target.Height() < source.Height() * ratio) return;
  const auto rowBytes = std::size_t(area.Right - area.Left) * std::size_t(ratio) * 4;
  for (int y = area.Top; y < area.Bottom; ++y) {
    const std::uint32_t* in = source.ScanLine(y);
    std::uint32_t* first = target.ScanLine(y * ratio) + std::size_t(area.Left) * std::size_t(ratio);
    std::uint32_t* out = first;
    for (int x = area.Left; x < area.Right; ++x) out = std::fill_n(out, ratio, in[x]);
    for (int k = 1; k < ratio; ++k) {
      std::memcpy(target.ScanLine(y * ratio + k) + std::size_t(area.Left) * std::size_t(ratio), first, rowBytes);
    }
  }
}

TFinePictures::TFinePictures(TCanvas& canvas, int ratio) : FCanvas(canvas), FRatio(ratio) {
  FCanvas.OnPixelsSet = [this](const TRect& area) { SetAgain(area); };
}

TFinePictures::~TFinePictures() { FCanvas.OnPixelsSet = nullptr; }

// Only the part on the canvas is made finer: pictures of slides scrolled
// partly away cost no more than what shows.
void TFinePictures::Add(const TBitmap& picture, int mode, int left, int top, int width, int height) {
  const TRect drawn{left, top, left + width, top + height};
  const TRect area = Intersection(drawn, {0, 0, FCanvas.Target().Width(), FCanvas.Target().Height()});
  if (IsEmpty(area) || picture.Empty()) return;
  auto fine = std::make_unique<TFine>();
  fine->Area = area;
  fine->Pixels.Reset((area.Right - area.Left) * FRatio, (area.Bottom - area.Top) * FRatio);
  fine->Kept.assign(std::size_t(area.Right - area.Left) * std::size_t(area.Bottom - area.Top), 1);
  TCanvas& canvas = fine->Pixels.Canvas();
  canvas.SetStretchBltMode(mode);
  canvas.StretchBlt((left - area.Left) * FRatio, (top - area.Top) * FRatio, width * FRatio, height * FRatio,
                    picture, 0, 0, picture.Width(), picture.Height());
  FPictures.push_back(std::move(fine));
}

void TFinePictures::SetAgain(const TRect& area) {
  for (const auto& fine : FPictures) {
    const TRect hit = Intersection(area, fine->Area);
    if (IsEmpty(hit)) continue;
    const int stride = fine->Area.Right - fine->Area.Left;
    for (int y = hit.Top; y < hit.Bottom; ++y) {
      std::uint8_t* row = fine->Kept.data() + std::size_t(y - fine->Area.Top) * std::size_t(stride);
      std::fill(row + (hit.Left - fine->Area.Left), row + (hit.Right - fine->Area.Left), std::uint8_t(0));
    }
  }
}

// Runs of kept pixels go over as blocks of ratio rows.
void TFinePictures::PutInto(TBitmap& device) const {
  for (const auto& fine : FPictures) {
    const TRect& a = fine->Area;
    const int stride = a.Right - a.Left;
    if (device.Width() < a.Right * FRatio || device.Height() < a.Bottom * FRatio) continue;
    for (int y = a.Top; y < a.Bottom; ++y) {
      const std::uint8_t* kept = fine->Kept.data() + std::size_t(y - a.Top) * std::size_t(stride);
      for (int x = 0; x < stride;) {
        int end = x;
        while (end < stride && kept[end]) ++end;
        for (int k = 0; k < FRatio && end > x; ++k) {
          const int fy = (y - a.Top) * FRatio + k;
          std::memcpy(device.ScanLine(y * FRatio + k) + std::size_t(a.Left + x) * std::size_t(FRatio),
                      static_cast<const TBitmap&>(fine->Pixels).ScanLine(fy) + std::size_t(x) * std::size_t(FRatio),
                      std::size_t(end - x) * std::size_t(FRatio) * 4);
        }
        x = end + 1;
      }
    }
  }
}
