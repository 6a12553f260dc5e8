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

// Bits set in a word. Without the popcnt instruction in the target, the
// compiler's builtin becomes a library call; the branch-free sum of bit fields
// is faster than that.
inline std::size_t popcount64(word_t w) {
#if defined(_MSC_VER)
  return static_cast<std::size_t>(__popcnt64(w));
#elif defined(__POPCNT__)
  return static_cast<std::size_t>(__builtin_popcountll(w));
#else
  w -= (w >> 1) & 0x5555555555555555ULL;
  w = (w & 0x3333333333333333ULL) + ((w >> 2) & 0x3333333333333333ULL);
  w = (w + (w >> 4)) & 0x0f0f0f0f0f0f0f0fULL;
  return static_cast<std::size_t>((w * 0x0101010101010101ULL) >> 56);
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
