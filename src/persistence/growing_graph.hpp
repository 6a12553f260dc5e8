// A graph that gains one edge at a time, on dense vertex ids.
#pragma once

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "graph.hpp"
#include "hash_index.hpp"

namespace korvane {

// Each vertex owns room for its final degree, so adding an edge moves nothing;
// an index of the edges answers adjacency in one probe. A graph of at most
// 64 * row_words_limit vertices also keeps its adjacency as bitset rows, which
// then answer adjacency instead of the index.
class GrowingGraph {
 public:
  static constexpr std::size_t row_words_limit = 4;  // rows of 1 to 4 words get loops of fixed width

  // `edges` are every edge the graph will gain (self-loops ignored), for sizing.
  GrowingGraph(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges);

  bool adjacent(index_t a, index_t b) const;
  void insert_edge(index_t a, index_t b);  // a != b, not yet adjacent
  index_t degree(index_t x) const { return degree_[x]; }
  const index_t* neighbours_begin(index_t x) const { return adjacency_.data() + adjacency_start_[x]; }
  const index_t* neighbours_end(index_t x) const { return neighbours_begin(x) + degree_[x]; }

  // Words per bitset row, 0 when the graph keeps none; row x is the set of x's neighbours.
  std::size_t row_words() const { return row_words_; }
  const word_t* rows() const { return rows_.data(); }

  // C = N(u) & N(v), ascending.
  void common_neighbours(index_t u, index_t v, std::vector<index_t>& common, Ticker& tick) const;
  // The subgraph induced by the ascending `vertices`, on their positions, each
  // neighbour list ascending. `mark` has an entry per vertex, none on entry and exit.
  void induced_subgraph(const std::vector<index_t>& vertices, Graph& induced, std::vector<index_t>& mark,
                        Ticker& tick) const;

 private:
  std::vector<std::size_t> adjacency_start_;
  std::vector<index_t> degree_;
  std::vector<index_t> adjacency_;
  HashIndex edge_index_;
  std::size_t row_words_ = 0;
  std::vector<word_t> rows_;
};

// The ascending vertices of {u, v} + {common[p] : p in [begin, end)}, for
// ascending positions into the ascending `common`, none of them u or v: the
// pair merged into the list rather than sorted with it. Written from `out` on;
// returns the end.
inline index_t* edge_and_clique(index_t u, index_t v, const index_t* begin, const index_t* end,
                                const std::vector<index_t>& common, index_t* out) {
  const index_t low = std::min(u, v);
  const index_t high = std::max(u, v);
  const index_t* p = begin;
  for (; p != end && common[*p] < low; ++p) *out++ = common[*p];
  *out++ = low;
  for (; p != end && common[*p] < high; ++p) *out++ = common[*p];
  *out++ = high;
  for (; p != end; ++p) *out++ = common[*p];
  return out;
}

inline void edge_and_clique(index_t u, index_t v, const index_t* begin, const index_t* end,
                            const std::vector<index_t>& common, std::vector<index_t>& members) {
  members.resize(static_cast<std::size_t>(end - begin) + 2);
  edge_and_clique(u, v, begin, end, common, members.data());
}

}  // namespace korvane
