#pragma once
// Counts the bytes the code under test takes with operator new (every std::vector), for
// tests that bound a step's memory by its input rather than by time. The engine tests
// replace the global operator new (support_allocation_count.cpp); only an AllocationCount
// in scope makes it count.

#include <cstdint>

namespace genshoku::test_support {

class AllocationCount {
 public:
  AllocationCount();
  ~AllocationCount();
  AllocationCount(const AllocationCount&) = delete;
  AllocationCount& operator=(const AllocationCount&) = delete;

  // The most bytes held at once since the count began, beyond those held when it began.
  int64_t PeakBytes() const;
};

}  // namespace genshoku::test_support
