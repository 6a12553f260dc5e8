// The q-components of a graph's clique complex, kept up to date edge by edge.
#pragma once

#include <optional>
#include <utility>

#include "component_keys.hpp"
#include "core.hpp"
#include "graph.hpp"
#include "growing_graph.hpp"
#include "lib.hpp"

namespace korvane {

// The graph grows one edge per step. A facet is a clique that was maximal when
// it appeared; later facets may swallow it, which leaves its classes unchanged,
// and swallowed facets are dropped once they outweigh the live ones.
// Invariant: at every level q the classes are those of the facets with at least
// q+1 vertices, two joined when they share q+1 vertices; each class points at
// its key (q, vertex set). With a size cap S, the facets reach up to level S-2
// and the top level S-1 holds every S-clique alone.
class PersistentLevels {
 public:
  // `ids[x]` is the caller's id of dense vertex x (ascending); `edges` are every
  // edge the filtration will add, in dense ids, for sizing.
  PersistentLevels(const std::vector<vertex_t>& ids, const std::vector<std::pair<index_t, index_t>>& edges,
                   std::optional<std::uint64_t> size_cap);

  // One step: adds the edge (a self-loop adds its vertex only) and appends the
  // records of the keys that died at it, ordered by q and then vertex list.
  void step(index_t u, index_t v, double weight, PersistenceRecords& records);
  // The keys still alive, dying at `weight`, in the same order.
  void finish(double weight, PersistenceRecords& records);

 private:
  static constexpr index_t none = HashIndex::none;

  // Graph.
  void add_vertex(index_t x, double weight);
  void add_edge(index_t u, index_t v, double weight);
  bool adjacent(index_t a, index_t b) const { return graph_.adjacent(a, b); }
  index_t degree(index_t x) const { return graph_.degree(x); }
  const index_t* neighbours_begin(index_t x) const { return graph_.neighbours_begin(x); }
  const index_t* neighbours_end(index_t x) const { return graph_.neighbours_end(x); }
  void find_cores();
  void link_cores(index_t u, index_t v);
  index_t facet_containing(index_t first, const index_t* core_begin, const index_t* core_end);
  void build_around(index_t u, index_t v);
  index_t facet_around(index_t first, const index_t* core_begin, const index_t* core_end);
  index_t registered_facet();
  void pair_cores();
  void add_top_cliques(index_t u, index_t v, double weight);
  void extend_top_clique(std::size_t depth, std::size_t needed, index_t u, index_t v, double weight);

  // Facets and classes.
  index_t add_facet(const index_t* begin, const index_t* end);
  void swallow(index_t facet, std::size_t length);
  void compact_facets();
  index_t node(index_t facet, index_t q) const { return node_base_[facet] + q; }
  index_t find(index_t node);
  void unite(index_t a, index_t b);
  void update_level(index_t q, double weight);
  void settle_class(index_t q, std::size_t first_entry, std::size_t end_entry, double weight);

  std::uint64_t size_cap_;  // S: the largest clique size enumerated
  Ticker tick_;
  ComponentKeys keys_;
  GrowingGraph graph_;

  std::vector<char> present_;
  std::vector<index_t> singleton_facet_;

  Groups<index_t> facets_;  // each ascending
  std::vector<index_t> node_base_;  // facet f owns nodes node_base_[f] + q, one per level it reaches
  HashIndex facet_index_;           // facets with two or more vertices
  std::vector<char> swallowed_;     // per facet: no longer maximal
  std::size_t swallowed_length_ = 0;  // total length of the swallowed facets

  // Union-find over nodes; every level's nodes form their own classes.
  std::vector<index_t> parent_;
  std::vector<index_t> class_size_;
  std::vector<index_t> class_key_;  // valid at roots

  // Scratch of one step.
  index_t step_v_ = 0;  // the second end of the edge being added
  std::vector<index_t> scratch_mark_;  // per vertex, none outside the routine using it
  std::vector<index_t> marked_;
  std::vector<index_t> common_;  // C = N(u) & N(v), ascending
  Graph common_graph_;           // the subgraph induced by C, on positions in C
  Groups<index_t> cores_;        // maximal cliques of that subgraph (positions in C)
  std::vector<index_t> new_facets_;
  std::vector<index_t> link_u_;  // a facet holding u and the core, per new facet
  std::vector<index_t> link_v_;  // a facet holding v and the core, or none when not needed
  struct CorePair {
    index_t level;  // the one level at which the pair's facets must be joined
    index_t a;
    index_t b;
  };
  std::vector<CorePair> core_pairs_;
  std::vector<CorePair> pairs_by_level_;   // the same, level q at pair_start_[q] ..
  std::vector<std::size_t> pair_start_;
  std::vector<std::size_t> incidence_start_;  // core ids by vertex of C
  std::vector<std::size_t> incidence_fill_;
  std::vector<index_t> incidence_;
  std::vector<index_t> shared_;
  using word_t = std::uint64_t;
  std::vector<index_t> around_;  // Z = N(u) + N(v), by local id
  std::size_t around_words_ = 0;
  std::vector<word_t> around_rows_;
  std::vector<word_t> around_candidates_;
  word_t* around_row(std::size_t l) { return around_rows_.data() + l * around_words_; }
  std::vector<index_t> members_;    // a vertex list being built
  std::vector<index_t> clique_;     // a clique being extended to a facet
  std::vector<index_t> extension_;  // vertices that still extend it
  std::vector<index_t> top_clique_;  // positions in C of the S-clique being built
  std::vector<std::vector<index_t>> candidates_by_depth_;
  std::vector<index_t> old_roots_;
  struct Entry {
    index_t root;
    index_t item;  // an old root, or a new facet's position in new_facets_
    bool old;
  };
  std::vector<Entry> entries_;
  std::vector<index_t> old_keys_;
  std::vector<index_t> extra_;
};

}  // namespace korvane
