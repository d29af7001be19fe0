#include "formats/jpeg_reader.h"

#include <sys/stat.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

// libjpeg's header needs FILE and size_t declared first.
#include <jerror.h>
#include <jpeglib.h>

#include "formats/jpeg_file_source.h"

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
  // The first warning that says the data are damaged, in the reader's words.
  std::string damage;
  bool refuseDamaged = false;
  uint64_t fileSize = 0;       // 0 when unknown
  bool boundedSource = false;  // the data come through UseBoundedFileSource
};

// Of the library's warnings, those about the data of the picture: not those about
// metadata, nor stray bytes before the end marker, which come after the last row.
bool WarnsOfDamage(j_common_ptr info) {
  switch (info->err->msg_code) {
    case JWRN_ADOBE_XFORM:
    case JWRN_JFIF_MAJOR:
    case JWRN_BOGUS_ICC: return false;
    case JWRN_EXTRANEOUS_DATA: return info->err->msg_parm.i[1] != JPEG_EOI;
    default: return true;
  }
}

std::string DamageText(j_common_ptr info) {
  // The file, or a scan's data, ended early: the rows after come out grey.
  if (info->err->msg_code == JWRN_JPEG_EOF || info->err->msg_code == JWRN_HIT_MARKER) {
    return "the data end before the last row";
  }
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  return std::string("damaged data (") + message + ")";
}

[[noreturn]] void OnFatalError(j_common_ptr info) {
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  manager->diagnostics->Err("%s: %s\n", manager->name, message);
  std::longjmp(manager->jump, 1);
}

void OnMessage(j_common_ptr info, int level) {
  if (level >= 0) return;  // trace messages
  auto* manager = reinterpret_cast<ErrorManager*>(info->err);
  if (info->err->num_warnings == 0) (*info->err->format_message)(info, manager->firstWarning);
  info->err->num_warnings++;
  if (!WarnsOfDamage(info) || !manager->damage.empty()) return;
  manager->damage = DamageText(info);
  // A caller that refuses damage needs no more of the picture.
  if (manager->refuseDamaged) {
    manager->diagnostics->Err("%s: %s\n", manager->name, manager->damage.c_str());
    std::longjmp(manager->jump, 1);
  }
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

// Every block of every component takes at least one bit of Huffman-coded data (in the
// first scan that carries it), and a block covers at most 32 x 32 pixels (sampling factors
// reach 4): a file of fewer bytes than the picture's pixels / 8192 cannot hold it whole.
// Arithmetic coding can take less than a bit a block and is not bounded this way.
constexpr uint64_t kMostPixelsPerHuffmanByte = 1024 * 8;

// What a file may hold before and besides the data of its picture (markers, profiles,
// thumbnails), and the most bytes a sample's coefficients take in any number of scans.
constexpr uint64_t kHeaderBytes = uint64_t{64} << 20;
constexpr uint64_t kMostBytesPerSample = 32;

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
  const uint64_t pixels = uint64_t{info->image_width} * info->image_height;
  if (errors->refuseDamaged && !info->arith_code && errors->fileSize > 0 &&
      pixels > kMostPixelsPerHuffmanByte * errors->fileSize) {
    errors->damage = "the data end before the last row";
    errors->diagnostics->Err("%s: %s\n", errors->name, errors->damage.c_str());
    return false;
  }
  if (errors->boundedSource) {
    SetFileSourceBound(info, kHeaderBytes + kMostBytesPerSample * pixels *
                                                static_cast<uint64_t>(info->num_components));
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

// Step 2: every scan line into the picture, whose memory grows as the rows arrive. The
// end of the file after the last row is not looked for: nothing there changes the picture.
bool ReadRows(jpeg_decompress_struct* info, ErrorManager* errors, RgbaPicture* picture,
              uint8_t* line) {
  if (setjmp(errors->jump) != 0) return false;
  const bool cmyk = info->out_color_space == JCS_CMYK;
  const bool inverted = info->saw_Adobe_marker;
  const int32_t width = picture->width;
  while (info->output_scanline < info->output_height) {
    JSAMPROW rows[1] = {line};
    if (jpeg_read_scanlines(info, rows, 1) != 1) break;
    picture->pixels.resize(picture->pixels.size() + static_cast<size_t>(width));
    Rgba* out = &*(picture->pixels.end() - width);
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
    picture.emplace();
    picture->width = static_cast<int32_t>(info.output_width);
    picture->height = static_cast<int32_t>(info.output_height);
    // Address space only: the pages are touched row by row.
    picture->pixels.reserve(picture->PixelCount());
    line.resize(static_cast<size_t>(info.output_width) * info.output_components);
  } catch (const std::bad_alloc&) {
    errors.diagnostics->Err("%s: not enough memory for the picture\n", errors.name);
    return std::nullopt;
  }
  if (!ReadRows(&info, &errors, &*picture, line.data())) return std::nullopt;
  picture->pixels.resize(picture->PixelCount());
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

std::optional<RgbaPicture> ReadJpegFile(const std::string& path, Diagnostics& diagnostics,
                                        const ReadOptions& options, DamageNote* damage) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) {
    diagnostics.Err("%s: cannot open the file: %s\n", path.c_str(), std::strerror(errno));
    return std::nullopt;
  }
  Decompressor decompressor(path, diagnostics);
  struct stat info;
  if (::fstat(fileno(file.get()), &info) == 0 && S_ISREG(info.st_mode)) {
    decompressor.errors.fileSize = static_cast<uint64_t>(info.st_size);
  }
  decompressor.errors.refuseDamaged = options.refuseDamaged;
  decompressor.errors.boundedSource = true;
  UseBoundedFileSource(&decompressor.info, file.get(), kHeaderBytes);
  std::optional<RgbaPicture> picture = Decode(decompressor.info, decompressor.errors);
  if (picture && damage != nullptr) *damage = decompressor.errors.damage;
  return picture;
}

namespace {

// Nothing with a destructor lives in this frame: the library may jump back into it.
bool ReadHeaderOnly(jpeg_decompress_struct* info, ErrorManager* errors) {
  if (setjmp(errors->jump) != 0) return false;
  jpeg_read_header(info, TRUE);
  return true;
}

}  // namespace

std::optional<JpegSize> ReadJpegSize(const std::string& path) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return std::nullopt;
  Decompressor decompressor(path, SilentDiagnostics());
  UseBoundedFileSource(&decompressor.info, file.get(), kHeaderBytes);
  if (!ReadHeaderOnly(&decompressor.info, &decompressor.errors)) return std::nullopt;
  return JpegSize{decompressor.info.image_width, decompressor.info.image_height};
}

std::optional<RgbaPicture> DecodeJpeg(const uint8_t* data, size_t size, const std::string& name,
                                      Diagnostics& diagnostics, const ReadOptions& options,
                                      DamageNote* damage) {
  if (size == 0) {
    diagnostics.Err("%s: empty file\n", name.c_str());
    return std::nullopt;
  }
  Decompressor decompressor(name, diagnostics);
  decompressor.errors.fileSize = size;
  decompressor.errors.refuseDamaged = options.refuseDamaged;
  jpeg_mem_src(&decompressor.info, const_cast<uint8_t*>(data), static_cast<unsigned long>(size));
  std::optional<RgbaPicture> picture = Decode(decompressor.info, decompressor.errors);
  if (picture && damage != nullptr) *damage = decompressor.errors.damage;
  return picture;
}

}  // namespace genshoku
