#include "edge_cliques.hpp"

#include <numeric>

#include "bitsets.hpp"
#include "maximal_cliques.hpp"
#include "row_cliques.hpp"

namespace korvane {

void EdgeCliques::find(const GrowingGraph& graph, index_t u, index_t v, bool with_common_graph, Ticker& tick) {
  cores_.clear();
  const bool on_rows = with_fixed_words<GrowingGraph::row_words_limit>(graph.row_words(), [&](auto width) {
    find_on_rows<decltype(width)::value>(graph, u, v, tick);
  });
  if (!on_rows) return find_on_lists(graph, u, v, tick);
  if (with_common_graph && common_.size() >= 2) graph.induced_subgraph(common_, common_graph_, mark_, tick);
}

// C of at most one vertex is its own only core (the empty one when C is
// empty): true, having set it.
bool EdgeCliques::single_core() {
  if (common_.size() > 1) return false;
  if (!common_.empty()) cores_.items.push_back(0);
  cores_.close_group();
  return true;
}

// The search on lists reads the subgraph induced by C.
void EdgeCliques::find_on_lists(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick) {
  graph.common_neighbours(u, v, common_, tick);
  if (single_core()) return;
  graph.induced_subgraph(common_, common_graph_, mark_, tick);
  for_each_maximal_clique(common_graph_, tick, [&](const std::vector<index_t>& core) {
    cores_.items.insert(cores_.items.end(), core.begin(), core.end());
    cores_.close_group();
  });
}

// C is the AND of two rows, and its maximal cliques come from the search on
// the rows restricted to C, each turned into positions in C.
template <std::size_t W>
void EdgeCliques::find_on_rows(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick) {
  const RowCliques<W> rows(graph.rows(), tick);
  const RowSet<W> common = rows.within_neighbours(rows.neighbours(u), v);
  common_.clear();
  for_each_vertex(common, [&](index_t x) {
    position_[x] = static_cast<index_t>(common_.size());
    common_.push_back(x);
  });
  if (single_core()) return;
  rows.for_each_maximal(common, search_, [&](const RowSet<W>& core) {
    for_each_vertex(core, [&](index_t x) { cores_.items.push_back(position_[x]); });
    cores_.close_group();
  });
}

// Two new facets share a new (q+1)-clique when their cores share q-1 vertices.
// A pair whose cores share s >= 1 vertices needs joining only at level s+1: at
// a level q in 2 .. s both facets already meet the old class of the clique of u
// and q shared core vertices, and at levels 0 and 1 all new facets hold u and v.
void EdgeCliques::pair_cores(std::uint64_t size_cap, Ticker& tick) {
  const std::size_t core_count = cores_.size();
  const std::size_t k = common_.size();
  // Levels stay below |C| + 2.
  pairs_.reset(core_count < 2 || size_cap < 4 ? 0 : k + 2);
  if (pairs_.level_count() == 0) return;
  incidence_start_.assign(k + 1, 0);
  for (const index_t c : cores_.items) ++incidence_start_[c + 1];
  // Counting through the vertices costs the sum of their squared core counts;
  // a spanning forest on bitsets costs the square of the core count.
  std::size_t counting_cost = 0;
  for (std::size_t c = 1; c <= k; ++c) counting_cost += incidence_start_[c] * incidence_start_[c];
  if (core_count * core_count * ((k + 63) / 64) < counting_cost) {
    span_cores(size_cap, tick);
  } else {
    count_core_overlaps(size_cap, tick);
  }
}

// Every pair of cores sharing a vertex, counted through an index of the cores by vertex.
void EdgeCliques::count_core_overlaps(std::uint64_t size_cap, Ticker& tick) {
  const std::size_t core_count = cores_.size();
  std::partial_sum(incidence_start_.begin(), incidence_start_.end(), incidence_start_.begin());
  incidence_fill_.assign(incidence_start_.begin(), incidence_start_.end() - 1);
  incidence_.resize(cores_.items.size());
  shared_.assign(core_count, 0);
  for (index_t i = 0; i < core_count; ++i) {
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) {
      for (std::size_t p = incidence_start_[*c]; p < incidence_fill_[*c]; ++p) {
        if (shared_[incidence_[p]]++ == 0) met_.push_back(incidence_[p]);
      }
      tick(incidence_fill_[*c] - incidence_start_[*c] + 1);
    }
    for (const index_t j : met_) {
      if (std::uint64_t{shared_[j]} + 3 <= size_cap) pairs_.add(shared_[j] + 1, j, i);
      shared_[j] = 0;
    }
    met_.clear();
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) incidence_[incidence_fill_[*c]++] = i;
  }
}

// A maximum spanning forest of the cores, weighted by overlap (Prim on
// bitsets). A pair is needed at one level only and the old links join it at
// every level below, so a pair that forest pairs of at least its overlap
// connect needs nothing of its own: the forest pairs suffice.
void EdgeCliques::span_cores(std::uint64_t size_cap, Ticker& tick) {
  const bool fixed = with_fixed_words<4>(words_for(common_.size()), [&](auto width) {
    span_cores_on<decltype(width)::value>(size_cap, tick);
  });
  if (!fixed) span_cores_on<0>(size_cap, tick);
}

// W words per core's bitset, or any number for W = 0.
template <std::size_t W>
void EdgeCliques::span_cores_on(std::uint64_t size_cap, Ticker& tick) {
  const std::size_t core_count = cores_.size();
  const std::size_t words = W != 0 ? W : words_for(common_.size());
  core_bits_.assign(core_count * words, 0);
  for (std::size_t i = 0; i < core_count; ++i)
    for (const index_t* c = cores_.begin(i); c != cores_.end(i); ++c) set_bit(core_bits_.data() + i * words, *c);
  outside_.resize(core_count);
  for (std::size_t i = 0; i < core_count; ++i) outside_[i] = Outside{static_cast<index_t>(i), 0, none};
  std::size_t best = 0;
  for (std::size_t outside_count = core_count; outside_count > 0;) {
    const Outside next = outside_[best];
    outside_[best] = outside_[--outside_count];
    if (next.overlap > 0 && std::uint64_t{next.overlap} + 3 <= size_cap) pairs_.add(next.overlap + 1, next.partner, next.core);
    const word_t* row = core_bits_.data() + std::size_t{next.core} * words;
    best = 0;
    index_t best_overlap = 0;
    for (std::size_t i = 0; i < outside_count; ++i) {
      Outside& candidate = outside_[i];
      const word_t* other = core_bits_.data() + std::size_t{candidate.core} * words;
      index_t overlap = 0;
      for (std::size_t w = 0; w < words; ++w) overlap += static_cast<index_t>(popcount64(row[w] & other[w]));
      if (overlap > candidate.overlap) {
        candidate.overlap = overlap;
        candidate.partner = next.core;
      }
      if (candidate.overlap > best_overlap) {
        best = i;
        best_overlap = candidate.overlap;
      }
    }
    tick(outside_count * (words + 1));
  }
}

}  // namespace korvane
