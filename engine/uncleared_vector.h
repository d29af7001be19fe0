#pragma once
// Vectors whose new elements are left as the system hands the memory out, for large buffers
// that are written in full right after they are sized: clearing them first would pass over
// the memory once more, on one thread, and take the first touch of every page away from
// the threads that fill it.

#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace genshoku {

template <typename T>
struct UnclearedAllocator : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = UnclearedAllocator<U>;
  };
  UnclearedAllocator() = default;
  template <typename U>
  UnclearedAllocator(const UnclearedAllocator<U>&) {}
  template <typename U>
  void construct(U* place) {
    ::new (static_cast<void*>(place)) U;
  }
  template <typename U, typename... Args>
  void construct(U* place, Args&&... args) {
    ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
  }
};

template <typename T>
using UnclearedVector = std::vector<T, UnclearedAllocator<T>>;

}  // namespace genshoku
