#include "formats/jpeg_file_source.h"

#include <jerror.h>

#include <algorithm>

namespace genshoku {

namespace {

constexpr size_t kBufferSize = 64 * 1024;

struct BoundedFileSource {
  jpeg_source_mgr base;  // first, so that the library's pointer is this record's
  std::FILE* file;
  uint64_t delivered;
  uint64_t mostBytes;
  JOCTET buffer[kBufferSize];
};

BoundedFileSource* SourceOf(j_decompress_ptr info) {
  return reinterpret_cast<BoundedFileSource*>(info->src);
}

void Start(j_decompress_ptr) {}
void Finish(j_decompress_ptr) {}

boolean Fill(j_decompress_ptr info) {
  BoundedFileSource* source = SourceOf(info);
  size_t arrived = 0;
  if (source->delivered < source->mostBytes) {
    const auto wanted =
        static_cast<size_t>(std::min<uint64_t>(kBufferSize, source->mostBytes - source->delivered));
    arrived = std::fread(source->buffer, 1, wanted, source->file);
  }
  if (arrived == 0) {
    // As libjpeg's own sources do at the end of a file: a warning and an end marker.
    WARNMS(info, JWRN_JPEG_EOF);
    source->buffer[0] = 0xFF;
    source->buffer[1] = JPEG_EOI;
    arrived = 2;
  } else {
    source->delivered += arrived;
  }
  source->base.next_input_byte = source->buffer;
  source->base.bytes_in_buffer = arrived;
  return TRUE;
}

void Skip(j_decompress_ptr info, long count) {
  BoundedFileSource* source = SourceOf(info);
  while (count > static_cast<long>(source->base.bytes_in_buffer)) {
    count -= static_cast<long>(source->base.bytes_in_buffer);
    Fill(info);
  }
  if (count > 0) {
    source->base.next_input_byte += count;
    source->base.bytes_in_buffer -= static_cast<size_t>(count);
  }
}

}  // namespace

void UseBoundedFileSource(j_decompress_ptr info, std::FILE* file, uint64_t mostBytes) {
  auto* source = static_cast<BoundedFileSource*>((*info->mem->alloc_small)(
      reinterpret_cast<j_common_ptr>(info), JPOOL_PERMANENT, sizeof(BoundedFileSource)));
  source->base.init_source = Start;
  source->base.fill_input_buffer = Fill;
  source->base.skip_input_data = Skip;
  source->base.resync_to_restart = jpeg_resync_to_restart;
  source->base.term_source = Finish;
  source->base.next_input_byte = nullptr;
  source->base.bytes_in_buffer = 0;
  source->file = file;
  source->delivered = 0;
  source->mostBytes = mostBytes;
  info->src = &source->base;
}

void SetFileSourceBound(j_decompress_ptr info, uint64_t mostBytes) {
  SourceOf(info)->mostBytes = mostBytes;
}

}  // namespace genshoku
