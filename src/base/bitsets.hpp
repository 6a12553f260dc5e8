// Bit tricks on the 64-bit words of the bitset rows the clique searches use.
#pragma once

#include <cstddef>
#include <cstdint>
#include <type_traits>

#if defined(_MSC_VER)
#include <intrin.h>
#endif

namespace korvane {

using word_t = std::uint64_t;

inline std::size_t words_for(std::size_t bits) { return (bits + 63) / 64; }

// Bits set in a word: the one bit count of the core. Without the popcnt
// instruction in the target, the compiler's builtin becomes a library call;
// the branch-free sum of bit fields is faster than that, and GCC (10 on) and
// Clang (15 on) turn it into the instruction wherever it is inlined into a
// function built for popcnt.
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

inline void set_bit(word_t* bits, std::size_t i) { bits[i / 64] |= word_t{1} << (i % 64); }

inline std::size_t lowest_bit(word_t w) {  // w != 0
#if defined(_MSC_VER)
  unsigned long i;
  _BitScanForward64(&i, w);
  return i;
#else
  return static_cast<std::size_t>(__builtin_ctzll(w));
#endif
}

// Calls run(std::integral_constant<std::size_t, W>{}) with W = `words` when
// 1 <= words <= Most, so that loops over a bitset's words unroll at compile
// time; returns false, without calling, for any other count.
template <std::size_t Most, class Run>
bool with_fixed_words(std::size_t words, Run&& run) {
  if constexpr (Most == 0) {
    return false;
  } else {
    if (words != Most) return with_fixed_words<Most - 1>(words, run);
    run(std::integral_constant<std::size_t, Most>{});
    return true;
  }
}

}  // namespace korvane
