// Cliques of a small graph whose adjacency is held as bitset rows over all its
// vertices: a common neighbourhood is one AND per word, and a Bron-Kerbosch
// frame moves whole vertex sets in a few word operations.
#pragma once

#include <array>
#include <cstddef>
#include <utility>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "pivot_search.hpp"

namespace korvane {

// A set of vertices 0 .. 64W-1 as W words.
template <std::size_t W>
using RowSet = std::array<word_t, W>;

template <std::size_t W>
void add_vertex(RowSet<W>& s, index_t x) {
  set_bit(s.data(), x);
}

// Calls visit(x) for every vertex of `s`, ascending.
template <std::size_t W, class Visit>
void for_each_vertex(const RowSet<W>& s, Visit&& visit) {
  for (std::size_t k = 0; k < W; ++k)
    for (word_t w = s[k]; w != 0; w &= w - 1) visit(static_cast<index_t>(64 * k + lowest_bit(w)));
}

// Row x of the adjacency is rows[W * x .. W * x + W), without x itself.
template <std::size_t W>
class RowCliques {
 public:
  using Set = RowSet<W>;

  RowCliques(const word_t* rows, Ticker& tick) : rows_(rows), tick_(tick) {}

  // `s` restricted to the neighbours of x.
  Set within_neighbours(const Set& s, index_t x) const {
    Set out;
    const word_t* row = rows_ + W * x;
    for (std::size_t k = 0; k < W; ++k) out[k] = s[k] & row[k];
    return out;
  }
  Set neighbours(index_t x) const {
    Set out;
    for (std::size_t k = 0; k < W; ++k) out[k] = rows_[W * x + k];
    return out;
  }

  // Calls sink(const Set& clique) once for every maximal clique of the
  // subgraph induced by `within`; `search` holds the buffers.
  template <class Sink>
  void for_each_maximal(const Set& within, PivotSearch& search, Sink&& sink) const {
    const Set none{};
    search.run(*this, within.data(), none.data(), tick_, [&](const std::vector<index_t>& path) {
      Set clique{};
      for (const index_t x : path) add_vertex(clique, x);
      sink(std::as_const(clique));
    });
  }

  // The layout PivotSearch reads: P and X, and every row, span all W words.
  static constexpr std::size_t p_words() { return W; }
  static constexpr std::size_t x_words() { return W; }
  const word_t* p_row(std::size_t x) const { return rows_ + W * x; }
  const word_t* full_row(std::size_t x) const { return rows_ + W * x; }

 private:
  const word_t* rows_;
  Ticker& tick_;
};

}  // namespace korvane
