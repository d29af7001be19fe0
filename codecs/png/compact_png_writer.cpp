#include "codecs/png/compact_png_writer.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <system_error>
#include <thread>

#include "codecs/png/compact_filter_choice.h"
#include "codecs/png/compact_search_settings.h"
#include "codecs/png/compact_zlib_stream.h"
#include "codecs/png/png_chunk_writer.h"

namespace genshoku::png {

namespace {

constexpr uint8_t kPaletteColourType = 3;

CompactPngStatus CheckImage(const CompactPngImage& image) {
  if (image.width < 1 || image.height < 1 || image.width > kMaxCompactPngSide ||
      image.height > kMaxCompactPngSide) {
    return CompactPngStatus::kBadSize;
  }
  if (image.width > kMaxCompactPngPixels / image.height) return CompactPngStatus::kTooLarge;
  if (image.indices.size() != static_cast<size_t>(image.width * image.height)) {
    return CompactPngStatus::kIndicesSizeMismatch;
  }
  if (image.palette.empty() || image.palette.size() > 256) return CompactPngStatus::kBadPalette;
  const uint8_t largest = *std::max_element(image.indices.begin(), image.indices.end());
  if (largest >= image.palette.size()) return CompactPngStatus::kIndexOutsidePalette;
  return CompactPngStatus::kOk;
}

// Below this size of rows, the whole picture is compressed with each filter in turn;
// up to kLargeRowsBytes a sample chooses among them all, from there on between unfiltered
// rows and the smallest sum only.
constexpr size_t kFilterTrialBytes = size_t{256} << 10;
// Up to kLargeRowsBytes, the sample also tries the four fixed filters where unfiltered
// rows or the smallest sum compress below this many bits per byte: drawings, ramps and
// patterns, not photos (2.2 to 7 bits), where the four more sample compressions took a
// fifth more time for nothing.
constexpr double kFixedFiltersBelowBitsPerByte = 2;
// Small pictures try these in turn; the four fixed filters last, since they are tried
// only where one of the first two compresses below kSmallFixedFiltersBelowBitsPerByte:
// icons and drawings (one icon's sub filter wins 0.5 % at 3.1 bits), not small photos
// (3.6 bits and more), where the four more trials doubled the time for nothing.
constexpr double kSmallFixedFiltersBelowBitsPerByte = 3.5;
constexpr CompactRowFilter kEveryRowFilter[] = {
    CompactRowFilter::kNone, CompactRowFilter::kSmallestSum, CompactRowFilter::kSub,
    CompactRowFilter::kUp,   CompactRowFilter::kAverage,     CompactRowFilter::kPaeth};
constexpr size_t kFixedFiltersFrom = 2;
static_assert(kFixedFiltersFrom % 2 == 0, "the trials run in pairs");

void AppendHeaderChunks(std::vector<uint8_t>& png, const CompactPngImage& image,
                        const CompactPalette& palette) {
  AppendPngSignature(png);
  uint8_t header[13];
  WriteBigEndian32(header, static_cast<uint32_t>(image.width));
  WriteBigEndian32(header + 4, static_cast<uint32_t>(image.height));
  header[8] = static_cast<uint8_t>(palette.bitDepth);
  header[9] = kPaletteColourType;
  header[10] = 0;  // deflate
  header[11] = 0;  // adaptive filtering
  header[12] = 0;  // not interlaced
  AppendPngChunk(png, "IHDR", header, sizeof header);
  std::vector<uint8_t> colours;
  std::vector<uint8_t> alphas;
  for (size_t i = 0; i < palette.entries.size(); ++i) {
    const Rgba& entry = palette.entries[i];
    colours.insert(colours.end(), {entry.red, entry.green, entry.blue});
    if (i < palette.alphaCount) alphas.push_back(entry.alpha);
  }
  AppendPngChunk(png, "PLTE", colours.data(), colours.size());
  if (!alphas.empty()) AppendPngChunk(png, "tRNS", alphas.data(), alphas.size());
}

// The filter sample is compressed two ways before any row: on large pictures, whose
// sample is large, the two ways run on two threads where the caller allows them.
bool SampleOnTwoThreads(const CompactPngImage& image, int threads) {
  if (threads == 1 || image.width * image.height < static_cast<int64_t>(kSmallRowsBytes)) {
    return false;
  }
  return threads != 0 || std::thread::hardware_concurrency() >= 2;
}

CompactZlibResult CompressRows(const CompactPngImage& image, const CompactPalette& palette,
                               CompactRowFilter filter, const CompactZlibOptions& zlibOptions,
                               std::vector<uint8_t>& stream) {
  const std::vector<uint8_t> rows = BuildFilteredRows(
      image.indices.data(), image.width, image.height, palette.newIndex, palette.bitDepth, filter);
  return BuildCompactZlibStream(rows.data(), rows.size(), zlibOptions, stream);
}

// The rows compressed with `count` (1 or 2) filters, each with its options; the second on
// a helper thread when `twoThreads` (it reports no progress: only the calling thread may).
void CompressTrials(const CompactPngImage& image, const CompactPalette& palette,
                    const CompactRowFilter* filters, size_t count,
                    const CompactZlibOptions* options, bool twoThreads, CompactZlibResult* results,
                    std::vector<uint8_t>* streams) {
  std::thread helper;
  if (count == 2 && twoThreads) {
    CompactZlibOptions quiet = options[1];
    quiet.progress = nullptr;
    try {
      helper = std::thread([&image, &palette, filters, quiet, results, streams] {
        try {
          results[1] = CompressRows(image, palette, filters[1], quiet, streams[1]);
        } catch (const std::bad_alloc&) {
          results[1] = CompactZlibResult::kOutOfMemory;
        }
      });
    } catch (const std::system_error&) {
      // No helper thread: the second trial runs here after the first.
    }
  }
  try {
    results[0] = CompressRows(image, palette, filters[0], options[0], streams[0]);
    if (count == 2 && !helper.joinable()) {
      results[1] = CompressRows(image, palette, filters[1], options[1], streams[1]);
    }
  } catch (...) {
    if (helper.joinable()) helper.join();
    throw;
  }
  if (helper.joinable()) helper.join();
}

// Small pictures: the whole stream with every candidate filter, the smallest kept, and
// the winner's rows compressed once more with a very deep search. The trials run two at
// a time where two threads are allowed; the smallest (the first of equal sizes) wins
// either way.
CompactZlibResult CompressWithEveryFilter(const CompactPngImage& image,
                                          const CompactPalette& palette, size_t rowsBytes,
                                          int effort, const CompactZlibOptions& zlibOptions,
                                          std::vector<uint8_t>& stream) {
  const std::span<const CompactRowFilter> candidates(kEveryRowFilter);
  // The progress runs over the trials and the last, deeper pass (not at the quick effort)
  // as one.
  const bool deeperPass = effort >= 2;
  const size_t steps = candidates.size() + (deeperPass ? 1 : 0);
  const auto optionsForStep = [&zlibOptions, steps](size_t step) {
    CompactZlibOptions stepOptions = zlibOptions;
    if (zlibOptions.progress) {
      stepOptions.progress = [&zlibOptions, step, steps](size_t done, size_t total) {
        return zlibOptions.progress(step * total + done, steps * total);
      };
    }
    return stepOptions;
  };
  const bool twoThreads = zlibOptions.threads == 2 ||
                          (zlibOptions.threads == 0 && std::thread::hardware_concurrency() >= 2);
  std::vector<uint8_t> trials[2];
  std::vector<uint8_t>& trial = trials[0];
  CompactRowFilter best = candidates[0];
  for (size_t k = 0; k < candidates.size(); k += 2) {
    if (k == kFixedFiltersFrom &&
        8.0 * static_cast<double>(stream.size()) >=
            kSmallFixedFiltersBelowBitsPerByte * static_cast<double>(rowsBytes)) {
      break;
    }
    const size_t count = std::min<size_t>(2, candidates.size() - k);
    const CompactZlibOptions stepOptions[2] = {optionsForStep(k), optionsForStep(k + 1)};
    CompactZlibResult results[2] = {CompactZlibResult::kDone, CompactZlibResult::kDone};
    CompressTrials(image, palette, &candidates[k], count, stepOptions, twoThreads, results, trials);
    for (size_t i = 0; i < count; ++i) {
      if (results[i] != CompactZlibResult::kDone) return results[i];
      if (k + i == 0 || trials[i].size() < stream.size()) {
        stream.swap(trials[i]);
        best = candidates[k + i];
      }
    }
  }
  if (!deeperPass) return CompactZlibResult::kDone;
  // The winner once more the thorough way, whatever the rows: too slow to spend on every
  // trial, and it changes sizes, not ranks. On these small pictures it takes 0.5 to 1.2 %
  // off icons and small photos for a few hundredths of a second.
  CompactZlibOptions deepOptions = optionsForStep(steps - 1);
  const double bitsPerByte = 8.0 * static_cast<double>(stream.size()) /
                             static_cast<double>(std::max<size_t>(1, rowsBytes));
  deepOptions.deflate = ThoroughSettings(zlibOptions.deflate, bitsPerByte, rowsBytes);
  const CompactZlibResult result = CompressRows(image, palette, best, deepOptions, trial);
  if (result != CompactZlibResult::kDone) return result;
  if (trial.size() < stream.size()) stream.swap(trial);
  return CompactZlibResult::kDone;
}

// Below kFilterTrialBytes of rows every filter is tried on the whole picture; above, a
// sample decides.
CompactZlibResult CompressWithChosenFilter(const CompactPngImage& image,
                                           const CompactPalette& palette,
                                           const CompactPngOptions& options,
                                           const CompactZlibOptions& zlibOptions,
                                           std::vector<uint8_t>& stream) {
  const size_t rowsBytes =
      (PackedRowBytes(image.width, palette.bitDepth) + 1) * static_cast<size_t>(image.height);
  if (rowsBytes < kFilterTrialBytes) {
    return CompressWithEveryFilter(image, palette, rowsBytes, options.effort, zlibOptions, stream);
  }
  // The filter sample searches as deep as the rows are searched.
  const SampleSearch search{zlibOptions.deflate.matchFinder.chainDepth,
                            zlibOptions.deflate.matchFinder.shortChainDepth};
  const bool everyFilter = rowsBytes < kLargeRowsBytes;
  const bool twoThreads = SampleOnTwoThreads(image, options.threads);
  double bitsPerByte = 8;
  uint64_t winnerBits = 0;
  CompactRowFilter filter = ChooseRowFilter(image.indices.data(), image.width, image.height,
                                            palette.newIndex, palette.bitDepth, twoThreads, search,
                                            kNoneOrSmallestSum, &bitsPerByte, &winnerBits);
  if (everyFilter && bitsPerByte < kFixedFiltersBelowBitsPerByte) {
    // The winner weighs against the fixed filters as it did against the other one; the
    // same sample with the same search, it is not compressed again.
    const CompactRowFilter candidates[] = {filter, CompactRowFilter::kSub, CompactRowFilter::kUp,
                                           CompactRowFilter::kAverage, CompactRowFilter::kPaeth};
    filter = ChooseRowFilter(image.indices.data(), image.width, image.height, palette.newIndex,
                             palette.bitDepth, twoThreads, search, candidates, &bitsPerByte,
                             nullptr, winnerBits);
  }
  CompactZlibOptions chosenOptions = zlibOptions;
  chosenOptions.deflate =
      FinalSettings(zlibOptions.deflate, options.effort, bitsPerByte, rowsBytes);
  return CompressRows(image, palette, filter, chosenOptions, stream);
}

}  // namespace

const char* CompactPngStatusText(CompactPngStatus status) {
  switch (status) {
    case CompactPngStatus::kOk: return "done";
    case CompactPngStatus::kBadSize: return "the picture's width or height is out of range";
    case CompactPngStatus::kTooLarge: return "the picture has too many pixels";
    case CompactPngStatus::kIndicesSizeMismatch:
      return "the number of indices is not width x height";
    case CompactPngStatus::kBadPalette: return "the palette does not have 1 to 256 entries";
    case CompactPngStatus::kIndexOutsidePalette: return "an index lies outside the palette";
    case CompactPngStatus::kOutOfMemory: return "not enough memory";
    case CompactPngStatus::kStopped: return "stopped";
    case CompactPngStatus::kCannotWriteFile: return "the file cannot be written";
  }
  return "unknown status";
}

CompactPngStatus EncodeCompactPng(const CompactPngImage& image, const CompactPngOptions& options,
                                  std::vector<uint8_t>& png) {
  png.clear();
  const CompactPngStatus checked = CheckImage(image);
  if (checked != CompactPngStatus::kOk) return checked;
  try {
    const CompactPalette palette = PlanCompactPalette(image.indices.data(), image.indices.size(),
                                                      image.palette, options.paletteOrder);
    // Filtered or not, the rows take the same bytes: the search settings come first.
    const size_t rowBytes = PackedRowBytes(image.width, palette.bitDepth) + 1;
    CompactZlibOptions zlibOptions;
    zlibOptions.threads = options.threads;
    zlibOptions.deflate =
        SettingsForEffort(options.effort, rowBytes, rowBytes * static_cast<size_t>(image.height));
    if (options.progress) {
      zlibOptions.progress = [&options](size_t done, size_t total) {
        return options.progress(static_cast<double>(done) / static_cast<double>(total));
      };
    }
    std::vector<uint8_t> stream;
    const CompactZlibResult result =
        options.rowFilter == CompactRowFilter::kAuto
            ? CompressWithChosenFilter(image, palette, options, zlibOptions, stream)
            : CompressRows(image, palette, options.rowFilter, zlibOptions, stream);
    switch (result) {
      case CompactZlibResult::kDone: break;
      case CompactZlibResult::kStopped: return CompactPngStatus::kStopped;
      case CompactZlibResult::kOutOfMemory: return CompactPngStatus::kOutOfMemory;
    }
    png.reserve(stream.size() + 1200);
    AppendHeaderChunks(png, image, palette);
    AppendPngChunk(png, "IDAT", stream.data(), stream.size());
    AppendPngChunk(png, "IEND", nullptr, 0);
  } catch (const std::bad_alloc&) {
    png.clear();
    return CompactPngStatus::kOutOfMemory;
  }
  return CompactPngStatus::kOk;
}

}  // namespace genshoku::png
