// The q-components of a graph's clique complex under a size cap, kept up to
// date edge by edge from the small cliques alone.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "clique_registry.hpp"
#include "component_keys.hpp"
#include "core.hpp"
#include "dsu.hpp"
#include "graph.hpp"
#include "growing_graph.hpp"
#include "persistence_records.hpp"
#include "small_cliques.hpp"

namespace korvane {

// With a cap S, level q <= S-2 holds the (q+1)-cliques, two joined when a
// (q+2)-clique holds both (a larger clique's faces are chained by its
// (q+2)-subsets already); the top level S-1 holds every S-clique alone.
// Invariant: level q keeps every (q+1)-clique of the graph so far as a node of
// its union-find, each class pointing at its key (q, vertex set).
class CappedLevels {
 public:
  // Vertices are the dense ids 0 .. vertex_count-1; `edges` are every edge the
  // filtration will add, for sizing; `size_cap` is S >= 1. The classes' keys
  // live in `keys`.
  CappedLevels(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
               std::uint64_t size_cap, ComponentKeys& keys);

  // Adds a vertex, then an edge between two vertices added (u != v; again
  // or past the cap, nothing), within the keys' step.
  void add_vertex(index_t x, double weight);
  void add_edge(index_t u, index_t v, double weight);

 private:
  // A class met in the current step: `key` is the key it carried when first
  // met, none for a clique new in this step.
  struct Sighting {
    index_t node;
    index_t key;
    index_t root;
  };

  // The (q+1)-cliques of one level q <= S-2, clique c being node c, by
  // scrambled set hash. At level 0 the nodes are the vertices themselves and
  // `cliques` stays empty.
  struct Level {
    CliqueRegistry<index_t> cliques;
    Dsu classes;
    std::vector<index_t> class_key;   // valid at roots
    std::vector<std::uint64_t> seen;  // at roots: the last step that met the class
    std::vector<Sighting> sightings;  // this step's
  };

  index_t visit(const index_t* clique, std::size_t size, index_t added, index_t parent, bool linked, double weight);
  index_t find_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique) const;
  index_t find_or_add_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique);
  index_t new_clique(Level& level, std::uint64_t hash, const std::vector<index_t>& clique);
  index_t meet(Level& level, index_t node);
  void settle(index_t q, double weight);

  std::uint64_t size_cap_;  // S, at most the largest degree + 1
  Ticker tick_;
  ComponentKeys& keys_;
  GrowingGraph graph_;
  std::vector<char> present_;
  std::vector<Level> levels_;  // q = 0 .. S-2, made as cliques reach them
  std::uint64_t step_ = 0;  // edges added
  std::size_t touched_levels_ = 0;  // levels 0 .. touched_levels_ - 1 met cliques in this step

  // Scratch of one step: the edge (u, v) with low = min(u, v), high = max(u, v).
  index_t low_ = 0;
  index_t high_ = 0;
  std::uint64_t pair_hash_ = 0;       // set hash of {u, v}
  index_t pair_node_ = none;          // node of {u, v} at level 1
  index_t start_ = 0;                 // the search's current start vertex, a position in C
  std::vector<index_t> single_node_;  // node of {u, v, c} at level 2, by position of c in C
  std::vector<index_t> common_;       // C = N(u) & N(v), ascending
  Graph common_graph_;                // the subgraph induced by C, on positions in C
  SmallCliqueSearch search_{tick_};
  std::vector<index_t> scratch_mark_;
  std::vector<index_t> members_;      // {u, v} + K, ascending
  std::vector<index_t> face_;
  std::vector<index_t> old_keys_;
  std::vector<index_t> extra_;
};

}  // namespace korvane
