#include "codecs/png/compact_zlib_stream.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>
#include <thread>

#include "codecs/png/adler32.h"

namespace genshoku::png {

namespace {

constexpr size_t kSmallestSegment = size_t{256} << 10;
constexpr size_t kLargestSegment = size_t{1} << 20;
constexpr size_t kSegmentsWanted = 8;

// The shared state of the threads compressing segments: each takes the next segment not
// yet taken, so the order in which they finish does not matter.
class SegmentJobs {
 public:
  SegmentJobs(const uint8_t* data, size_t size, const CompactZlibOptions& options)
      : data_(data), size_(size), options_(options) {
    const size_t segment = CompactSegmentSize(size);
    // An empty input still gets one (empty) segment, which writes the final block.
    starts_.push_back(0);
    for (size_t start = segment; start < size; start += segment) starts_.push_back(start);
    starts_.push_back(size);
    results_.resize(starts_.size() - 1);
  }

  size_t SegmentCount() const { return results_.size(); }
  std::vector<DeflateBitWriter>& results() { return results_; }
  bool failed() const { return outOfMemory_.load(); }
  void Stop() { stopped_.store(true); }
  bool stopped() const { return stopped_.load(); }

  // Compresses segments until none is left, the work is stopped or memory runs out.
  void Work(bool reportProgress) {
    SegmentWorkspace workspace;
    for (;;) {
      if (stopped_.load() || outOfMemory_.load()) return;
      const size_t index = next_.fetch_add(1);
      if (index >= results_.size()) return;
      try {
        CompressSegment(data_, size_, starts_[index], starts_[index + 1],
                        index + 1 == results_.size(), options_.deflate, workspace, results_[index]);
      } catch (const std::bad_alloc&) {
        outOfMemory_.store(true);
        return;
      }
      doneBytes_.fetch_add(starts_[index + 1] - starts_[index]);
      if (reportProgress && options_.progress && !options_.progress(doneBytes_.load(), size_)) {
        Stop();
      }
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  const CompactZlibOptions& options_;
  std::vector<size_t> starts_;
  std::vector<DeflateBitWriter> results_;
  std::atomic<size_t> next_{0};
  std::atomic<size_t> doneBytes_{0};
  std::atomic<bool> stopped_{false};
  std::atomic<bool> outOfMemory_{false};
};

bool UseTwoThreads(int threads, size_t segments) {
  if (segments < 2 || threads == 1) return false;
  if (threads == 0) return std::thread::hardware_concurrency() >= 2;
  return true;
}

}  // namespace

size_t CompactSegmentSize(size_t size) {
  return std::clamp(size / kSegmentsWanted, kSmallestSegment, kLargestSegment);
}

CompactZlibResult BuildCompactZlibStream(const uint8_t* data, size_t size,
                                         const CompactZlibOptions& options,
                                         std::vector<uint8_t>& stream) {
  SegmentJobs jobs(data, size, options);
  std::thread helper;
  if (UseTwoThreads(options.threads, jobs.SegmentCount())) {
    try {
      helper = std::thread([&jobs] { jobs.Work(false); });
    } catch (const std::system_error&) {
      // No second thread to be had: the calling thread does all the segments.
    }
  }
  jobs.Work(true);
  if (helper.joinable()) helper.join();
  if (jobs.failed()) return CompactZlibResult::kOutOfMemory;
  if (jobs.stopped()) return CompactZlibResult::kStopped;
  // The last segment may have been the helper's: the caller hears of the end all the
  // same (the work is done, so the answer no longer matters).
  if (options.progress) options.progress(size, size);

  DeflateBitWriter writer;
  // CMF: deflate with a 32 KB window; FLG: maximum compression, no dictionary, and the
  // check bits that make CMF x 256 + FLG a multiple of 31.
  const uint8_t header[2] = {0x78, 0xDA};
  writer.PutBytes(header, 2);
  for (DeflateBitWriter& segment : jobs.results()) {
    writer.Append(segment);
    segment = DeflateBitWriter();
  }
  writer.AlignToByte();
  uint32_t s1 = 1;
  uint32_t s2 = 0;
  UpdateAdler32(s1, s2, data, size);
  const uint32_t adler = Adler32Value(s1, s2);
  const uint8_t trailer[4] = {static_cast<uint8_t>(adler >> 24), static_cast<uint8_t>(adler >> 16),
                              static_cast<uint8_t>(adler >> 8), static_cast<uint8_t>(adler)};
  writer.PutBytes(trailer, 4);
  stream = writer.TakeBytes();
  return CompactZlibResult::kDone;
}

}  // namespace genshoku::png
