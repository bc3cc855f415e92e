#include "JpegCodec.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>  // jpeglib.h needs FILE
#include <cstring>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "ExifOrientation.h"

static_assert(JPEG_LIB_VERSION == 62, "the decoder is created with interface version 62");

namespace {

constexpr int QuantisedColours = 236;

// Everything a run of the decoder needs, owned by the caller of Run, the one
// function that calls setjmp: the error exit's longjmp skips no destructor,
// and what Run's callees write here is read after it through a reference,
// never from a local of Run.
struct DecoderFrame {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err{};
  jpeg_progress_mgr progress{};
  std::jmp_buf jump{};
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
  const TJpegDecodeRequest* request = nullptr;  // null: the header only
  TJpegHeader header;
  std::vector<std::uint32_t> band;  // the rows decoded into for OnRows
  JDIMENSION rowsDone = 0;          // rows fully converted, for blackening the rest
  int tooManyScans = 0;             // the limit passed, or 0
  char message[JMSG_LENGTH_MAX]{};  // libjpeg's text of the failure
  bool failed = false;
  bool cancelled = false;
  bool sizeMismatch = false;
};

DecoderFrame& FrameOf(j_common_ptr cinfo) { return *static_cast<DecoderFrame*>(cinfo->client_data); }

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  DecoderFrame& f = FrameOf(cinfo);
  cinfo->err->format_message(cinfo, f.message);
  std::longjmp(f.jump, 1);
}

// Warnings are ignored: damaged data still gives a picture.
void EmitMessage(j_common_ptr, int) {}
void OutputMessage(j_common_ptr) {}

// Called by libjpeg at every row and every pass over the coded data.
void MonitorProgress(j_common_ptr cinfo) {
  DecoderFrame& f = FrameOf(cinfo);
  const TJpegDecodeRequest* r = f.request;
  if (r && r->Cancel && r->Cancel->load(std::memory_order_relaxed)) {
    f.cancelled = true;
    std::longjmp(f.jump, 1);
  }
  const int limit = JpegScanLimit(int(f.cinfo.image_width), int(f.cinfo.image_height));
  if (f.cinfo.input_scan_number <= limit) return;
  f.tooManyScans = limit;
  std::longjmp(f.jump, 1);
}

void InstallHandlers(DecoderFrame& f) {
  f.cinfo.err = jpeg_std_error(&f.err);
  f.err.error_exit = ErrorExit;
  f.err.emit_message = EmitMessage;
  f.err.output_message = OutputMessage;
  f.progress.progress_monitor = MonitorProgress;
  f.cinfo.client_data = &f;
}

// Settings that need the decompressor created.
void Attach(DecoderFrame& f) {
  f.cinfo.mem->max_memory_to_use = MaxJpegLibraryMemory;
  f.cinfo.progress = &f.progress;
  jpeg_mem_src(&f.cinfo, f.data, static_cast<unsigned long>(f.size));
}

// The least entropy-coded data that codes every block of the picture:
// Huffman coding spends at least one bit on each block's DC difference and,
// in sequential files, one more on its end of block; progressive files may
// code all AC data of thousands of blocks in one end-of-band run. Arithmetic
// coding can code a blank picture in almost nothing, so it has no bound here.
std::uint64_t LeastCodedBits(const jpeg_decompress_struct& cinfo) {
  if (cinfo.arith_code) return 0;
  std::uint64_t blocks = 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    blocks += std::uint64_t(comp.width_in_blocks) * std::uint64_t(comp.height_in_blocks);
  }
  return blocks * (cinfo.progressive_mode ? 1 : 2);
}

// A file that holds not even an eighth of the least data its picture needs
// is far too short for it: libjpeg would decode the missing rest as flat
// grey, which for a few kilobytes claiming hundreds of megapixels costs
// seconds and gigabytes.
bool TooLittleData(const DecoderFrame& f) {
  constexpr std::uint64_t kMargin = 8;
  return std::uint64_t(f.size) * 8 * kMargin < LeastCodedBits(f.cinfo);
}

TJpegColorSpace ColorSpaceOf(J_COLOR_SPACE space) {
  switch (space) {
    case JCS_GRAYSCALE:
      return TJpegColorSpace::Grayscale;
    case JCS_YCbCr:
      return TJpegColorSpace::YCbCr;
    case JCS_RGB:
      return TJpegColorSpace::RGB;
    case JCS_CMYK:
      return TJpegColorSpace::CMYK;
    case JCS_YCCK:
      return TJpegColorSpace::YCCK;
    default:
      return TJpegColorSpace::Unknown;
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
// rest should decoding stop. Rows are read one at a time, so a cancel stops
// within a row.
void ReadRows(jpeg_decompress_struct& cinfo, const TJpegDecodeRequest& r, std::vector<std::uint32_t>& band,
              JDIMENSION& rowsDone) {
  const bool ink = IsInk(cinfo);
  const bool inverted = cinfo.saw_Adobe_marker;
  const auto width = std::size_t(r.Width);
  const int bandRows = r.OnRows ? JpegBandRows : 1;
  bool stopped = false;
  while (!stopped && cinfo.output_scanline < cinfo.output_height) {
    std::uint32_t* first = r.Pixels ? r.Pixels + std::size_t(cinfo.output_scanline) * width : band.data();
    int count = 0;
    for (; count < bandRows && cinfo.output_scanline < cinfo.output_height; ++count) {
      std::uint32_t* row = first + std::size_t(count) * width;
      auto* samples = reinterpret_cast<JSAMPROW>(row);
      if (jpeg_read_scanlines(&cinfo, &samples, 1) != 1) {
        stopped = true;
        break;
      }
      if (ink) {
        InkToRgb(row, r.Width, inverted);
      } else if (cinfo.quantize_colors) {
        IndexesToRgb(cinfo, row, r.Width);
      }
    }
    if (r.OnRows && count > 0) r.OnRows(first, count);
    rowsDone = cinfo.output_scanline;
  }
}

// The rows from first on, black: where decoding stopped, the picture shows black.
void BlackenRowsFrom(const TJpegDecodeRequest& r, std::vector<std::uint32_t>& band, JDIMENSION first) {
  const auto height = JDIMENSION(std::max(r.Height, 0));
  if (first >= height || r.Width <= 0) return;
  const auto width = std::size_t(r.Width);
  if (r.Pixels && !r.TargetBlack) {
    std::memset(r.Pixels + first * width, 0, (std::size_t(r.Height) - first) * width * sizeof(std::uint32_t));
  }
  if (!r.OnRows) return;
  if (!r.Pixels) std::fill(band.begin(), band.end(), 0u);
  for (JDIMENSION y = first; y < height; y += JpegBandRows) {
    const std::uint32_t* rows = r.Pixels ? r.Pixels + y * width : band.data();
    r.OnRows(rows, int(std::min<JDIMENSION>(JpegBandRows, height - y)));
  }
}

bool FitsTarget(const jpeg_decompress_struct& cinfo, const TJpegDecodeRequest& r) {
  return r.Width > 0 && r.Height > 0 && cinfo.output_width == JDIMENSION(r.Width) &&
         cinfo.output_height == JDIMENSION(r.Height);
}

void Decode(DecoderFrame& f) {
  const TJpegDecodeRequest& r = *f.request;
  ChooseOutput(f.cinfo, r.EightBit);
  jpeg_start_decompress(&f.cinfo);
  if (!FitsTarget(f.cinfo, r)) {
    f.sizeMismatch = true;
    return;
  }
  ReadRows(f.cinfo, r, f.band, f.rowsDone);
  jpeg_finish_decompress(&f.cinfo);
}

// The orientation of the first APP1 segment that holds an Exif block.
int OrientationOf(const jpeg_decompress_struct& cinfo) {
  for (jpeg_saved_marker_ptr m = cinfo.marker_list; m; m = m->next) {
    if (m->marker == JPEG_APP0 + 1 && IsExifPayload(m->data, m->data_length)) {
      return ExifOrientation(m->data, m->data_length);
    }
  }
  return 1;
}

// The one setjmp. Header reading and decoding share it.
void Run(DecoderFrame& f) {
  InstallHandlers(f);
  if (setjmp(f.jump)) {
    jpeg_destroy_decompress(&f.cinfo);
    f.failed = true;
    return;
  }
  jpeg_create_decompress(&f.cinfo);
  Attach(f);
  // The header alone keeps the APP1 segments, for the orientation: a segment
  // holds at most 65533 bytes, so the whole of each is kept.
  if (!f.request) jpeg_save_markers(&f.cinfo, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&f.cinfo, TRUE);
  f.header = {int(f.cinfo.image_width), int(f.cinfo.image_height),
              f.cinfo.num_components,   ColorSpaceOf(f.cinfo.jpeg_color_space),
              TooLittleData(f),         f.request ? 1 : OrientationOf(f.cinfo)};
  if (f.request) Decode(f);
  jpeg_destroy_decompress(&f.cinfo);
}

TJpegOutcome OutcomeOf(const DecoderFrame& f) {
  if (f.cancelled) return {TJpegOutcome::Cancelled};
  if (f.tooManyScans) return {TJpegOutcome::TooManyScans, 0, f.tooManyScans};
  if (f.failed) return {TJpegOutcome::LibraryError, f.err.msg_code, 0, f.message};
  if (f.sizeMismatch) return {TJpegOutcome::SizeMismatch};
  return {};
}

}  // namespace

int JpegScanLimit(int width, int height) {
  const long long pixels = std::max(1LL, static_cast<long long>(width) * height);
  return static_cast<int>(std::clamp(MaxJpegScanPixels / pixels, 1LL, static_cast<long long>(MaxJpegScans)));
}

int JpegTooLittleDataCode() { return JERR_INPUT_EOF; }

std::string JpegMessageText(int code) {
  jpeg_error_mgr err{};
  jpeg_common_struct common{};
  common.err = jpeg_std_error(&err);
  err.msg_code = code;
  char text[JMSG_LENGTH_MAX]{};
  err.format_message(&common, text);
  return text;
}

TJpegOutcome ReadJpegHeader(const std::uint8_t* data, std::size_t size, TJpegHeader& header) {
  DecoderFrame f;
  f.data = data;
  f.size = size;
  Run(f);
  if (!f.failed) header = f.header;
  return OutcomeOf(f);
}

// After a read that gave no row, the rows not reached are made black; after
// a failure or a mismatch too, unless they go to OnRows (whose caller raises
// the failure, and would only throw them away). A cancelled picture is
// thrown away as it is.
TJpegOutcome DecodeJpeg(const TJpegDecodeRequest& request) {
  DecoderFrame f;
  f.data = request.Data;
  f.size = request.Size;
  f.request = &request;
  // Made before the decompressor, which a raised allocation failure would leak.
  if (request.OnRows && !request.Pixels) f.band.resize(std::size_t(std::max(request.Width, 1)) * JpegBandRows);
  Run(f);
  TJpegOutcome outcome = OutcomeOf(f);
  const bool rowsOnly = request.OnRows && !request.Pixels;
  if (outcome.Kind == TJpegOutcome::Ok || (!rowsOnly && outcome.Kind != TJpegOutcome::Cancelled)) {
    BlackenRowsFrom(request, f.band, f.rowsDone);
  }
  return outcome;
}
