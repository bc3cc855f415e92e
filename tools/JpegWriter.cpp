#include "JpegWriter.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace jpegmaker {
namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  char message[JMSG_LENGTH_MAX];
};

void ErrorExit(j_common_ptr cinfo) {
  auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
  (*cinfo->err->format_message)(cinfo, err->message);
  std::longjmp(err->jump, 1);
}

int ComponentCount(Colour c) {
  switch (c) {
    case Colour::Grey:
      return 1;
    case Colour::Rgb:
      return 3;
    default:
      return 4;
  }
}

void SetColours(jpeg_compress_struct& cinfo, const Options& o) {
  cinfo.input_components = ComponentCount(o.Colours);
  cinfo.in_color_space = o.Colours == Colour::Grey ? JCS_GRAYSCALE : o.Colours == Colour::Rgb ? JCS_RGB : JCS_CMYK;
  jpeg_set_defaults(&cinfo);
  if (o.Colours == Colour::Cmyk) jpeg_set_colorspace(&cinfo, JCS_CMYK);
  if (o.Colours == Colour::Ycck) jpeg_set_colorspace(&cinfo, JCS_YCCK);
  if (o.Colours == Colour::Cmyk || o.Colours == Colour::Ycck) cinfo.write_Adobe_marker = o.AdobeMarker;
  if (o.FullChroma) {
    for (int i = 0; i < cinfo.num_components; ++i) {
      cinfo.comp_info[i].h_samp_factor = 1;
      cinfo.comp_info[i].v_samp_factor = 1;
    }
  }
}

void SetCoding(jpeg_compress_struct& cinfo, const Options& o) {
  jpeg_set_quality(&cinfo, o.Quality, TRUE);
  cinfo.arith_code = o.Arithmetic ? TRUE : FALSE;
  cinfo.restart_interval = static_cast<unsigned>(o.RestartInterval);
  cinfo.restart_in_rows = o.RestartRows;
  if (o.Progressive) jpeg_simple_progression(&cinfo);
  if (o.CoarseProgressive) {
    static jpeg_scan_info scans[5];
    const int n = cinfo.num_components;
    scans[0] = {n, {0, 1, 2, 3}, 0, 0, 0, 0};
    for (int c = 0; c < n; ++c) scans[c + 1] = {1, {c, 0, 0, 0}, 1, 63, 0, 1};
    cinfo.scan_info = scans;
    cinfo.num_scans = n + 1;
  }
}

// Only trivially destructible locals live between setjmp and a longjmp.
bool Compress(const Options& o, const PixelFunction& pixel, unsigned char** out, unsigned long* outSize,
              ErrorManager& err, JSAMPLE* row) {
  jpeg_compress_struct cinfo;
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  if (setjmp(err.jump)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, outSize);
  cinfo.image_width = static_cast<JDIMENSION>(o.Width);
  cinfo.image_height = static_cast<JDIMENSION>(o.Height);
  SetColours(cinfo, o);
  SetCoding(cinfo, o);
  jpeg_start_compress(&cinfo, TRUE);
  if (o.ExifOrientation != 0) {
    const Bytes exif = ExifBlock(o.ExifOrientation, o.ExifBigEndian);
    jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
  }
  const int n = cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    const int y = static_cast<int>(cinfo.next_scanline);
    for (int x = 0; x < o.Width; ++x) {
      const Sample s = pixel(x, y);
      for (int c = 0; c < n; ++c) row[x * n + c] = s[static_cast<std::size_t>(c)];
    }
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

Bytes ExifBlock(int orientation, bool bigEndian) {
  // Signature; byte order, 42, the first directory at offset 8; one entry:
  // tag 0x0112, type SHORT (3), count 1, the value left-aligned; no next directory.
  Bytes b = {'E', 'x', 'i', 'f', 0, 0};
  const auto put = [&](std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) b.push_back(std::uint8_t(v >> (8 * (bigEndian ? n - 1 - i : i))));
  };
  put(bigEndian ? 0x4D4D : 0x4949, 2);
  put(42, 2);
  put(8, 4);
  put(1, 2);
  put(0x0112, 2);
  put(3, 2);
  put(1, 4);
  put(std::uint32_t(orientation), 2);
  put(0, 2);
  put(0, 4);
  return b;
}

PixelFunction Flat(Sample value) {
  return [value](int, int) { return value; };
}

Bytes MakeJpeg(const Options& options, const PixelFunction& pixel) {
  ErrorManager err{};
  std::vector<JSAMPLE> row(static_cast<std::size_t>(options.Width) * 4);
  unsigned char* out = nullptr;
  unsigned long outSize = 0;
  const bool ok = Compress(options, pixel, &out, &outSize, err, row.data());
  Bytes bytes;
  if (out) bytes.assign(out, out + outSize);
  std::free(out);
  if (!ok) throw std::runtime_error(std::string("JpegWriter: ") + err.message);
  return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("JpegWriter: cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("JpegWriter: cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

}  // namespace jpegmaker
