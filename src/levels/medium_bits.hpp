// Bit counts over the heavy and medium vertices that the hub-aware join keeps
// as bits per set.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>

#include "bitsets.hpp"

namespace korvane {

// The medium vertices a and b share, among those `keep` selects word by word.
template <class Bits, class Keep>
inline std::size_t medium_shared(const Bits& a, const Bits& b, Keep keep) {
  std::size_t shared = 0;
  for (std::size_t w = 0; w < std::size(a.medium); ++w)
    shared += popcount64(a.medium[w] & b.medium[w] & keep(w));
  return shared;
}

// The medium vertices of s.
template <class Bits>
inline std::size_t medium_count(const Bits& s) {
  std::size_t count = 0;
  for (std::uint64_t word : s.medium) count += popcount64(word);
  return count;
}

// Selects every medium vertex.
inline std::uint64_t every_word(std::size_t) { return ~std::uint64_t{0}; }

}  // namespace korvane
