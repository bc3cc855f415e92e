#include "JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>

#include <jpeglib.h>

static_assert(JPEG_LIB_VERSION == 62, "the decoder is created with interface version 62");

namespace {

constexpr int QuantisedColours = 236;

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
  int tooManyScans;  // the limit passed, or 0
};

struct ScanMonitor {
  jpeg_progress_mgr pub;
  ErrorManager* err;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}

// Warnings are ignored: damaged data still gives a picture.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

void MonitorScans(j_common_ptr cinfo) {
  if (!cinfo->is_decompressor) return;
  const auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
  const int limit = JpegScanLimit(int(d->image_width), int(d->image_height));
  if (d->input_scan_number <= limit) return;
  ErrorManager* err = reinterpret_cast<ScanMonitor*>(cinfo->progress)->err;
  err->tooManyScans = limit;
  std::longjmp(err->jump, 1);
}

void InstallHandlers(jpeg_decompress_struct& cinfo, ErrorManager& err, ScanMonitor& monitor) {
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = EmitMessage;
  err.pub.output_message = OutputMessage;
  err.tooManyScans = 0;
  monitor.pub.progress_monitor = MonitorScans;
  monitor.err = &err;
}

// Settings that need the decompressor created.
void Attach(jpeg_decompress_struct& cinfo, ScanMonitor& monitor, const std::uint8_t* data, std::size_t size) {
  cinfo.mem->max_memory_to_use = MaxJpegLibraryMemory;
  cinfo.progress = &monitor.pub;
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
}

TJpegOutcome Failure(const ErrorManager& err) {
  if (err.tooManyScans) return {TJpegOutcome::TooManyScans, 0, err.tooManyScans};
  return {TJpegOutcome::LibraryError, err.pub.msg_code};
}

TJpegColorSpace ColorSpaceOf(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE: return TJpegColorSpace::Grayscale;
    case JCS_YCbCr: return TJpegColorSpace::YCbCr;
    case JCS_RGB: return TJpegColorSpace::RGB;
    case JCS_CMYK: return TJpegColorSpace::CMYK;
    case JCS_YCCK: return TJpegColorSpace::YCCK;
    default: return TJpegColorSpace::Unknown;
  }
}

bool IsInk(const jpeg_decompress_struct& cinfo) {
  return cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK;
}

// Full scale, block smoothing, the accurate integer inverse transform; ink
// pictures come out as CMYK (libjpeg converts them no further).
void ChooseOutput(jpeg_decompress_struct& cinfo, bool eightBit) {
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.do_block_smoothing = TRUE;
  cinfo.dct_method = JDCT_ISLOW;
  if (IsInk(cinfo)) {
    cinfo.out_color_space = JCS_CMYK;
  } else if (eightBit) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = QuantisedColours;
    cinfo.two_pass_quantize = TRUE;
    cinfo.dither_mode = JDITHER_FS;
  } else {
    cinfo.out_color_space = JCS_EXT_BGRX;  // lands as 0xFFRRGGBB in a little-endian store
  }
}

inline std::uint32_t Pixel(unsigned r, unsigned g, unsigned b) { return 0xFF000000u | (r << 16) | (g << 8) | b; }

inline unsigned Times(unsigned a, unsigned b) { return (a * b + 127) / 255; }

// Adobe files store inverted ink (0 = full ink); plain CMYK stores ink amounts.
void InkToRgb(std::uint32_t* row, int width, bool inverted) {
  const auto* bytes = reinterpret_cast<const std::uint8_t*>(row);
  for (int x = 0; x < width; ++x, bytes += 4) {
    unsigned c = bytes[0], m = bytes[1], y = bytes[2], k = bytes[3];
    if (!inverted) {
      c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    }
    row[x] = Pixel(Times(c, k), Times(m, k), Times(y, k));
  }
}

// The row holds one colour index per byte at its start; widening runs
// backwards so no index is overwritten before it is read.
void IndexesToRgb(const jpeg_decompress_struct& cinfo, std::uint32_t* row, int width) {
  const auto* indexes = reinterpret_cast<const std::uint8_t*>(row);
  const JSAMPARRAY map = cinfo.colormap;
  const bool grey = cinfo.out_color_components == 1;
  for (int x = width - 1; x >= 0; --x) {
    const unsigned i = indexes[x];
    row[x] = grey ? Pixel(map[0][i], map[0][i], map[0][i]) : Pixel(map[0][i], map[1][i], map[2][i]);
  }
}

// rowsDone counts the rows fully converted, for the caller to blacken the
// rest should decoding stop.
void ReadRows(jpeg_decompress_struct& cinfo, const TJpegDecodeRequest& r, volatile JDIMENSION& rowsDone) {
  const bool ink = IsInk(cinfo);
  const bool inverted = cinfo.saw_Adobe_marker;
  while (cinfo.output_scanline < cinfo.output_height) {
    std::uint32_t* row = r.Pixels + std::size_t(cinfo.output_scanline) * std::size_t(r.Width);
    auto* samples = reinterpret_cast<JSAMPROW>(row);
    if (jpeg_read_scanlines(&cinfo, &samples, 1) != 1) break;
    if (ink) {
      InkToRgb(row, r.Width, inverted);
    } else if (cinfo.quantize_colors) {
      IndexesToRgb(cinfo, row, r.Width);
    }
    rowsDone = cinfo.output_scanline;
  }
}

// The rows from first on, black: where decoding stopped, the picture shows black.
void BlackenRowsFrom(const TJpegDecodeRequest& r, JDIMENSION first) {
  if (r.TargetBlack || !r.Pixels || r.Width <= 0 || first >= JDIMENSION(std::max(r.Height, 0))) return;
  const auto width = std::size_t(r.Width);
  std::memset(r.Pixels + first * width, 0, (std::size_t(r.Height) - first) * width * sizeof(std::uint32_t));
}

bool FitsTarget(const jpeg_decompress_struct& cinfo, const TJpegDecodeRequest& r) {
  return r.Width > 0 && r.Height > 0 && cinfo.output_width == JDIMENSION(r.Width) &&
         cinfo.output_height == JDIMENSION(r.Height);
}

}  // namespace

int JpegScanLimit(int width, int height) {
  const long long pixels = std::max(1LL, static_cast<long long>(width) * height);
  return static_cast<int>(std::clamp(MaxJpegScanPixels / pixels, 1LL, static_cast<long long>(MaxJpegScans)));
}

// Between setjmp and a longjmp live only trivially destructible objects.
TJpegOutcome ReadJpegHeader(const std::uint8_t* data, std::size_t size, TJpegHeader& header) {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  ScanMonitor monitor{};
  InstallHandlers(cinfo, err, monitor);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    return Failure(err);
  }
  jpeg_create_decompress(&cinfo);
  Attach(cinfo, monitor, data, size);
  jpeg_read_header(&cinfo, TRUE);
  header.Width = int(cinfo.image_width);
  header.Height = int(cinfo.image_height);
  header.Components = cinfo.num_components;
  header.ColorSpace = ColorSpaceOf(cinfo.jpeg_color_space);
  jpeg_destroy_decompress(&cinfo);
  return {};
}

TJpegOutcome DecodeJpeg(const TJpegDecodeRequest& request) {
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  ScanMonitor monitor{};
  volatile JDIMENSION rowsDone = 0;  // volatile: read after a longjmp
  InstallHandlers(cinfo, err, monitor);
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    BlackenRowsFrom(request, rowsDone);
    return Failure(err);
  }
  jpeg_create_decompress(&cinfo);
  Attach(cinfo, monitor, request.Data, request.Size);
  jpeg_read_header(&cinfo, TRUE);
  ChooseOutput(cinfo, request.EightBit);
  jpeg_start_decompress(&cinfo);
  if (!FitsTarget(cinfo, request)) {
    jpeg_destroy_decompress(&cinfo);
    BlackenRowsFrom(request, 0);
    return {TJpegOutcome::SizeMismatch, 0};
  }
  ReadRows(cinfo, request, rowsDone);
  BlackenRowsFrom(request, rowsDone);  // a read that gave no row ended early
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return {};
}
