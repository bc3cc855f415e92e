// make_samples OUTDIR: writes the sample pictures of the program's data
// folder, drawn here from gradients, shapes and stripes so that every
// thumbnail looks different. Sizes and codings vary on purpose: landscape
// and portrait, greyscale, progressive, restart markers.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <stdexcept>
#include <vector>

#include "JpegWriter.h"

namespace {

struct Colour {
  double R, G, B;  // 0..1
};

using Painter = std::function<Colour(double u, double v)>;  // u, v in 0..1

struct Sample {
  const char* Name;
  int Width, Height;
  bool Grey = false;
  bool Progressive = false;
  int RestartRows = 0;
  Painter Paint;
};

constexpr double Pi = 3.14159265358979323846;

double Clamp01(double x) { return std::min(1.0, std::max(0.0, x)); }
Colour Mix(Colour a, Colour b, double t) {
  t = Clamp01(t);
  return {a.R + (b.R - a.R) * t, a.G + (b.G - a.G) * t, a.B + (b.B - a.B) * t};
}
double Smooth(double edge0, double edge1, double x) {
  const double t = Clamp01((x - edge0) / (edge1 - edge0));
  return t * t * (3 - 2 * t);
}
Colour Hue(double h) {
  return {0.5 + 0.5 * std::cos(2 * Pi * h), 0.5 + 0.5 * std::cos(2 * Pi * (h - 1.0 / 3)),
          0.5 + 0.5 * std::cos(2 * Pi * (h - 2.0 / 3))};
}
double Disc(double u, double v, double cu, double cv, double r) {
  return 1 - Smooth(r * 0.97, r, std::hypot(u - cu, v - cv));
}

Colour Sunset(double u, double v) {
  Colour c = Mix({0.98, 0.62, 0.25}, {0.35, 0.15, 0.45}, 1 - v * 1.6);
  c = Mix(c, {1.0, 0.93, 0.6}, Disc(u * 4 / 3, v, 0.62 * 4 / 3, 0.55, 0.12));  // 4:3 picture: a round sun
  const double hill = 0.72 + 0.06 * std::sin(u * 7) + 0.03 * std::sin(u * 19);
  return Mix(c, {0.12, 0.08, 0.15}, Smooth(hill, hill + 0.01, v));
}

Colour Ocean(double u, double v) {
  if (v < 0.4) return Mix({0.55, 0.78, 0.95}, {0.85, 0.93, 1.0}, v / 0.4);
  const double wave = 0.5 + 0.5 * std::sin(u * 40 + std::sin(v * 30) * 2 + v * 90);
  return Mix(Mix({0.1, 0.45, 0.65}, {0.02, 0.15, 0.35}, (v - 0.4) / 0.6), {0.8, 0.9, 0.95},
             wave * wave * wave * 0.35);
}

Colour Tower(double u, double v) {
  Colour c = Mix({0.95, 0.85, 0.7}, {0.45, 0.6, 0.85}, 1 - v);
  for (int i = 0; i < 6; ++i) {
    const double half = 0.3 - i * 0.04, top = 0.9 - (i + 1) * 0.13;
    if (std::abs(u - 0.5) < half && v > top && v < top + 0.13) c = Mix({0.6, 0.3, 0.2}, {0.9, 0.7, 0.4}, i / 5.0);
  }
  return c;
}

Colour Tiles(double u, double v) {
  const int tu = int(u * 6), tv = int(v * 6);
  const Colour tile = Hue((tu + tv * 6) / 36.0);
  const double inU = u * 6 - tu, inV = v * 6 - tv;
  const bool grout = inU < 0.06 || inV < 0.06;
  return grout ? Colour{0.95, 0.95, 0.92} : Mix(tile, {1, 1, 1}, ((tu + tv) % 2) * 0.35);
}

Colour Banner(double u, double v) {
  const Colour band = Hue(std::floor(v * 7) / 7);
  return Mix(band, {1, 1, 1}, 0.25 * (0.5 + 0.5 * std::sin(u * 60)));
}

Colour Moon(double u, double v) {
  double level = 0.08 + 0.1 * v;
  const double disc = Disc(u, v, 0.5, 0.5, 0.38);
  double surface = 0.85 - 0.4 * std::hypot(u - 0.42, v - 0.42);
  const double craters[][3] = {{0.4, 0.4, 0.07}, {0.6, 0.55, 0.05}, {0.48, 0.68, 0.08}, {0.65, 0.35, 0.04}};
  for (const auto& k : craters) surface -= 0.25 * Disc(u, v, k[0], k[1], k[2]);
  level = level + (surface - level) * disc;
  return {level, level, level};
}

Colour Rings(double u, double v) {
  const double r = std::hypot(u - 0.5, v - 0.5);
  return Mix(Hue(r * 3), {0.05, 0.05, 0.1}, Smooth(0.45, 0.5, r));
}

Colour Plaid(double u, double v) {
  const double a = 0.5 + 0.5 * std::sin(u * 2 * Pi * 8), b = 0.5 + 0.5 * std::sin(v * 2 * Pi * 5);
  return Mix(Mix({0.55, 0.1, 0.12}, {0.1, 0.25, 0.15}, a * 0.7), {0.95, 0.85, 0.4}, b * b * b * b * 0.6);
}

Colour Aurora(double u, double v) {
  Colour c = Mix({0.01, 0.02, 0.08}, {0.05, 0.1, 0.2}, v);
  for (int i = 0; i < 3; ++i) {
    const double centre = 0.3 + 0.12 * i + 0.08 * std::sin(u * (5 + i * 2) + i);
    c = Mix(c, i == 1 ? Colour{0.6, 0.3, 0.8} : Colour{0.2, 0.95, 0.5},
            std::exp(-std::pow((v - centre) * 18, 2)) * 0.8);
  }
  return c;
}

Colour Dunes(double u, double v) {
  const double ridge = 0.45 + 0.1 * std::sin(u * 9 + 1) + 0.05 * std::sin(u * 23);
  if (v < ridge) return Mix({0.5, 0.7, 0.95}, {0.98, 0.9, 0.75}, v / ridge);
  const double shade = 0.5 + 0.5 * std::sin((v - ridge) * 40 + u * 12);
  return Mix({0.93, 0.72, 0.42}, {0.7, 0.45, 0.25}, shade * 0.6);
}

Colour Bubbles(double u, double v) {
  Colour c = Mix({0.05, 0.45, 0.5}, {0.02, 0.2, 0.3}, v);
  std::uint32_t seed = 7;
  for (int i = 0; i < 18; ++i) {
    seed = seed * 1103515245u + 12345u;
    const double cu = (seed >> 8 & 1023) / 1023.0, cv = (seed >> 18 & 1023) / 1023.0;
    const double r = 0.04 + (seed & 255) / 255.0 * 0.1;
    c = Mix(c, Hue(i / 18.0), Disc(u, v, cu, cv, r) * 0.85);
  }
  return c;
}

Colour Stripes(double u, double v) {
  const double level = 0.25 + 0.6 * (0.5 + 0.5 * std::sin((u + v) * 2 * Pi * 6)) * (0.4 + 0.6 * u);
  return {level, level, level};
}

Colour Meadow(double u, double v) {
  if (v < 0.45) return Mix({0.45, 0.65, 0.95}, {0.9, 0.95, 1.0}, v / 0.45);
  Colour c = Mix({0.35, 0.65, 0.2}, {0.15, 0.4, 0.1}, (v - 0.45) / 0.55);
  const double flower = std::sin(u * 173) * std::sin(v * 211) * std::sin((u + v) * 97);
  return flower > 0.93 ? Colour{0.95, 0.85, 0.2} : c;
}

Colour Wheel(double u, double v) {
  const double angle = std::atan2(v - 0.5, u - 0.5) / (2 * Pi) + 0.5;
  const double r = std::hypot(u - 0.5, v - 0.5) * 2;
  return Mix(Mix({1, 1, 1}, Hue(angle), r), {0.15, 0.15, 0.15}, Smooth(0.96, 1.0, r));
}

Colour Triangles(double u, double v) {
  const int row = int(v * 5);
  const double shifted = u * 6 + (row % 2) * 0.5;
  const double inRow = v * 5 - row, inCol = shifted - std::floor(shifted);
  const bool up = std::abs(inCol - 0.5) < inRow * 0.5;
  return up ? Hue(row / 5.0 + std::floor(shifted) / 12) : Colour{0.97, 0.96, 0.9};
}

std::vector<Sample> Samples() {
  return {
      {"sunset-640x480.jpg", 640, 480, false, false, 0, Sunset},
      {"ocean-1024x683.jpg", 1024, 683, false, false, 0, Ocean},
      {"tower-portrait-480x640.jpg", 480, 640, false, false, 0, Tower},
      {"tiles-300x300.jpg", 300, 300, false, false, 0, Tiles},
      {"banner-800x200.jpg", 800, 200, false, false, 0, Banner},
      {"moon-grey-512x512.jpg", 512, 512, true, false, 0, Moon},
      {"rings-progressive-600x600.jpg", 600, 600, false, true, 0, Rings},
      {"plaid-restart-640x400.jpg", 640, 400, false, false, 2, Plaid},
      {"aurora-720x480.jpg", 720, 480, false, true, 0, Aurora},
      {"dunes-800x533.jpg", 800, 533, false, false, 1, Dunes},
      {"bubbles-400x400.jpg", 400, 400, false, false, 0, Bubbles},
      {"stripes-grey-320x240.jpg", 320, 240, true, true, 0, Stripes},
      {"meadow-1024x576.jpg", 1024, 576, false, false, 0, Meadow},
      {"wheel-256x256.jpg", 256, 256, false, false, 0, Wheel},
      {"triangles-160x120.jpg", 160, 120, false, false, 0, Triangles},
  };
}

std::uint8_t Byte(double x) { return std::uint8_t(std::lround(Clamp01(x) * 255)); }

bool Write(const Sample& s, const std::filesystem::path& dir) {
  jpegmaker::Options o;
  o.Width = s.Width;
  o.Height = s.Height;
  o.Colours = s.Grey ? jpegmaker::Colour::Grey : jpegmaker::Colour::Rgb;
  o.Quality = 88;
  o.Progressive = s.Progressive;
  o.RestartRows = s.RestartRows;
  const auto pixel = [&s](int x, int y) {
    const Colour c = s.Paint((x + 0.5) / s.Width, (y + 0.5) / s.Height);
    if (s.Grey) return jpegmaker::Sample{Byte(0.299 * c.R + 0.587 * c.G + 0.114 * c.B), 0, 0, 0};
    return jpegmaker::Sample{Byte(c.R), Byte(c.G), Byte(c.B), 0};
  };
  try {
    jpegmaker::WriteFile((dir / s.Name).string(), jpegmaker::MakeJpeg(o, pixel));
    return true;
  } catch (const std::runtime_error&) {
    return false;
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_samples OUTDIR\n");
    return 2;
  }
  const std::filesystem::path dir = argv[1];
  std::error_code ec;
  std::filesystem::create_directories(dir, ec);
  for (const Sample& s : Samples()) {
    if (!Write(s, dir)) {
      std::fprintf(stderr, "make_samples: cannot write %s\n", (dir / s.Name).c_str());
      return 1;
    }
  }
  return 0;
}
