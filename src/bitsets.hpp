// Bit tricks on the 64-bit words of the bitset rows the clique searches use.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace korvane {

using word_t = std::uint64_t;

inline std::size_t words_for(std::size_t bits) { return (bits + 63) / 64; }

inline std::size_t popcount64(word_t w) {
#if defined(_MSC_VER)
  return static_cast<std::size_t>(__popcnt64(w));
#else
  return static_cast<std::size_t>(__builtin_popcountll(w));
#endif
}

inline std::size_t lowest_bit(word_t w) {  // w != 0
#if defined(_MSC_VER)
  unsigned long i;
  _BitScanForward64(&i, w);
  return i;
#else
  return static_cast<std::size_t>(__builtin_ctzll(w));
#endif
}

}  // namespace korvane
