#pragma once
// The colours that take part in the k-means refinement, in increasing colour order.
//
// The clustering numbers its colours first (RenumberColoursByCluster), so the colours that
// take part are usually colours 0..count-1 and need no list: on a picture whose pixels are
// nearly all distinct colours, the list would take 4 bytes per colour for nothing.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace genshoku {

class TakingColourSet {
 public:
  // The colours of `list`, which the caller keeps while this set is used.
  TakingColourSet(const std::vector<uint32_t>& list)  // NOLINT: a list is such a set
      : list_(list.data()), count_(list.size()) {}
  // Colours 0..count-1.
  static TakingColourSet FirstColours(size_t count) {
    TakingColourSet set;
    set.count_ = count;
    return set;
  }

  size_t size() const { return count_; }
  // The k-th colour of the set.
  uint32_t operator[](size_t k) const { return list_ ? list_[k] : static_cast<uint32_t>(k); }

  class Iterator {
   public:
    Iterator(const TakingColourSet& set, size_t k) : set_(&set), k_(k) {}
    uint32_t operator*() const { return (*set_)[k_]; }
    Iterator& operator++() {
      ++k_;
      return *this;
    }
    bool operator!=(const Iterator& other) const { return k_ != other.k_; }

   private:
    const TakingColourSet* set_;
    size_t k_;
  };
  Iterator begin() const { return Iterator(*this, 0); }
  Iterator end() const { return Iterator(*this, count_); }

 private:
  TakingColourSet() = default;
  const uint32_t* list_ = nullptr;
  size_t count_ = 0;
};

}  // namespace genshoku
