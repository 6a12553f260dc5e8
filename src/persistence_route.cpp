#include "persistence_route.hpp"

#include <algorithm>
#include <iterator>

#include "graph.hpp"
#include "maximal_cliques.hpp"

namespace korvane {

namespace {

// Counts the cliques of 3 .. S vertices, each once from its first vertex in a
// degeneracy ordering: `joins` weights a k-clique by k * k (the small-clique
// engine looks up its k faces, each compared in k - 1 ids), `top` weights an
// S-clique by S (the ids of its key, which both engines emit). Stops once
// `within` refuses the weights so far.
class CliqueWeights {
 public:
  CliqueWeights(const Graph& graph, std::uint64_t size_cap, Ticker& tick)
      : size_cap_(static_cast<std::size_t>(size_cap)), tick_(tick) {
    const std::vector<index_t> order = degeneracy_order(graph);
    std::vector<index_t> rank(order.size());
    for (index_t i = 0; i < order.size(); ++i) rank[order[i]] = i;
    later_.starts.reserve(graph.vertex_count() + 1);
    std::size_t most_later = 0;
    for (index_t v = 0; v < graph.vertex_count(); ++v) {
      for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u)
        if (rank[*u] > rank[v]) later_.items.push_back(*u);
      later_.close_group();
      most_later = std::max(most_later, later_.length(v));
    }
    // A clique of k vertices leaves k-1 later neighbours to its first vertex.
    candidates_.resize(std::min<std::size_t>(size_cap_, most_later + 2));
  }

  template <class Within>
  bool count(Within&& within) {
    for (index_t v = 0; v < later_.size(); ++v) {
      candidates_[0].assign(later_.begin(v), later_.end(v));
      if (!extend(1, within)) return false;
    }
    return true;
  }

  std::uint64_t joins = 0;  // sum of k * k over the cliques of 3 .. S vertices
  std::uint64_t top = 0;    // sum of S over the cliques of S vertices

 private:
  // A clique of `size` vertices whose common later neighbours are candidates_[size - 1].
  template <class Within>
  bool extend(std::size_t size, Within& within) {
    if (size + 1 == size_cap_) {
      top += size_cap_ * candidates_[size - 1].size();
      joins += size_cap_ * size_cap_ * candidates_[size - 1].size();
      return within(joins, top);
    }
    const std::vector<index_t>& candidates = candidates_[size - 1];
    for (const index_t a : candidates) {
      if (size + 1 >= 3) {
        joins += (size + 1) * (size + 1);
        if (!within(joins, top)) return false;
      }
      std::vector<index_t>& next = candidates_[size];
      next.clear();
      std::set_intersection(candidates.begin(), candidates.end(), later_.begin(a), later_.end(a),
                            std::back_inserter(next));
      tick_(candidates.size());
      if (!extend(size + 1, within)) return false;
    }
    return true;
  }

  std::size_t size_cap_;
  Ticker& tick_;
  Groups<index_t> later_;  // each vertex's later neighbours, ascending
  std::vector<std::vector<index_t>> candidates_;
};

}  // namespace

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
  CliqueWeights weights(graph, std::min<std::uint64_t>(size_cap, vertex_count + 1), tick);
  return weights.count([&](std::uint64_t joins, std::uint64_t top) { return joins <= 6 * top + edge_allowance; });
}

}  // namespace korvane
