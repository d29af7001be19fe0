// The compact PNG writer against zlib on the same palette pictures: for every palette
// PNG named on the command line, its indices and palette are read (with libpng), written
// by the compact writer and by zlib at level 9 with the best of the five filters and the
// adaptive choice (as optipng -o2 or Pillow's optimize=True find it) and at level 6 with
// the filter best at 9, and the
// whole-file sizes and encoding times are printed. Every compact file is decoded again
// with libpng and compared pixel by pixel.
//
//   png_compact_compare [--runs N] [--effort E] [--quick] [--no-zlib] [--save DIR]
//                       [--smallest-sum | --unfiltered | --filter 0..5]
//                       [--order use|luminance|given] FILE.png...
//
// Times are medians of N runs (default 5) of each encoder, run alternately: the compact
// writer with one and two threads, zlib 9 and zlib 6 with filter none (the winning
// filter for these pictures). --quick skips the filter search (filter none only);
// --smallest-sum, --unfiltered and --order choose the compact writer's row filter and
// palette order (default: its own choice of filter, and luminance order). --no-zlib
// leaves zlib out (its columns show 0), for quick comparisons of the compact writer alone;
// --save keeps each compact file in DIR under the name of its source.

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "codecs/png/compact_png_writer.h"
#include "codecs/png/png_chunk_writer.h"

namespace {

using genshoku::Rgba;
namespace png = genshoku::png;

struct PalettePicture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> indices;
  std::vector<Rgba> palette;
};

bool ReadPalettePng(const char* path, PalettePicture& picture) {
  FILE* file = std::fopen(path, "rb");
  if (file == nullptr) return false;
  png_structp reader = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(reader);
  if (setjmp(png_jmpbuf(reader))) {
    png_destroy_read_struct(&reader, &info, nullptr);
    std::fclose(file);
    return false;
  }
  png_init_io(reader, file);
  png_read_info(reader, info);
  if (png_get_color_type(reader, info) != PNG_COLOR_TYPE_PALETTE) {
    png_destroy_read_struct(&reader, &info, nullptr);
    std::fclose(file);
    return false;
  }
  picture.width = static_cast<int>(png_get_image_width(reader, info));
  picture.height = static_cast<int>(png_get_image_height(reader, info));
  png_colorp colours = nullptr;
  int colourCount = 0;
  png_get_PLTE(reader, info, &colours, &colourCount);
  png_bytep alphas = nullptr;
  int alphaCount = 0;
  if (png_get_valid(reader, info, PNG_INFO_tRNS)) {
    png_get_tRNS(reader, info, &alphas, &alphaCount, nullptr);
  }
  picture.palette.resize(static_cast<size_t>(colourCount));
  for (int i = 0; i < colourCount; ++i) {
    picture.palette[i] = Rgba{colours[i].red, colours[i].green, colours[i].blue,
                              static_cast<uint8_t>(i < alphaCount ? alphas[i] : 255)};
  }
  png_set_packing(reader);
  png_read_update_info(reader, info);
  picture.indices.resize(static_cast<size_t>(picture.width) * picture.height);
  std::vector<png_bytep> rows(static_cast<size_t>(picture.height));
  for (int y = 0; y < picture.height; ++y) {
    rows[y] = picture.indices.data() + static_cast<size_t>(y) * picture.width;
  }
  png_read_image(reader, rows.data());
  png_destroy_read_struct(&reader, &info, nullptr);
  std::fclose(file);
  return true;
}

// The pixels of a PNG file in memory as RGBA, through libpng's simplified API.
bool DecodeRgba(const std::vector<uint8_t>& file, std::vector<uint8_t>& rgba, int& w, int& h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, file.data(), file.size())) return false;
  image.format = PNG_FORMAT_RGBA;
  rgba.resize(PNG_IMAGE_SIZE(image));
  w = static_cast<int>(image.width);
  h = static_cast<int>(image.height);
  return png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr) != 0;
}

bool SamePixels(const PalettePicture& picture, const std::vector<uint8_t>& file) {
  std::vector<uint8_t> rgba;
  int w = 0;
  int h = 0;
  if (!DecodeRgba(file, rgba, w, h) || w != picture.width || h != picture.height) return false;
  for (size_t i = 0; i < picture.indices.size(); ++i) {
    const Rgba& colour = picture.palette[picture.indices[i]];
    const uint8_t* got = rgba.data() + 4 * i;
    // libpng's simplified API premultiplies nothing for 8-bit RGBA output, but fully
    // transparent pixels may come out with any colour: compare alpha only there.
    if (got[3] != colour.alpha) return false;
    if (colour.alpha != 0 &&
        (got[0] != colour.red || got[1] != colour.green || got[2] != colour.blue)) {
      return false;
    }
  }
  return true;
}

int Paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a);
  const int pb = std::abs(p - b);
  const int pc = std::abs(p - c);
  return (pa <= pb && pa <= pc) ? a : (pb <= pc ? b : c);
}

// Packed rows at `depth` with filter `mode` (0..4 fixed, 5 the adaptive smallest sum).
std::vector<uint8_t> FilteredRows(const PalettePicture& picture, int depth, int mode) {
  const size_t rowBytes = (static_cast<size_t>(picture.width) * depth + 7) / 8;
  std::vector<uint8_t> packed(rowBytes * picture.height, 0);
  const int perByte = 8 / depth;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      const uint8_t index = picture.indices[static_cast<size_t>(y) * picture.width + x];
      packed[y * rowBytes + x / perByte] |=
          static_cast<uint8_t>(index << (8 - depth * (1 + x % perByte)));
    }
  }
  std::vector<uint8_t> out;
  out.reserve((rowBytes + 1) * picture.height);
  std::vector<uint8_t> zero(rowBytes, 0);
  std::vector<uint8_t> candidate(rowBytes);
  std::vector<uint8_t> best(rowBytes);
  for (int y = 0; y < picture.height; ++y) {
    const uint8_t* row = packed.data() + y * rowBytes;
    const uint8_t* up = y > 0 ? row - rowBytes : zero.data();
    long bestSum = -1;
    int bestType = 0;
    for (int type = 0; type < 5; ++type) {
      if (mode < 5 && type != mode) continue;
      for (size_t x = 0; x < rowBytes; ++x) {
        const int a = x > 0 ? row[x - 1] : 0;
        const int b = up[x];
        const int c = x > 0 ? up[x - 1] : 0;
        const int predicted = type == 0   ? 0
                              : type == 1 ? a
                              : type == 2 ? b
                              : type == 3 ? (a + b) / 2
                                          : Paeth(a, b, c);
        candidate[x] = static_cast<uint8_t>(row[x] - predicted);
      }
      long sum = 0;
      for (uint8_t v : candidate) sum += v < 128 ? v : 256 - v;
      if (bestSum < 0 || sum < bestSum) {
        bestSum = sum;
        bestType = type;
        best = candidate;
      }
    }
    out.push_back(static_cast<uint8_t>(bestType));
    out.insert(out.end(), best.begin(), best.end());
  }
  return out;
}

std::vector<uint8_t> ZlibCompress(const std::vector<uint8_t>& data, int level) {
  z_stream stream{};
  deflateInit2(&stream, level, Z_DEFLATED, 15, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&stream, data.size()));
  stream.next_in = const_cast<Bytef*>(data.data());
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = out.data();
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

// Bytes of a PNG file around a zlib stream of `idat` bytes: signature, IHDR, PLTE, tRNS
// (up to the last entry that is not opaque), IDAT and IEND.
size_t FileSizeAround(const PalettePicture& picture, size_t idat) {
  size_t alphaCount = 0;
  for (size_t i = 0; i < picture.palette.size(); ++i) {
    if (picture.palette[i].alpha != 255) alphaCount = i + 1;
  }
  return 8 + 25 + 12 + 3 * picture.palette.size() + (alphaCount ? 12 + alphaCount : 0) + 12 + idat +
         12;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Processor time of the whole process (every thread), which the machine's other load
// disturbs less than the wall clock.
double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const size_t n = values.size();
  return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  int effort = 2;
  bool quick = false;
  bool noZlib = false;
  std::string saveDir;  // where the compact files are kept (none: not kept)
  png::CompactRowFilter rowFilter = png::CompactRowFilter::kAuto;
  png::CompactPaletteOrder order = png::CompactPaletteOrder::kByLuminance;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--runs" && i + 1 < argc) {
      runs = std::max(1, std::atoi(argv[++i]));
    } else if (argument == "--effort" && i + 1 < argc) {
      effort = std::atoi(argv[++i]);
    } else if (argument == "--quick") {
      quick = true;
    } else if (argument == "--save" && i + 1 < argc) {
      saveDir = argv[++i];
    } else if (argument == "--no-zlib") {
      noZlib = true;
    } else if (argument == "--smallest-sum") {
      rowFilter = png::CompactRowFilter::kSmallestSum;
    } else if (argument == "--unfiltered") {
      rowFilter = png::CompactRowFilter::kNone;
    } else if (argument == "--filter" && i + 1 < argc) {
      // 0..4: one filter type for every row; 5: the smallest sum per row.
      rowFilter = static_cast<png::CompactRowFilter>(std::clamp(std::atoi(argv[++i]), 0, 5));
    } else if (argument == "--order" && i + 1 < argc) {
      const std::string name = argv[++i];
      order = name == "luminance" ? png::CompactPaletteOrder::kByLuminance
              : name == "given"   ? png::CompactPaletteOrder::kAsGiven
                                  : png::CompactPaletteOrder::kByUse;
    } else {
      files.push_back(argument);
    }
  }
  if (files.empty()) {
    std::fprintf(stderr,
                 "usage: png_compact_compare [--runs N] [--effort E] [--quick] [--smallest-sum | "
                 "--unfiltered | --filter 0..5] "
                 "[--order use|luminance|given] FILE.png...\n");
    return 1;
  }
  std::printf("%-22s %10s %10s %6s %10s %6s %7s | %8s %8s %8s %8s | %8s %8s %8s\n", "file",
              "zlib-6", "zlib-9", "filter", "compact", "ratio", "decoded", "compact1", "compact2",
              "zlib-9", "zlib-6", "cpu-c2", "cpu-z9", "cpu-c1");
  int failures = 0;
  for (const std::string& path : files) {
    PalettePicture picture;
    if (!ReadPalettePng(path.c_str(), picture)) {
      std::fprintf(stderr, "%s: not a palette PNG libpng can read\n", path.c_str());
      ++failures;
      continue;
    }
    const int depth = png::PaletteBitDepth(picture.palette.size());
    size_t best6 = 0;
    size_t best9 = noZlib ? 0 : SIZE_MAX;
    int bestFilter = 0;
    for (int mode = 0; mode < (noZlib ? 0 : quick ? 1 : 6); ++mode) {
      const size_t size9 = ZlibCompress(FilteredRows(picture, depth, mode), 9).size();
      if (size9 < best9) {
        best9 = size9;
        bestFilter = mode;
      }
    }
    if (!noZlib) best6 = ZlibCompress(FilteredRows(picture, depth, bestFilter), 6).size();
    const png::CompactPngImage image{picture.width, picture.height, picture.indices,
                                     picture.palette};
    std::vector<uint8_t> compact;
    std::vector<double> oneThread, twoThreads, zlib9, zlib6, cpuCompact, cpuCompact1, cpuZlib9;
    const std::vector<uint8_t> unfiltered =
        noZlib ? std::vector<uint8_t>() : FilteredRows(picture, depth, 0);
    for (int run = 0; run < runs; ++run) {
      for (int threads = 1; threads <= 2; ++threads) {
        png::CompactPngOptions options;
        options.threads = threads;
        options.effort = effort;
        options.rowFilter = rowFilter;
        options.paletteOrder = order;
        const auto start = std::chrono::steady_clock::now();
        const double cpuStart = ProcessorSeconds();
        png::EncodeCompactPng(image, options, compact);
        (threads == 1 ? oneThread : twoThreads).push_back(Seconds(start));
        (threads == 2 ? cpuCompact : cpuCompact1).push_back(ProcessorSeconds() - cpuStart);
      }
      if (noZlib) {
        zlib9.push_back(0);
        zlib6.push_back(0);
        cpuZlib9.push_back(0);
        continue;
      }
      auto start = std::chrono::steady_clock::now();
      const double cpuStart = ProcessorSeconds();
      ZlibCompress(unfiltered, 9);
      zlib9.push_back(Seconds(start));
      cpuZlib9.push_back(ProcessorSeconds() - cpuStart);
      start = std::chrono::steady_clock::now();
      ZlibCompress(unfiltered, 6);
      zlib6.push_back(Seconds(start));
    }
    const bool decoded = SamePixels(picture, compact);
    if (!saveDir.empty()) {
      const std::string name = path.substr(path.find_last_of('/') + 1);
      if (FILE* out = std::fopen((saveDir + "/" + name).c_str(), "wb")) {
        std::fwrite(compact.data(), 1, compact.size(), out);
        std::fclose(out);
      }
    }
    if (!decoded) ++failures;
    const size_t file6 = FileSizeAround(picture, best6);
    const size_t file9 = FileSizeAround(picture, best9);
    static const char* kFilterNames[6] = {"none", "sub", "up", "avg", "paeth", "adapt"};
    std::string name = path.substr(path.find_last_of('/') + 1);
    std::printf(
        "%-22s %10zu %10zu %6s %10zu %6.3f %7s | %8.3f %8.3f %8.3f %8.3f | %8.3f %8.3f %8.3f\n",
        name.c_str(), file6, file9, kFilterNames[bestFilter], compact.size(),
        static_cast<double>(compact.size()) / static_cast<double>(std::max<size_t>(file9, 1)),
        decoded ? "same" : "DIFFERS", Median(oneThread), Median(twoThreads), Median(zlib9),
        Median(zlib6), Median(cpuCompact), Median(cpuZlib9), Median(cpuCompact1));
    std::fflush(stdout);
  }
  return failures == 0 ? 0 : 2;
}
