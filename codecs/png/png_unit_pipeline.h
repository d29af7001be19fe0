#pragma once
// Prepares the PNG writer's units of rows on a helper thread: each unit's filtered bytes
// and its LZ77 tokens, made in order one or two units ahead of the thread that writes them.
//
// A unit's tokens depend on the unit's bytes alone (the tokenizer starts every block from
// empty chains), so making them ahead gives the same tokens, and the writing thread builds
// the same trees, bits and lines from them as when it made them itself.

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

#include "codecs/png/lz77_tokenizer.h"

namespace genshoku::png {

// One unit of rows: filter byte 0 before every row, and the tokens of those bytes.
struct PreparedUnit {
  std::vector<uint8_t> bytes;
  Lz77Tokens tokens;
};

// Copies rows firstRow .. firstRow + lines - 1 into `unit`, each after its filter byte 0.
void FillUnitBytes(const uint8_t* rows, int64_t firstRow, int64_t lines, int64_t bytesPerRow,
                   std::vector<uint8_t>& unit);

class PngUnitPipeline {
 public:
  // The units of `rowsPerUnit` rows (the last one possibly shorter) of `height` rows.
  PngUnitPipeline(const uint8_t* rows, int64_t height, int64_t bytesPerRow, int64_t rowsPerUnit);
  // Stops the helper (it finishes at most the unit it is making) and waits for it.
  ~PngUnitPipeline();
  PngUnitPipeline(const PngUnitPipeline&) = delete;
  PngUnitPipeline& operator=(const PngUnitPipeline&) = delete;

  // Starts the helper thread; false when the system cannot give one.
  bool Start();
  // The next unit in order, once the helper has made it. Throws std::bad_alloc when the
  // helper ran out of memory before making it.
  const PreparedUnit& Take();
  // The unit taken last is no longer needed; its slot may receive a later unit.
  void Release();

 private:
  // Two slots: the writer works on one while the helper fills the other, which bounds the
  // extra memory to one unit and its tokens.
  static constexpr int kSlots = 2;

  void MakeUnits();

  const uint8_t* rows_;
  int64_t height_;
  int64_t bytesPerRow_;
  int64_t rowsPerUnit_;
  int64_t unitCount_;
  int64_t nextToTake_ = 0;

  // Guarded by mutex_: a slot belongs to the helper while it is not ready, and to the
  // writer from the moment it is seen ready until it is released.
  PreparedUnit slots_[kSlots];
  bool ready_[kSlots] = {};
  bool stop_ = false;
  bool failed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread helper_;
};

}  // namespace genshoku::png
