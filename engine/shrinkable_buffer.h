#pragma once
// A buffer of plain values that is sized, written in full and may later shrink in place.
// Its memory comes straight from malloc, so that shrinking it (realloc) hands the tail back
// without copying what stays: a large block is unmapped at its end. New elements are left
// as the system hands the memory out, since the buffers are written in full right after
// they are sized.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>
#include <utility>

namespace genshoku {

template <typename T>
class ShrinkableBuffer {
  static_assert(std::is_trivially_copyable_v<T>, "the buffer moves its values as bytes");

 public:
  ShrinkableBuffer() = default;
  ShrinkableBuffer(const ShrinkableBuffer& other) {
    resize(other.size_);
    if (size_ != 0) std::memcpy(data_, other.data_, size_ * sizeof(T));
  }
  ShrinkableBuffer(ShrinkableBuffer&& other) noexcept
      : data_(std::exchange(other.data_, nullptr)), size_(std::exchange(other.size_, 0)) {}
  ShrinkableBuffer& operator=(ShrinkableBuffer other) noexcept {
    std::swap(data_, other.data_);
    std::swap(size_, other.size_);
    return *this;
  }
  ~ShrinkableBuffer() { std::free(data_); }

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  T* data() { return data_; }
  const T* data() const { return data_; }
  T& operator[](size_t i) { return data_[i]; }
  const T& operator[](size_t i) const { return data_[i]; }
  T* begin() { return data_; }
  T* end() { return data_ + size_; }
  const T* begin() const { return data_; }
  const T* end() const { return data_ + size_; }

  // Grows (keeping the values, the new ones unset) or shrinks in place to n values.
  void resize(size_t n) {
    if (n == size_) return;
    if (n == 0) {
      std::free(data_);
      data_ = nullptr;
      size_ = 0;
      return;
    }
    if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    void* moved = std::realloc(data_, n * sizeof(T));
    if (moved == nullptr) throw std::bad_alloc();
    data_ = static_cast<T*>(moved);
    size_ = n;
  }

 private:
  T* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace genshoku
