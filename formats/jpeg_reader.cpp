#include "formats/jpeg_reader.h"

#include <csetjmp>
#include <cstdio>
#include <memory>
#include <vector>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace genshoku {

namespace {

// libjpeg reports fatal errors through a callback that must not return; it jumps back to
// the setjmp of the step that was running instead of ending the process.
struct ErrorManager {
  jpeg_error_mgr base;
  std::jmp_buf jump;
  Diagnostics* diagnostics;
  const char* name;
  // The first warning waits until the picture is complete: a file that fails later is
  // refused with its fatal message alone, in one line.
  char firstWarning[JMSG_LENGTH_MAX];
};

[[noreturn]] void OnFatalError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  manager->diagnostics->Err("%s: %s\n", manager->name, message);
  std::longjmp(manager->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  if (info->err->num_warnings == 0) {
    (*info->err->format_message)(info, reinterpret_cast<ErrorManager*>(info->err)->firstWarning);
  }
  info->err->num_warnings++;
}

void PrintFirstWarning(const ErrorManager& errors) {
  if (errors.base.num_warnings > 0) {
    errors.diagnostics->Err("%s: %s\n", errors.name, errors.firstWarning);
  }
}

// A progressive file may repeat scans without end, and each scan costs a pass over the
// whole picture however few bytes it takes in the file: a file of a few kilobytes could
// keep the reader busy for minutes. Encoders write about ten scans; far more is refused.
constexpr int kMostScans = 100;

// Called by the library between steps of its work, while the scans come in.
void RefuseEndlessScans(j_common_ptr common) {
  if (!common->is_decompressor) return;
  auto* info = reinterpret_cast<j_decompress_ptr>(common);
  if (info->input_scan_number <= kMostScans) return;
  auto* errors = reinterpret_cast<ErrorManager*>(common->err);
  errors->diagnostics->Err("%s: more than %d scans, not a picture this program reads\n",
                           errors->name, kMostScans);
  std::longjmp(errors->jump, 1);
}

// Step 1: header and decompression start. Nothing with a destructor lives in this frame,
// so jumping back into it is safe.
bool StartDecompress(jpeg_decompress_struct* info, ErrorManager* errors) {
  if (setjmp(errors->jump) != 0) return false;
  jpeg_read_header(info, TRUE);
  const bool inkColours = info->jpeg_color_space == JCS_CMYK || info->jpeg_color_space == JCS_YCCK;
  info->out_color_space = inkColours ? JCS_CMYK : JCS_RGB;
  if (!PictureSizeAllowed(info->image_width, info->image_height)) {
    errors->diagnostics->Err("%s: the picture has more than 100,000,000 pixels\n", errors->name);
    return false;
  }
  jpeg_start_decompress(info);
  return true;
}

// One ink channel with the key channel to a light value. Files with an Adobe marker store
// inverted inks (the usual case); others store plain inks.
uint8_t InkToLight(unsigned ink, unsigned key, bool inverted) {
  if (inverted) return static_cast<uint8_t>(ink * key / 255);
  return static_cast<uint8_t>((255 - ink) * (255 - key) / 255);
}

// Step 2: every scan line into the picture.
bool ReadRows(jpeg_decompress_struct* info, ErrorManager* errors, RgbaPicture* picture,
              uint8_t* line) {
  if (setjmp(errors->jump) != 0) return false;
  const bool cmyk = info->out_color_space == JCS_CMYK;
  const bool inverted = info->saw_Adobe_marker;
  const int32_t width = picture->width;
  while (info->output_scanline < info->output_height) {
    const int32_t y = static_cast<int32_t>(info->output_scanline);
    JSAMPROW rows[1] = {line};
    if (jpeg_read_scanlines(info, rows, 1) != 1) break;
    Rgba* out = &picture->At(0, y);
    for (int32_t x = 0; x < width; ++x) {
      if (cmyk) {
        const uint8_t* p = line + 4 * x;
        out[x] = {InkToLight(p[0], p[3], inverted), InkToLight(p[1], p[3], inverted),
                  InkToLight(p[2], p[3], inverted), 255};
      } else {
        const uint8_t* p = line + 3 * x;
        out[x] = {p[0], p[1], p[2], 255};
      }
    }
  }
  jpeg_finish_decompress(info);
  return true;
}

std::optional<RgbaPicture> Decode(jpeg_decompress_struct& info, ErrorManager& errors) {
  if (!StartDecompress(&info, &errors)) return std::nullopt;
  if (info.output_width != info.image_width || info.output_height != info.image_height ||
      (info.output_components != 3 && info.output_components != 4)) {
    errors.diagnostics->Err("%s: unsupported JPEG layout\n", errors.name);
    return std::nullopt;
  }
  std::optional<RgbaPicture> picture;
  std::vector<uint8_t> line;
  try {
    picture.emplace(static_cast<int32_t>(info.output_width),
                    static_cast<int32_t>(info.output_height));
    line.resize(static_cast<size_t>(info.output_width) * info.output_components);
  } catch (const std::bad_alloc&) {
    errors.diagnostics->Err("%s: not enough memory for the picture\n", errors.name);
    return std::nullopt;
  }
  if (!ReadRows(&info, &errors, &*picture, line.data())) return std::nullopt;
  PrintFirstWarning(errors);
  return picture;
}

struct Decompressor {
  jpeg_decompress_struct info;
  ErrorManager errors;
  jpeg_progress_mgr progress;

  Decompressor(const std::string& name, Diagnostics& diagnostics) {
    info.err = jpeg_std_error(&errors.base);
    errors.base.error_exit = OnFatalError;
    errors.base.emit_message = OnMessage;
    errors.diagnostics = &diagnostics;
    errors.name = name.c_str();
    errors.firstWarning[0] = '\0';
    jpeg_create_decompress(&info);
    progress = {};
    progress.progress_monitor = RefuseEndlessScans;
    info.progress = &progress;
  }
  ~Decompressor() { jpeg_destroy_decompress(&info); }
};

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::optional<RgbaPicture> ReadJpegFile(const std::string& path, Diagnostics& diagnostics) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    diagnostics.Err("%s: cannot open the file\n", path.c_str());
    return std::nullopt;
  }
  Decompressor decompressor(path, diagnostics);
  jpeg_stdio_src(&decompressor.info, file.get());
  return Decode(decompressor.info, decompressor.errors);
}

std::optional<RgbaPicture> DecodeJpeg(const uint8_t* data, size_t size, const std::string& name,
                                      Diagnostics& diagnostics) {
  if (size == 0) {
    diagnostics.Err("%s: empty file\n", name.c_str());
    return std::nullopt;
  }
  Decompressor decompressor(name, diagnostics);
  jpeg_mem_src(&decompressor.info, const_cast<uint8_t*>(data), static_cast<unsigned long>(size));
  return Decode(decompressor.info, decompressor.errors);
}

}  // namespace genshoku
