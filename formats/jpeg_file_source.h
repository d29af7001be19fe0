#pragma once
// A libjpeg data source over an open file that delivers at most a given number of bytes:
// past that bound, as at the end of the file, the library is told the data ended (it
// warns and sees an end-of-image marker). The bound is raised once the header tells the
// picture's size, so that a file followed by gigabytes of anything is not read to its end
// while the library looks for a marker.

#include <cstdint>
#include <cstdio>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>

namespace genshoku {

// Installs the source on `info`; the file stays owned by the caller and must outlive the
// decompression.
void UseBoundedFileSource(j_decompress_ptr info, std::FILE* file, uint64_t mostBytes);

// Raises (or lowers) the bound of the source UseBoundedFileSource installed.
void SetFileSourceBound(j_decompress_ptr info, uint64_t mostBytes);

}  // namespace genshoku
