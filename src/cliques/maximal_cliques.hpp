// Maximal cliques of a graph: Bron-Kerbosch with pivoting, started once per
// vertex of a degeneracy ordering (Eppstein, Loffler and Strash).
#pragma once

#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <utility>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "degeneracy.hpp"
#include "graph.hpp"
#include "local_neighbourhood.hpp"
#include "pivot_search.hpp"

namespace korvane {

// Runs the pivoting search on the neighbourhood of one vertex at a time. The
// buffers live as long as the search, so no clique costs an allocation.
//
// Around a start vertex v the search works on local ids: P0 = later neighbours
// (0 .. p-1), then X0 = earlier neighbours (p .. p+x-1). A vertex of P0 has a
// bitset row over all local ids; a vertex of X0 only needs its row over P0,
// since candidate sets stay inside P0 and only the pivot choice reads X rows.
template <class Sink>
class MaximalCliqueSearch {
 public:
  MaximalCliqueSearch(const Graph& graph, Ticker& tick, Sink& sink, std::size_t least_size)
      : graph_(graph), tick_(tick), sink_(sink), least_size_(least_size), locals_(graph.vertex_count()) {}

  void run() {
    const DegeneracyOrder order(graph_, tick_);
    for (const index_t v : order.order()) {
      // A clique started at v holds v and later neighbours of v only.
      if (static_cast<std::size_t>(order.later_end(v) - order.later_begin(v)) + 1 < least_size_) continue;
      locals_.clear();
      locals_.add(order.later_begin(v), order.later_end(v));
      later_count_ = locals_.count();
      locals_.add_if(graph_.neighbours_begin(v), graph_.neighbours_end(v),
                     [&](index_t u) { return order.rank(u) < order.rank(v); });
      start_ = v;
      search_from_start();
    }
  }

 private:
  // A vertex of P0 has a row over all local ids; one of X0 a row over P0 only.
  struct LocalRows {
    word_t* rows;
    std::size_t later_count;
    std::size_t later_words;
    std::size_t all_words;
    std::size_t p_words() const { return later_words; }
    std::size_t x_words() const { return all_words; }
    word_t* p_row(std::size_t u) const {
      if (u < later_count) return rows + u * all_words;
      return rows + later_count * all_words + (u - later_count) * later_words;
    }
    word_t* full_row(std::size_t w) const { return rows + w * all_words; }
  };

  void search_from_start() {
    const std::size_t p = later_count_;
    const std::size_t local_count = locals_.count();
    const std::size_t p_words = words_for(p);
    const std::size_t row_words = words_for(local_count);
    rows_.assign(p * row_words + (local_count - p) * p_words, 0);
    const LocalRows rows{rows_.data(), p, p_words, row_words};
    const auto neighbours = [&](index_t g) { return std::pair(graph_.neighbours_begin(g), graph_.neighbours_end(g)); };
    locals_.for_each_link(
        p, neighbours,
        [&](std::size_t w, std::size_t l) {
          set_bit(rows.full_row(w), l);
          if (l >= p) set_bit(rows.p_row(l), w);
        },
        tick_);

    // At the start P = P0, X = X0, and the clique so far is {start}.
    start_sets_.assign(p_words + row_words, 0);
    word_t* candidates = start_sets_.data();
    word_t* excluded = candidates + p_words;
    for (std::size_t l = 0; l < local_count; ++l) set_bit(l < p ? candidates : excluded, l);
    search_.run(
        rows, candidates, excluded, tick_, [&](const std::vector<index_t>& path) { report(path); },
        least_size_ > 0 ? least_size_ - 1 : 0);
  }

  void report(const std::vector<index_t>& path) {
    reported_.clear();
    reported_.push_back(start_);
    for (const index_t l : path) reported_.push_back(locals_.global(l));
    std::sort(reported_.begin(), reported_.end());
    sink_(std::as_const(reported_));
  }

  const Graph& graph_;
  Ticker& tick_;
  Sink& sink_;
  std::size_t least_size_;  // smaller cliques are neither reported nor searched for

  LocalNeighbourhood locals_;    // P0 (later neighbours), then X0 (earlier ones)
  std::size_t later_count_ = 0;  // p, the size of P0
  index_t start_ = 0;
  std::vector<word_t> rows_;
  std::vector<word_t> start_sets_;  // P0 and X0
  PivotSearch search_;
  std::vector<index_t> reported_;
};

// Calls sink(const std::vector<index_t>& clique) once for every maximal clique
// of `graph` with at least `least_size` vertices, its dense ids ascending; an
// isolated vertex is a one-vertex clique. The branches of the search that can
// only end in smaller cliques are cut, so a high floor skips most of a sparse
// graph.
template <class Sink>
void for_each_maximal_clique(const Graph& graph, Ticker& tick, Sink&& sink, std::size_t least_size = 1) {
  MaximalCliqueSearch<std::remove_reference_t<Sink>> search(graph, tick, sink, least_size);
  search.run();
}

}  // namespace korvane
