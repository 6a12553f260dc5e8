// Union by size with path halving over dense ids 0 .. n-1.
#pragma once

#include <cstddef>
#include <numeric>
#include <utility>
#include <vector>

#include "core.hpp"

namespace korvane {

class Dsu {
 public:
  explicit Dsu(index_t n = 0) { grow(n); }

  // Adds singleton classes until there are n ids.
  void grow(index_t n) {
    const index_t old = static_cast<index_t>(parent_.size());
    if (n <= old) return;
    parent_.resize(n);
    std::iota(parent_.begin() + old, parent_.end(), old);
    size_.resize(n, 1);
  }
  void reserve(std::size_t n) {
    parent_.reserve(n);
    size_.reserve(n);
  }
  index_t size() const { return static_cast<index_t>(parent_.size()); }

  index_t find(index_t x) {
    while (parent_[x] != x) {
      parent_[x] = parent_[parent_[x]];
      x = parent_[x];
    }
    return x;
  }

  // Puts x, alone in its class, into y's class without looking for its root:
  // x hangs just below y. Sizes only guide linking, so the class's is left.
  void attach(index_t x, index_t y) { parent_[x] = y; }

  // Links the smaller class under the larger; returns false when a and b were
  // already in one class.
  bool unite(index_t a, index_t b) {
    a = find(a);
    b = find(b);
    if (a == b) return false;
    if (size_[a] < size_[b]) std::swap(a, b);
    parent_[b] = a;
    size_[a] += size_[b];
    return true;
  }

 private:
  std::vector<index_t> parent_;
  std::vector<index_t> size_;
};

}  // namespace korvane
