// The q-components of a graph's clique complex, kept up to date edge by edge.
#pragma once

#include <algorithm>
#include <optional>
#include <utility>

#include "component_keys.hpp"
#include "core.hpp"
#include "dsu.hpp"
#include "edge_cliques.hpp"
#include "facet_links.hpp"
#include "graph.hpp"
#include "growing_graph.hpp"
#include "small_cliques.hpp"

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
  // Vertices are the dense ids 0 .. vertex_count-1; `edges` are every edge the
  // filtration will add, for sizing. The classes' keys live in `keys`.
  PersistentLevels(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
                   std::optional<std::uint64_t> size_cap, ComponentKeys& keys);

  // Adds a vertex, then an edge between two vertices added (u != v; again
  // or past the cap, nothing), within the keys' step.
  void add_vertex(index_t x, double weight);
  void add_edge(index_t u, index_t v, double weight);

 private:
  index_t registered_facet(const Groups<index_t>& cliques, std::size_t g) const;
  void add_top_cliques(index_t u, index_t v, double weight);

  // Facets and classes.
  void add_edge_facets(index_t u, index_t v);
  void grow_nodes(std::size_t n);
  index_t close_facet(std::size_t end, index_t base);
  // The levels a facet of `length` vertices reaches, one node each.
  std::size_t levels_of(std::size_t length) const {
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, size_cap_ - 1));
  }
  void swallow(index_t facet, std::size_t length);
  void compact_facets();
  index_t node(index_t facet, index_t q) const { return node_base_[facet] + q; }
  void update_level(index_t q, double weight);
  void settle_class(index_t q, std::size_t first_entry, std::size_t end_entry, double weight);

  std::uint64_t size_cap_;  // S: the largest clique size enumerated
  Ticker tick_;
  // The parts a step drives, each with its own scratch.
  ComponentKeys& keys_;
  GrowingGraph graph_;
  EdgeCliques cliques_;
  FacetLinks links_;

  std::vector<char> present_;
  std::vector<index_t> singleton_facet_;

  Groups<index_t> facets_;                 // each ascending
  std::vector<index_t> node_base_;         // facet f owns nodes node_base_[f] + q, one per level it reaches
  std::vector<std::uint64_t> facet_hash_;  // per facet, the set hash of its vertices
  HashIndex facet_index_;                  // facets with two or more vertices
  std::vector<char> swallowed_;            // per facet: no longer maximal
  std::size_t swallowed_length_ = 0;       // total length of the swallowed facets

  // Union-find over nodes; every level's nodes form their own classes.
  Dsu nodes_;
  std::vector<index_t> class_key_;  // per node, its class's key, valid at roots

  // Scratch of one step.
  std::vector<index_t> link_u_;  // per core, an old facet holding u and the core
  std::vector<index_t> link_v_;  // the same with v, or none when not needed
  // Per core, the new facet {u, v} + K, with its nodes and its links' from level 0.
  struct NewFacet {
    index_t facet;
    index_t core;  // |K|
    index_t node;
    index_t link_u;
    index_t link_v;  // none when not needed
  };
  std::vector<NewFacet> fresh_;
  std::vector<index_t> members_;  // a top clique being built
  SmallCliqueSearch top_search_{tick_};  // the new top cliques of an edge
  std::vector<index_t> top_clique_;
  std::vector<char> level_changes_;  // per level q, whether it may gain vertices or merge classes
  std::vector<index_t> old_roots_;
  struct Entry {
    index_t root;
    index_t item;  // an old root, or a new facet's position in fresh_
    bool old;
  };
  std::vector<Entry> entries_;
  std::vector<index_t> old_keys_;
  std::vector<index_t> extra_;
};

}  // namespace korvane
