// Where the new facets of an edge meet the old classes: for each core K, a
// facet of the graph before the edge that holds u + K, and one that holds v + K.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "bitsets.hpp"
#include "core.hpp"
#include "edge_cliques.hpp"
#include "growing_graph.hpp"

namespace korvane {

class FacetLinks {
 public:
  explicit FacetLinks(std::size_t vertex_count) : mark_(vertex_count, none) {}

  // For every core i of `cliques`, the maximal cliques of `graph` (which lacks
  // the edge) that hold u + core and v + core, ascending; the second is left
  // empty where the cap keeps the facet below the level that needs it. The
  // search runs core by core on neighbour lists, or, when the cores' vertices
  // are busy enough to pay for it, on bitsets over N(u) + N(v) built once, or
  // on the graph's own bitset rows when it keeps them.
  void find(const GrowingGraph& graph, index_t u, index_t v, const EdgeCliques& cliques, std::uint64_t size_cap,
            Ticker& tick);
  // Group 2i holds u + core i, group 2i+1 holds v + core i (or nothing).
  const Groups<index_t>& links() const { return links_; }

 private:
  class ListCandidates;
  // Calls link(first) for first = u, then v, each closing a group of links_
  // after it; v's stays empty where the cap keeps the facet {u, v} + core,
  // of core_length + 2 vertices, below the level that needs it.
  template <class Link>
  void write_links(index_t u, index_t v, std::size_t core_length, std::uint64_t size_cap, Link&& link);
  template <std::size_t W>
  void find_on_graph_rows(const GrowingGraph& graph, index_t u, index_t v, const EdgeCliques& cliques,
                          std::uint64_t size_cap, Ticker& tick);
  void build_rows(const GrowingGraph& graph, index_t u, index_t v, Ticker& tick);

  std::vector<index_t> mark_;  // per vertex, none between uses
  Groups<index_t> links_;
  std::vector<index_t> clique_;
  std::vector<index_t> extension_;
  std::vector<index_t> marked_;

  // Z = N(u) + N(v) by local id, each with its row of neighbours in Z, then the rows of u and v.
  std::vector<index_t> around_;
  std::size_t words_ = 0;
  std::vector<word_t> rows_;
  std::vector<word_t> row_candidates_;
  word_t* row(std::size_t l) { return rows_.data() + l * words_; }
};

}  // namespace korvane
