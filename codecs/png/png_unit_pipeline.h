#pragma once
// Prepares the PNG writer's units of rows on two threads: each unit's filtered bytes and
// its LZ77 tokens, made a few units ahead of their writing. The helper thread and the
// writing thread (while the next unit to write is not ready yet) each take the next unit
// nobody has taken, so that tokenizing, the larger part of the work, is shared.
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
  // The next unit in order (there must be one left), once it is made; meanwhile the
  // calling thread makes later units itself. Throws std::bad_alloc when memory runs out.
  const PreparedUnit& Take();
  // The unit taken last is no longer needed; its slot may receive a later unit.
  void Release();

 private:
  // Unit i lives in slot i % kSlots. Three slots: one for the unit being written, and one
  // each for the units the two threads make meanwhile, which bounds the extra memory to
  // two units and their tokens.
  static constexpr int kSlots = 3;

  void MakeUnits();
  // Whether a unit is left that nobody has taken and whose slot is free; mutex_ held.
  bool CanClaim() const;
  // Fills the slot of unit `index`, outside the lock, and marks it ready.
  void Prepare(int64_t index);

  const uint8_t* rows_;
  int64_t height_;
  int64_t bytesPerRow_;
  int64_t rowsPerUnit_;
  int64_t unitCount_;

  // Guarded by mutex_. A slot belongs to the thread that claimed its unit until it is
  // marked ready, and to the writer from then until it is released.
  int64_t nextToTake_ = 0;   // units before it are released
  int64_t nextToClaim_ = 0;  // units before it are being made or are made
  PreparedUnit slots_[kSlots];
  bool ready_[kSlots] = {};
  bool stop_ = false;
  bool failed_ = false;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::thread helper_;
};

}  // namespace genshoku::png
