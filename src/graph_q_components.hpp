// Graph clique-complex q-connectivity.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "clique_registry.hpp"
#include "core.hpp"
#include "graph.hpp"

namespace korvane {

// Levels q = 0 .. L-1 of the graph's clique complex, L being the highest level
// (the largest clique size, capped at size_cap >= 1 when there is one). Each
// level lists its components as ascending lists of the graph's dense ids
// (graph.ids gives the caller's), in ascending lexicographic order, which is
// also the order of the caller's lists. Empty for an empty graph.
std::vector<Groups<index_t>> find_all_q_connected_components(const Graph& graph,
                                                              std::optional<std::uint64_t> size_cap);

// The k-clique communities of `graph` (clique percolation, k >= 2): the
// classes of its k-cliques, two joined when they share k-1 vertices, each as
// the union of its cliques' vertices. These are the components of level k-2
// of find_all_q_connected_components with at least k vertices, listed the same
// way. Only that level is built: from the k-cliques while they are few next
// to the edges, else from the maximal cliques of at least k vertices.
Groups<index_t> clique_communities(const Graph& graph, std::size_t k);

// A clique as an ascending list of vertex ids without repeats.
using Clique = std::vector<vertex_t>;

// Registry of distinct cliques of the caller's vertex ids: dense ids 0, 1, 2,
// ... in registration order, an index by vertex count, and a hash index on
// the whole vertex set that rejects duplicates. Cliques are stored flat, one
// group each, ascending.
class CliqueManager {
 public:
  // Registers `clique` (taken as a set: order and repeats are ignored) unless
  // an equal clique is already registered.
  void add_clique(const Clique& clique) { add_clique(clique.data(), clique.data() + clique.size()); }
  void add_clique(const vertex_t* begin, const vertex_t* end);

  std::size_t clique_count() const { return registry_.size(); }
  const Groups<vertex_t>& cliques() const { return registry_.cliques(); }
  // Ids of the registered cliques with `size` vertices, ascending; empty if none.
  const std::vector<index_t>& cliques_by_size(std::size_t size) const;

 private:
  CliqueRegistry<vertex_t> registry_;
  std::vector<std::vector<index_t>> ids_by_size_;
  Clique sorted_;  // the clique being registered, as a set
};

// Calls visit(subset) for every `size`-element subset of the n elements at
// `elements` (distinct, ascending), each once, in lexicographic order: the
// positions are advanced like an odometer whose rightmost wheel that can still
// move turns, the wheels after it packed behind it. Nothing for size 0 or
// size > n. The subset lives in one buffer, reused from one call to the next.
template <class T, class Visit>
void get_subcliques(const T* elements, std::size_t n, std::size_t size, Visit&& visit) {
  if (size == 0 || size > n) return;
  std::vector<std::size_t> positions(size);
  std::vector<T> subset(elements, elements + size);
  for (std::size_t i = 0; i < size; ++i) positions[i] = i;
  while (true) {
    visit(static_cast<const T*>(subset.data()));
    std::size_t i = size;
    while (i > 0 && positions[i - 1] == n - size + (i - 1)) --i;
    if (i == 0) return;
    subset[i - 1] = elements[++positions[i - 1]];
    for (std::size_t j = i; j < size; ++j) subset[j] = elements[positions[j] = positions[j - 1] + 1];
  }
}

}  // namespace korvane
