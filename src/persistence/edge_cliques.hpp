// The cliques that one new edge (u, v) creates. Every one holds u and v; the
// rest is a clique of C = N(u) & N(v), the common neighbourhood before the edge.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "graph.hpp"
#include "growing_graph.hpp"
#include "pairs_by_level.hpp"
#include "pivot_search.hpp"

namespace korvane {

// The new facets of the edge are {u, v} + K for the maximal cliques K of the
// subgraph induced by C (the cores), or {u, v} alone when C is empty: a vertex
// that extends such a set must neighbour both u and v.
class EdgeCliques {
 public:
  explicit EdgeCliques(std::size_t vertex_count)
      : mark_(vertex_count, none), position_(vertex_count) {}

  // C and the cores, for the edge (u, v) not yet in `graph`, and the subgraph
  // induced by C when `with_common_graph` (or C has two vertices or more and
  // the graph keeps no bitset rows).
  void find(const GrowingGraph& graph, index_t u, index_t v, bool with_common_graph, Ticker& tick);

  const std::vector<index_t>& common() const { return common_; }  // C, ascending
  const Graph& common_graph() const { return common_graph_; }      // on positions in C
  const Groups<index_t>& cores() const { return cores_; }          // positions in C, ascending

  // The pairs of new facets (by core) that the levels up to S-2 must join,
  // each at one level: read them with pairs_begin/end(q).
  void pair_cores(std::uint64_t size_cap, Ticker& tick);
  const IdPair* pairs_begin(index_t q) const { return pairs_.begin(q); }
  const IdPair* pairs_end(index_t q) const { return pairs_.end(q); }

 private:
  bool single_core();
  void find_on_lists(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick);
  template <std::size_t W>
  void find_on_rows(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick);
  void count_core_overlaps(std::uint64_t size_cap, Ticker& tick);
  void span_cores(std::uint64_t size_cap, Ticker& tick);
  template <std::size_t W>
  void span_cores_on(std::uint64_t size_cap, Ticker& tick);

  std::vector<index_t> mark_;      // per vertex of the graph, none between calls
  std::vector<index_t> position_;  // per vertex of C, its position in C
  std::vector<index_t> common_;
  Graph common_graph_;
  Groups<index_t> cores_;
  PivotSearch search_;

  PairsByLevel pairs_;

  // Counting overlaps: the cores by vertex of C, and per core its count.
  std::vector<std::size_t> incidence_start_;
  std::vector<std::size_t> incidence_fill_;
  std::vector<index_t> incidence_;
  std::vector<index_t> shared_;
  std::vector<index_t> met_;

  // Spanning the cores: their bitsets over C, and the cores outside the forest.
  struct Outside {
    index_t core;
    index_t overlap;  // the largest overlap with the forest
    index_t partner;  // the forest core it shares that with
  };
  std::vector<word_t> core_bits_;
  std::vector<Outside> outside_;
};

}  // namespace korvane
