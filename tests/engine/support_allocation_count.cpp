#include "tests/engine/support_allocation_count.h"

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

namespace genshoku::test_support {

namespace {

// Every block carries its size in front, so that the count can follow the frees too.
constexpr size_t kHeader = alignof(std::max_align_t);

std::atomic<bool> counting{false};
std::atomic<int64_t> held{0};
std::atomic<int64_t> peak{0};

void* Take(size_t size) {
  void* block = std::malloc(size + kHeader);
  if (block == nullptr) throw std::bad_alloc();
  *static_cast<size_t*>(block) = size;
  if (counting.load(std::memory_order_relaxed)) {
    const int64_t now = held.fetch_add(static_cast<int64_t>(size)) + static_cast<int64_t>(size);
    int64_t seen = peak.load();
    while (now > seen && !peak.compare_exchange_weak(seen, now)) {
    }
  }
  return static_cast<char*>(block) + kHeader;
}

void Give(void* pointer) {
  if (pointer == nullptr) return;
  void* block = static_cast<char*>(pointer) - kHeader;
  // Blocks taken before the count began lower the count below its start; that only makes
  // the peak a bound from above.
  if (counting.load(std::memory_order_relaxed)) {
    held.fetch_sub(static_cast<int64_t>(*static_cast<size_t*>(block)));
  }
  std::free(block);
}

}  // namespace

AllocationCount::AllocationCount() {
  held = 0;
  peak = 0;
  counting = true;
}

AllocationCount::~AllocationCount() { counting = false; }

int64_t AllocationCount::PeakBytes() const { return peak.load(); }

}  // namespace genshoku::test_support

void* operator new(size_t size) { return genshoku::test_support::Take(size); }
void* operator new[](size_t size) { return genshoku::test_support::Take(size); }
void operator delete(void* pointer) noexcept { genshoku::test_support::Give(pointer); }
void operator delete[](void* pointer) noexcept { genshoku::test_support::Give(pointer); }
void operator delete(void* pointer, size_t) noexcept { genshoku::test_support::Give(pointer); }
void operator delete[](void* pointer, size_t) noexcept { genshoku::test_support::Give(pointer); }
// The sanitizers bring their own forms without exceptions (std::stable_sort takes its
// buffer so): they must come from here too, or the deletes above would free blocks that
// have no header.
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  try {
    return genshoku::test_support::Take(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  try {
    return genshoku::test_support::Take(size);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
void operator delete(void* pointer, const std::nothrow_t&) noexcept {
  genshoku::test_support::Give(pointer);
}
void operator delete[](void* pointer, const std::nothrow_t&) noexcept {
  genshoku::test_support::Give(pointer);
}
