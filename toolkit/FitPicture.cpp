#include "toolkit/FitPicture.h"

#include <algorithm>
#include <cstdint>

TFitSize FittedSize(TFitSize picture, TFitSize view) {
  if (picture.Width <= 0 || picture.Height <= 0 || view.Width <= 0 || view.Height <= 0) return {0, 0};
  if (picture.Width <= view.Width && picture.Height <= view.Height) return picture;
  const std::int64_t pw = picture.Width, ph = picture.Height, vw = view.Width, vh = view.Height;
  // Width-bound when pw / ph >= vw / vh.
  if (pw * vh >= ph * vw) return {view.Width, int(std::max<std::int64_t>(1, (ph * vw * 2 + pw) / (2 * pw)))};
  return {int(std::max<std::int64_t>(1, (pw * vh * 2 + ph) / (2 * ph))), view.Height};
}

std::shared_ptr<const TBitmap> FitPicture(const TBitmap& picture, TFitSize size, const std::atomic<bool>* Stop,
                                          TFitRect part) {
  if (picture.Empty() || size.Width <= 0 || size.Height <= 0) return nullptr;
  if (!part.Empty() && part != TFitRect{0, 0, size.Width, size.Height}) {
    if (Stop && *Stop) return nullptr;
    auto made = std::make_shared<TBitmap>(part.Width, part.Height, TPixelInit::Unset);
    StretchInto(*made, -part.X, -part.Y, size.Width, size.Height, picture, HALFTONE);
    return made;
  }
  auto fitted = std::make_shared<TBitmap>(size.Width, size.Height, TPixelInit::Unset);
  TRowStretcher stretcher(*fitted, picture.Width(), picture.Height(), HALFTONE);
  // As many rows as a decoder gives at a time: a stop is seen as soon as a
  // decode would see it.
  constexpr int kBandRows = 16;
  const auto rowPixels = std::size_t(picture.Width());
  for (int row = 0; row < picture.Height(); row += kBandRows) {
    if (Stop && *Stop) return nullptr;
    stretcher.AddRows(picture.Bits() + std::size_t(row) * rowPixels, std::min(kBandRows, picture.Height() - row));
  }
  return fitted;
}

std::shared_ptr<const TBitmap> DecodeFitting(TGraphic& picture, TFitSize view, const std::atomic<bool>* Stop) {
  const TFitSize natural{picture.Width(), picture.Height()};
  const TFitSize size = FittedSize(natural, view);
  if (size == natural || size.Width <= 0 || size.Height <= 0) {
    picture.DecodeAhead(Stop);
    return nullptr;
  }
  auto fitted = std::make_shared<TBitmap>(size.Width, size.Height, TPixelInit::Unset);
  TRowStretcher stretcher(*fitted, picture.StoredWidth(), picture.StoredHeight(), HALFTONE,
                          TTurn{picture.Orientation()});
  const bool whole =
      picture.DecodeAheadWatched([&](const std::uint32_t* rows, int count) { stretcher.AddRows(rows, count); },
                                 Stop);
  return whole && !(Stop && *Stop) ? fitted : nullptr;
}

namespace {

// One side: centred, then panned within [view - picture, 0].
int PannedSide(int view, int picture, int& pan) {
  const int centred = (view - picture) / 2;
  if (picture <= view) {
    pan = 0;
    return centred;
  }
  const int at = std::clamp(centred + pan, view - picture, 0);
  pan = at - centred;
  return at;
}

}  // namespace

TFitPoint PannedOrigin(TFitSize view, TFitSize picture, TFitPoint& pan) {
  return {PannedSide(view.Width, picture.Width, pan.X), PannedSide(view.Height, picture.Height, pan.Y)};
}
