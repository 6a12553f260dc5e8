// What the hub-aware join keeps per set and per light vertex: the heavy and
// medium vertices of a set as bits, the holders of a light vertex as entries,
// and bit counts over them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "bitsets.hpp"
#include "core.hpp"

namespace korvane {

constexpr std::size_t medium_words = 2;
constexpr index_t max_medium = 64 * medium_words;

// A set's heavy vertices, bit 63-r for rank r, and its medium vertices, bit
// 63-r%64 of word r/64 for medium rank r.
struct SetBits {
  std::uint64_t heavy = 0;
  std::uint64_t medium[medium_words] = {};
};

// A set holding a light vertex, and where that vertex sits in it.
struct Holder {
  index_t set;
  index_t position;
  index_t rare_position;  // for a rare vertex, its position among the rare vertices of the set
  index_t root;           // a set of the class of `set`, once its root: find() gives the root now
};

// The medium vertices a and b share, among those `keep` selects word by word.
template <class Keep>
std::size_t medium_shared(const SetBits& a, const SetBits& b, Keep keep) {
  std::size_t shared = 0;
  for (std::size_t w = 0; w < medium_words; ++w) shared += popcount64(a.medium[w] & b.medium[w] & keep(w));
  return shared;
}

// The medium vertices of s.
inline std::size_t medium_count(const SetBits& s) {
  std::size_t count = 0;
  for (const std::uint64_t word : s.medium) count += popcount64(word);
  return count;
}

// Selects every medium vertex.
inline std::uint64_t every_word(std::size_t) { return ~std::uint64_t{0}; }

}  // namespace korvane
