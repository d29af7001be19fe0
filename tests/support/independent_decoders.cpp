#include "independent_decoders.h"

#include <gif_lib.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

namespace genshoku::testsupport {

namespace {

DecodedFile Failed(std::string problem) {
  DecodedFile file;
  file.problem = std::move(problem);
  return file;
}

// Fills `pixels` from the indices and the palette; false if an index has no entry.
bool ColourIndices(DecodedFile& file) {
  file.pixels.clear();
  for (uint8_t index : file.indices) {
    if (index >= file.palette.size()) return false;
    file.pixels.push_back(file.palette[index]);
  }
  return true;
}

// ---- PNG ----

struct PngSource {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t count) {
  auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
  if (source->at + count > source->bytes->size()) png_error(png, "read past the end");
  std::memcpy(out, source->bytes->data() + source->at, count);
  source->at += count;
}

// The header's colour type and bit depth and the palette's alphas, read before any
// transformation (stripping alpha drops tRNS, and the depth reported changes with packing).
bool ReadPngHeaderFacts(const std::vector<uint8_t>& bytes, DecodedFile& file) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngSource source{&bytes};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  png_read_info(png, info);
  file.bitDepth = png_get_bit_depth(png, info);
  file.colourType = png_get_color_type(png, info);
  png_bytep alphas = nullptr;
  int alphaCount = 0;
  png_color_16p unused = nullptr;
  if (file.colourType == PNG_COLOR_TYPE_PALETTE &&
      png_get_tRNS(png, info, &alphas, &alphaCount, &unused) != 0 && alphas != nullptr) {
    file.paletteAlphas.assign(alphas, alphas + alphaCount);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

DecodedFile DecodePngWithLibpng(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return Failed("no PNG signature");
  DecodedFile file;
  if (!ReadPngHeaderFacts(bytes, file)) return Failed("libpng refused the file's header");
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  PngSource source{&bytes};
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return Failed("libpng refused the file");
  }
  png_set_read_fn(png, &source, ReadFromMemory);
  // Palette files keep their indices, one byte each whatever the bit depth; every other
  // kind becomes 8-bit RGB.
  png_read_png(png, info,
               PNG_TRANSFORM_PACKING | PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_STRIP_ALPHA, nullptr);
  file.width = static_cast<int>(png_get_image_width(png, info));
  file.height = static_cast<int>(png_get_image_height(png, info));
  const int colourType = png_get_color_type(png, info);
  png_bytepp rows = png_get_rows(png, info);
  if (colourType == PNG_COLOR_TYPE_PALETTE) {
    png_colorp palette = nullptr;
    int count = 0;
    png_get_PLTE(png, info, &palette, &count);
    for (int i = 0; i < count; ++i)
      file.palette.push_back({palette[i].red, palette[i].green, palette[i].blue});
    file.indexed = true;
    for (int y = 0; y < file.height; ++y) {
      file.indices.insert(file.indices.end(), rows[y], rows[y] + file.width);
    }
    file.ok = ColourIndices(file);
    if (!file.ok) file.problem = "an index past the palette";
  } else if (colourType == PNG_COLOR_TYPE_RGB) {
    for (int y = 0; y < file.height; ++y) {
      for (int x = 0; x < file.width; ++x) {
        file.pixels.push_back({rows[y][3 * x], rows[y][3 * x + 1], rows[y][3 * x + 2]});
      }
    }
    file.ok = true;
  } else {
    file.problem = "colour type " + std::to_string(colourType);
  }
  png_destroy_read_struct(&png, &info, nullptr);
  return file;
}

// ---- GIF ----

namespace {

struct GifSource {
  const std::vector<uint8_t>* bytes;
  size_t at = 0;
};

int ReadGifBytes(GifFileType* gif, GifByteType* out, int count) {
  auto* source = static_cast<GifSource*>(gif->UserData);
  const size_t left = source->bytes->size() - source->at;
  const size_t taken = std::min(left, static_cast<size_t>(count));
  std::memcpy(out, source->bytes->data() + source->at, taken);
  source->at += taken;
  return static_cast<int>(taken);
}

}  // namespace

DecodedFile DecodeGifWithGiflib(const std::vector<uint8_t>& bytes) {
  GifSource source{&bytes};
  int error = 0;
  GifFileType* gif = DGifOpen(&source, ReadGifBytes, &error);
  if (gif == nullptr) return Failed("giflib cannot open the file");
  DecodedFile file;
  if (DGifSlurp(gif) != GIF_OK || gif->ImageCount < 1) {
    DGifCloseFile(gif, &error);
    return Failed("giflib cannot read the image");
  }
  const SavedImage& image = gif->SavedImages[0];
  const GifImageDesc& desc = image.ImageDesc;
  const ColorMapObject* map = desc.ColorMap != nullptr ? desc.ColorMap : gif->SColorMap;
  if (desc.Left != 0 || desc.Top != 0 || desc.Width != gif->SWidth || desc.Height != gif->SHeight ||
      map == nullptr) {
    DGifCloseFile(gif, &error);
    return Failed("the image does not cover the screen, or has no colour map");
  }
  file.width = desc.Width;
  file.height = desc.Height;
  GraphicsControlBlock control;
  if (DGifSavedExtensionToGCB(gif, 0, &control) == GIF_OK) {
    file.transparentIndex = control.TransparentColor;
  }
  for (int i = 0; i < map->ColorCount; ++i) {
    file.palette.push_back({map->Colors[i].Red, map->Colors[i].Green, map->Colors[i].Blue});
  }
  file.indexed = true;
  file.indices.resize(static_cast<size_t>(file.width) * file.height);
  // Interlaced images store the rows in four passes.
  std::vector<int> rowOrder;
  if (desc.Interlace) {
    for (const auto& [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}}) {
      for (int y = start; y < file.height; y += step) rowOrder.push_back(y);
    }
  } else {
    for (int y = 0; y < file.height; ++y) rowOrder.push_back(y);
  }
  for (int stored = 0; stored < file.height; ++stored) {
    std::memcpy(&file.indices[static_cast<size_t>(rowOrder[stored]) * file.width],
                image.RasterBits + static_cast<size_t>(stored) * file.width, file.width);
  }
  DGifCloseFile(gif, &error);
  file.ok = ColourIndices(file);
  if (!file.ok) file.problem = "an index past the colour map";
  return file;
}

// ---- BMP ----

namespace {

uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}
uint16_t Le16(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

}  // namespace

DecodedFile DecodeBmp(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 54 || bytes[0] != 'B' || bytes[1] != 'M') return Failed("no BMP signature");
  const uint32_t pixelOffset = Le32(bytes, 10);
  const uint32_t headerSize = Le32(bytes, 14);
  const int32_t width = static_cast<int32_t>(Le32(bytes, 18));
  const int32_t signedHeight = static_cast<int32_t>(Le32(bytes, 22));
  const int bits = Le16(bytes, 28);
  const uint32_t compression = Le32(bytes, 30);
  uint32_t colours = Le32(bytes, 46);
  if (headerSize < 40 || width <= 0 || signedHeight == 0 || compression != 0 ||
      Le16(bytes, 26) != 1) {
    return Failed("not a plain uncompressed BMP file");
  }
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
    return Failed("bit depth " + std::to_string(bits));
  DecodedFile file;
  file.width = width;
  file.height = signedHeight < 0 ? -signedHeight : signedHeight;
  file.bitDepth = bits;
  if (bits <= 8) {
    if (colours == 0) colours = 1u << bits;
    const size_t table = 14 + headerSize;
    if (colours > 256u || table + 4 * colours > pixelOffset) return Failed("colour table overlaps");
    for (uint32_t i = 0; i < colours; ++i) {
      file.palette.push_back(
          {bytes[table + 4 * i + 2], bytes[table + 4 * i + 1], bytes[table + 4 * i]});
    }
    file.indexed = true;
  }
  const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
  if (bytes.size() < pixelOffset + stride * file.height)
    return Failed("rows past the end of the file");
  for (int y = 0; y < file.height; ++y) {
    const int stored = signedHeight < 0 ? y : file.height - 1 - y;
    const uint8_t* row = bytes.data() + pixelOffset + stride * stored;
    for (int x = 0; x < width; ++x) {
      if (bits == 24) {
        file.pixels.push_back({row[3 * x + 2], row[3 * x + 1], row[3 * x]});
        continue;
      }
      const int bitAt = x * bits;
      const int shift = 8 - bits - bitAt % 8;
      file.indices.push_back(static_cast<uint8_t>((row[bitAt / 8] >> shift) & ((1 << bits) - 1)));
    }
  }
  file.ok = !file.indexed || ColourIndices(file);
  if (!file.ok) file.problem = "an index past the colour table";
  return file;
}

DecodedFile DecodeAny(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0) return DecodePngWithLibpng(bytes);
  if (bytes.size() >= 6 && std::memcmp(bytes.data(), "GIF", 3) == 0)
    return DecodeGifWithGiflib(bytes);
  return DecodeBmp(bytes);
}

}  // namespace genshoku::testsupport
