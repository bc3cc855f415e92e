#include <algorithm>
#include "JpegMaker.h"

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

// Length of the segment whose marker is at pos (2 bytes marker + length).
std::size_t SegmentEnd(const Bytes& b, std::size_t pos) {
  if (pos + 3 >= b.size()) return b.size();
  return pos + 2 + ((std::size_t(b[pos + 2]) << 8) | b[pos + 3]);
}

bool StandsAlone(std::uint8_t code) { return code == 0xD8 || code == 0xD9 || (code >= 0xD0 && code <= 0xD7); }

// Offset of the next marker after entropy data starting at pos.
std::size_t SkipEntropyData(const Bytes& b, std::size_t pos) {
  while (pos + 1 < b.size()) {
    if (b[pos] == 0xFF && b[pos + 1] != 0x00 && !(b[pos + 1] >= 0xD0 && b[pos + 1] <= 0xD7) && b[pos + 1] != 0xFF) {
      return pos;
    }
    ++pos;
  }
  return b.size();
}

// Offsets of every marker of the file, in order.
std::vector<std::size_t> Markers(const Bytes& b) {
  std::vector<std::size_t> found;
  std::size_t pos = 0;
  while (pos + 1 < b.size()) {
    if (b[pos] != 0xFF) throw std::runtime_error("JpegMaker: marker expected");
    while (pos + 1 < b.size() && b[pos + 1] == 0xFF) ++pos;  // fill bytes
    found.push_back(pos);
    const std::uint8_t code = b[pos + 1];
    if (code == 0xD9) break;
    pos = StandsAlone(code) ? pos + 2 : SegmentEnd(b, pos);
    if (code == 0xDA) pos = SkipEntropyData(b, pos);
  }
  return found;
}

}  // namespace

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
  if (!ok) throw std::runtime_error(std::string("JpegMaker: ") + err.message);
  return bytes;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!f) throw std::runtime_error("JpegMaker: cannot write " + path);
}

Bytes ReadFile(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  if (!f) throw std::runtime_error("JpegMaker: cannot read " + path);
  return Bytes(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

Bytes Truncate(Bytes bytes, std::size_t count) {
  if (count < bytes.size()) bytes.resize(count);
  return bytes;
}

Bytes XorBytes(Bytes bytes, std::size_t offset, std::size_t count, std::uint8_t mask) {
  for (std::size_t i = offset; i < offset + count && i < bytes.size(); ++i) bytes[i] ^= mask;
  return bytes;
}

std::size_t FindMarker(const Bytes& bytes, std::uint8_t code) {
  for (std::size_t pos : Markers(bytes)) {
    if (bytes[pos + 1] == code) return pos;
  }
  return std::string::npos;
}

std::size_t FindSof(const Bytes& bytes) {
  for (std::size_t pos : Markers(bytes)) {
    const std::uint8_t code = bytes[pos + 1];
    const bool isSof = code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
    if (isSof && pos + 9 <= bytes.size()) return pos;
  }
  throw std::runtime_error("JpegMaker: no frame header");
}

Bytes PatchSofSize(Bytes bytes, std::uint16_t width, std::uint16_t height) {
  const std::size_t pos = FindSof(bytes);
  bytes[pos + 5] = std::uint8_t(height >> 8);
  bytes[pos + 6] = std::uint8_t(height);
  bytes[pos + 7] = std::uint8_t(width >> 8);
  bytes[pos + 8] = std::uint8_t(width);
  return bytes;
}

Bytes PatchSofPrecision(Bytes bytes, std::uint8_t bits) {
  bytes[FindSof(bytes) + 4] = bits;
  return bytes;
}

Bytes InsertBeforeEoi(Bytes bytes, const Bytes& insert) {
  const std::size_t eoi = FindMarker(bytes, 0xD9);
  if (eoi == std::string::npos) throw std::runtime_error("JpegMaker: no EOI");
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(eoi), insert.begin(), insert.end());
  return bytes;
}

Bytes PadWithComments(Bytes bytes, std::size_t size) {
  Bytes comments;
  while (bytes.size() + comments.size() < size) {
    const std::size_t length =
        std::min<std::size_t>(65535, std::max<std::size_t>(size - bytes.size() - comments.size(), 4));
    comments.insert(comments.end(), {0xFF, 0xFE, std::uint8_t(length >> 8), std::uint8_t(length & 0xFF)});
    comments.resize(comments.size() + length - 2, ' ');
  }
  bytes.insert(bytes.begin() + 2, comments.begin(), comments.end());
  return bytes;
}

Bytes RepeatLastScan(Bytes bytes, int times) {
  const std::vector<std::size_t> markers = Markers(bytes);
  std::size_t sos = std::string::npos;
  for (std::size_t pos : markers) {
    if (bytes[pos + 1] == 0xDA) sos = pos;
  }
  const std::size_t eoi = FindMarker(bytes, 0xD9);
  if (sos == std::string::npos || eoi == std::string::npos) throw std::runtime_error("JpegMaker: no scan");
  const Bytes scan(bytes.begin() + static_cast<std::ptrdiff_t>(sos),
                   bytes.begin() + static_cast<std::ptrdiff_t>(eoi));
  Bytes repeated;
  for (int i = 0; i < times; ++i) repeated.insert(repeated.end(), scan.begin(), scan.end());
  return InsertBeforeEoi(std::move(bytes), repeated);
}

}  // namespace jpegmaker
