#include "support_jpeg.h"

#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace genshoku::testing {

std::vector<uint8_t> MakeJpeg(int width, int height, const PixelFunction& pixel, JpegKind kind,
                              int quality, uint8_t key) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  const bool cmyk = kind == JpegKind::CmykAdobe || kind == JpegKind::CmykPlain;
  info.input_components = kind == JpegKind::Grey ? 1 : cmyk ? 4 : 3;
  info.in_color_space = kind == JpegKind::Grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
  jpeg_set_defaults(&info);
  jpeg_set_quality(&info, quality, TRUE);
  if (kind == JpegKind::Rgb444) {
    for (int c = 0; c < 3; ++c)
      info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
  }
  if (kind == JpegKind::CmykPlain) info.write_Adobe_marker = FALSE;
  jpeg_start_compress(&info, TRUE);
  std::vector<uint8_t> line(static_cast<size_t>(width) * info.input_components);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const Rgb colour = pixel(x, y);
      if (kind == JpegKind::Grey) {
        line[x] = colour.g;
      } else if (cmyk) {
        line[4 * x] = colour.r;
        line[4 * x + 1] = colour.g;
        line[4 * x + 2] = colour.b;
        line[4 * x + 3] = key;
      } else {
        line[3 * x] = colour.r;
        line[3 * x + 1] = colour.g;
        line[3 * x + 2] = colour.b;
      }
    }
    JSAMPROW row = line.data();
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  std::vector<uint8_t> file(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return file;
}

}  // namespace genshoku::testing
