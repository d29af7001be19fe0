#include "codecs/png/png_unit_pipeline.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>

namespace genshoku::png {

void FillUnitBytes(const uint8_t* rows, int64_t firstRow, int64_t lines, int64_t bytesPerRow,
                   std::vector<uint8_t>& unit) {
  const int64_t rowSize = bytesPerRow + 1;
  unit.resize(static_cast<size_t>(lines * rowSize));
  for (int64_t line = 0; line < lines; ++line) {
    uint8_t* target = unit.data() + line * rowSize;
    target[0] = 0;  // filter type None
    std::memcpy(target + 1, rows + (firstRow + line) * bytesPerRow,
                static_cast<size_t>(bytesPerRow));
  }
}

PngUnitPipeline::PngUnitPipeline(const uint8_t* rows, int64_t height, int64_t bytesPerRow,
                                 int64_t rowsPerUnit)
    : rows_(rows),
      height_(height),
      bytesPerRow_(bytesPerRow),
      rowsPerUnit_(rowsPerUnit),
      unitCount_((height + rowsPerUnit - 1) / rowsPerUnit) {}

PngUnitPipeline::~PngUnitPipeline() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (helper_.joinable()) helper_.join();
}

bool PngUnitPipeline::Start() {
  try {
    helper_ = std::thread([this] { MakeUnits(); });
  } catch (const std::system_error&) {
    return false;
  }
  return true;
}

bool PngUnitPipeline::CanClaim() const {
  return nextToClaim_ < unitCount_ && nextToClaim_ < nextToTake_ + kSlots;
}

void PngUnitPipeline::Prepare(int64_t index) {
  PreparedUnit& unit = slots_[index % kSlots];
  const int64_t firstRow = index * rowsPerUnit_;
  const int64_t lines = std::min(rowsPerUnit_, height_ - firstRow);
  FillUnitBytes(rows_, firstRow, lines, bytesPerRow_, unit.bytes);
  Lz77Tokenize(unit.bytes.data(), unit.bytes.size(), unit.tokens);
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[index % kSlots] = true;
  }
  changed_.notify_all();
}

void PngUnitPipeline::MakeUnits() {
  for (;;) {
    int64_t index = 0;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [&] { return stop_ || nextToClaim_ >= unitCount_ || CanClaim(); });
      if (stop_ || nextToClaim_ >= unitCount_) return;
      index = nextToClaim_++;
    }
    try {
      Prepare(index);
    } catch (const std::bad_alloc&) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        failed_ = true;
      }
      changed_.notify_all();
      return;
    }
  }
}

const PreparedUnit& PngUnitPipeline::Take() {
  const int slot = static_cast<int>(nextToTake_ % kSlots);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    if (ready_[slot]) return slots_[slot];
    if (failed_) throw std::bad_alloc();
    if (CanClaim()) {
      // The next unit is the helper's and not ready yet: make a later one meanwhile.
      const int64_t index = nextToClaim_++;
      lock.unlock();
      Prepare(index);
      lock.lock();
      continue;
    }
    changed_.wait(lock);
  }
}

void PngUnitPipeline::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_[nextToTake_ % kSlots] = false;
    ++nextToTake_;
  }
  changed_.notify_all();
}

}  // namespace genshoku::png
