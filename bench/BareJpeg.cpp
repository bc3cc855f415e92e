#include "BareJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <stdexcept>

#include <jpeglib.h>

namespace {

struct ErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};

[[noreturn]] void ErrorExit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<ErrorManager*>(cinfo->err)->jump, 1);
}
void Silent(j_common_ptr, int) {}

struct TFileBytes {
  std::unique_ptr<std::uint8_t[]> Data;
  std::size_t Size = 0;
};

// Uninitialised memory, as a plain read into a buffer would use.
TFileBytes ReadWholeFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) throw std::runtime_error("cannot open " + path);
  TFileBytes bytes;
  if (std::fseek(f, 0, SEEK_END) == 0) {
    const long size = std::ftell(f);
    std::rewind(f);
    if (size > 0) {
      bytes.Data.reset(new std::uint8_t[std::size_t(size)]);
      bytes.Size = std::fread(bytes.Data.get(), 1, std::size_t(size), f);
    }
  }
  std::fclose(f);
  if (bytes.Size == 0) throw std::runtime_error("cannot read " + path);
  return bytes;
}

void ChooseOutput(jpeg_decompress_struct& cinfo, TBareOutput output) {
  cinfo.scale_num = 1;
  cinfo.scale_denom = 1;
  cinfo.do_block_smoothing = TRUE;
  cinfo.dct_method = JDCT_ISLOW;
  if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
    cinfo.out_color_space = JCS_CMYK;
  } else if (cinfo.jpeg_color_space == JCS_GRAYSCALE && output == TBareOutput::LikeSupply) {
    cinfo.quantize_colors = TRUE;
    cinfo.desired_number_of_colors = 236;
    cinfo.two_pass_quantize = TRUE;
    cinfo.dither_mode = JDITHER_FS;
  } else {
    cinfo.out_color_space = JCS_RGB;
  }
}

void ReadAllRows(jpeg_decompress_struct& cinfo, TRawPicture& picture) {
  const std::size_t stride = std::size_t(cinfo.output_width) * std::size_t(cinfo.output_components);
  picture.Width = int(cinfo.output_width);
  picture.Height = int(cinfo.output_height);
  picture.Components = cinfo.output_components;
  picture.Rows.reset(new std::uint8_t[stride * cinfo.output_height]);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = picture.Rows.get() + stride * cinfo.output_scanline;
    if (jpeg_read_scanlines(&cinfo, &row, 1) != 1) break;
  }
}

}  // namespace

// Only trivially destructible objects live between setjmp and longjmp; the
// picture's rows are owned by the caller's object, which outlives both.
TRawPicture BareDecode(const std::string& path, TBareOutput output) {
  const TFileBytes bytes = ReadWholeFile(path);
  TRawPicture picture;
  jpeg_decompress_struct cinfo{};
  ErrorManager err{};
  cinfo.err = jpeg_std_error(&err.pub);
  err.pub.error_exit = ErrorExit;
  err.pub.emit_message = Silent;
  if (setjmp(err.jump)) {
    jpeg_destroy_decompress(&cinfo);
    throw std::runtime_error("libjpeg refuses " + path);
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, bytes.Data.get(), static_cast<unsigned long>(bytes.Size));
  jpeg_read_header(&cinfo, TRUE);
  ChooseOutput(cinfo, output);
  jpeg_start_decompress(&cinfo);
  ReadAllRows(cinfo, picture);
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return picture;
}

void BareDecodeAll(const std::vector<std::string>& paths) {
  for (const std::string& path : paths) BareDecode(path);
}
