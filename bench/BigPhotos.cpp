#include "BigPhotos.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "BareJpeg.h"
#include "tools/JpegWriter.h"

namespace {

struct TRgb {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Pixels;  // 3 bytes a pixel
};

std::uint8_t Blend(const std::uint8_t* a, const std::uint8_t* b, int channel, int weight) {
  return std::uint8_t((a[channel] * (256 - weight) + b[channel] * weight) >> 8);
}

// Bilinear, in 8-bit fixed point: smooth like a photograph, so the file
// compresses like one.
TRgb Upscale(const TRawPicture& source, int width, int height) {
  TRgb out{width, height, std::vector<std::uint8_t>(std::size_t(width) * height * 3)};
  const int sw = source.Width, sh = source.Height;
  for (int y = 0; y < height; ++y) {
    const long long fy = (long long)y * (sh - 1) * 256 / (height > 1 ? height - 1 : 1);
    const int y0 = int(fy >> 8), wy = int(fy & 255), y1 = y0 + 1 < sh ? y0 + 1 : y0;
    std::uint8_t* row = &out.Pixels[std::size_t(y) * width * 3];
    for (int x = 0; x < width; ++x) {
      const long long fx = (long long)x * (sw - 1) * 256 / (width > 1 ? width - 1 : 1);
      const int x0 = int(fx >> 8), wx = int(fx & 255), x1 = x0 + 1 < sw ? x0 + 1 : x0;
      const auto at = [&](int px, int py) { return source.Rows.get() + (std::size_t(py) * sw + px) * 3; };
      for (int c = 0; c < 3; ++c) {
        const std::uint8_t top = Blend(at(x0, y0), at(x1, y0), c, wx);
        const std::uint8_t bottom = Blend(at(x0, y1), at(x1, y1), c, wx);
        row[x * 3 + c] = std::uint8_t((top * (256 - wy) + bottom * wy) >> 8);
      }
    }
  }
  return out;
}

void Encode(const TRgb& picture, const std::string& path) {
  jpegmaker::Options o;
  o.Width = picture.Width;
  o.Height = picture.Height;
  o.Quality = 90;
  jpegmaker::WriteFile(path, jpegmaker::MakeJpeg(o, [&picture](int x, int y) {
                         const std::uint8_t* p = &picture.Pixels[(std::size_t(y) * picture.Width + x) * 3];
                         return jpegmaker::Sample{p[0], p[1], p[2], 0};
                       }));
}

// Sources libjpeg cannot give as RGB (ink pictures, damaged files) are passed over.
std::vector<TRawPicture> UsableSources(const std::vector<std::string>& sources) {
  std::vector<TRawPicture> usable;
  for (const std::string& path : sources) {
    try {
      TRawPicture picture = BareDecode(path, TBareOutput::Rgb);
      if (picture.Components == 3) usable.push_back(std::move(picture));
    } catch (const std::runtime_error&) {
    }
  }
  if (usable.empty()) throw std::runtime_error("no photo to make large ones from");
  return usable;
}

}  // namespace

std::vector<std::string> MakeBigPhotos(const std::vector<std::string>& sources, const std::string& folder,
                                       int count) {
  const std::vector<TRawPicture> usable = UsableSources(sources);
  std::vector<std::string> paths;
  for (int i = 0; i < count; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "/big-%d.jpg", i + 1);
    paths.push_back(folder + name);
    Encode(Upscale(usable[std::size_t(i) % usable.size()], kBigPhotoWidth, kBigPhotoHeight), paths.back());
  }
  return paths;
}
