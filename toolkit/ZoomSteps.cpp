#include "toolkit/ZoomSteps.h"

#include <algorithm>
#include <vector>

namespace {

constexpr TZoom kSteps[] = {{1, 8}, {1, 6}, {1, 4}, {1, 3}, {1, 2}, {2, 3}, {1, 1},
                            {3, 2}, {2, 1}, {3, 1}, {4, 1}, {6, 1}, {8, 1}};

// Half up: (2 * a + b) / (2 * b) for a, b >= 0.
int RoundedShare(std::int64_t side, const TZoom& zoom) {
  const std::int64_t scaled = (2 * side * zoom.Num + zoom.Den) / (2 * std::int64_t(zoom.Den));
  return int(std::max<std::int64_t>(1, scaled));
}

}  // namespace

std::span<const TZoom> ZoomSteps() { return kSteps; }

std::optional<TZoom> NextZoom(std::int64_t num, std::int64_t den, bool up) {
  // Compared as fractions: step n / d against num / den is n * den against num * d.
  const auto above = [&](const TZoom& s) { return std::int64_t(s.Num) * den > num * s.Den; };
  const auto below = [&](const TZoom& s) { return std::int64_t(s.Num) * den < num * s.Den; };
  if (up) {
    const auto* const it = std::find_if(std::begin(kSteps), std::end(kSteps), above);
    if (it != std::end(kSteps)) return *it;
    return std::nullopt;
  }
  const auto it = std::find_if(std::rbegin(kSteps), std::rend(kSteps), below);
  if (it != std::rend(kSteps)) return *it;
  return std::nullopt;
}

TZoom FittedScale(TFitSize picture, TFitSize view) {
  if (picture.Width <= 0 || picture.Height <= 0 || view.Width <= 0 || view.Height <= 0) return {};
  if (picture.Width <= view.Width && picture.Height <= view.Height) return {};
  // FittedSize's choice of side.
  const std::int64_t pw = picture.Width, ph = picture.Height, vw = view.Width, vh = view.Height;
  if (pw * vh >= ph * vw) return {view.Width, picture.Width};
  return {view.Height, picture.Height};
}

TFitSize ZoomedSize(TFitSize natural, TZoom zoom) {
  if (natural.Width <= 0 || natural.Height <= 0 || zoom.Num <= 0 || zoom.Den <= 0) return {};
  return {RoundedShare(natural.Width, zoom), RoundedShare(natural.Height, zoom)};
}

void MagnifyPart(const TBitmap& picture, TZoom zoom, TFitPoint from, TBitmap& part) {
  if (picture.Empty() || part.Empty() || zoom.Num <= 0 || zoom.Den <= 0) return;
  // Picture side of device index d, kept inside the picture at the rounded-up edge.
  const auto source = [&](std::int64_t d, int side) {
    return int(std::clamp<std::int64_t>(d * zoom.Den / zoom.Num, 0, side - 1));
  };
  std::vector<int> columns(std::size_t(part.Width()));
  for (int x = 0; x < part.Width(); ++x)
    columns[std::size_t(x)] = source(std::int64_t(from.X) + x, picture.Width());
  for (int y = 0; y < part.Height(); ++y) {
    const std::uint32_t* in = picture.ScanLine(source(std::int64_t(from.Y) + y, picture.Height()));
    std::uint32_t* out = part.ScanLine(y);
    for (int x = 0; x < part.Width(); ++x) out[x] = in[columns[std::size_t(x)]];
  }
}
