#include "persistence_route.hpp"

#include <algorithm>

#include "graph.hpp"
#include "small_cliques.hpp"

namespace korvane {

// Both engines emit the S-cliques of the top level. The small-clique engine
// also visits every clique of 2 .. S vertices and looks up the k faces of each
// k-clique it meets: polynomial, but all of it. The facet engine pays per edge
// for the maximal cliques of the common neighbourhood, which explodes on dense
// graphs and stays small when large cliques are few. So the small cliques
// win unless their joins outweigh the top keys and the edges:
//   sum of k * k over k-cliques, 3 <= k <= S  <=  6 * S * (S-cliques) + 48 * edges.
// On a planted clique of n >> S vertices the left side is about S * S per
// S-clique, so the small cliques serve caps up to 5 there. Caps of 2 and 3
// always take them. Each clique is counted once, from its first vertex in a
// degeneracy ordering.
bool capped_route_pays(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
                       std::uint64_t size_cap, Ticker& tick) {
  if (size_cap <= 3) return true;
  std::vector<Edge> simple;
  simple.reserve(edges.size());
  for (const auto& [u, v] : edges)
    if (u != v) simple.emplace_back(u, v);
  const Graph graph = build_graph(simple);
  const std::uint64_t edge_allowance = 48 * std::uint64_t{graph.neighbours.size() / 2};
  const std::size_t cap = static_cast<std::size_t>(std::min<std::uint64_t>(size_cap, vertex_count + 1));
  SmallCliqueSearch search(graph, cap, tick);
  // joins: k * k per k-clique, 3 <= k <= S; top: S per S-clique.
  std::uint64_t joins = 0;
  std::uint64_t top = 0;
  return search.count([&](std::size_t size, std::size_t cliques) {
    if (size >= 3) joins += size * size * cliques;
    if (size == cap) top += size * cliques;
    return joins <= 6 * top + edge_allowance;
  });
}

}  // namespace korvane
