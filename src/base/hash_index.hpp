// Hashing helpers and the one hash table the core uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core.hpp"

namespace korvane {

// splitmix64's finaliser: a bijection of 64-bit words that spreads clustered or
// strided keys evenly over a table.
inline std::uint64_t scramble(std::uint64_t x) {
  x += 0x9e3779b97f4a7c15ULL;
  x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ULL;
  x = (x ^ (x >> 27)) * 0x94d049bb133111ebULL;
  return x ^ (x >> 31);
}

// A hash of a sequence, each value mixed in after the ones before it.
template <class T>
std::uint64_t sequence_hash(const T* begin, const T* end, std::uint64_t seed) {
  std::uint64_t h = seed;
  for (const T* p = begin; p != end; ++p) h = scramble(h + *p);
  return h;
}

// Open addressing with linear probing over 64-bit hashes that holds dense ids,
// kept at most half full. The caller keeps the objects and says what a match
// is, so one table serves vertices, cliques, edges and keys.
class HashIndex {
 public:
  // Finds the value of an entry with `hash` that `match` accepts, or none.
  template <class Match>
  index_t find(std::uint64_t hash, Match&& match) const {
    if (slots_.empty()) return none;
    for (std::size_t i = hash & mask_; slots_[i].value != none; i = (i + 1) & mask_)
      if (slots_[i].hash == hash && match(slots_[i].value)) return slots_[i].value;
    return none;
  }
  void insert(std::uint64_t hash, index_t value);
  void erase(std::uint64_t hash, index_t value);
  void reserve(std::size_t count);

 private:
  struct Slot {
    std::uint64_t hash;
    index_t value;
  };
  void rehash(std::size_t slot_count);

  std::vector<Slot> slots_;
  std::size_t mask_ = 0;
  std::size_t size_ = 0;
};

}  // namespace korvane
