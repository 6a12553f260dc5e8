#include <algorithm>
#include <cmath>
#include <utility>

#include "capped_levels.hpp"
#include "component_keys.hpp"
#include "lib.hpp"
#include "persistence_route.hpp"
#include "persistence_state.hpp"
#include "vertex_index.hpp"

namespace korvane {

namespace {

// Edges are added in ascending order of weight (ties in input order), one step
// each or one step per weight; the state carries the components from one step
// to the next, so a step costs what the edges change, not what the graph
// holds. `Output` is a list of records or a tree; its `ids` are the caller's ids.
template <class Output>
Output filtration(std::vector<WeightedEdge> edges, std::optional<std::uint64_t> size_cap, bool group_ties) {
  Output output;
  const auto infinite = [](const WeightedEdge& e) { return !std::isfinite(e.weight); };
  edges.erase(std::remove_if(edges.begin(), edges.end(), infinite), edges.end());
  if (edges.empty()) return output;
  if (group_ties) {
    // A step per weight makes the order of equal weights irrelevant to the
    // components; putting each weight's edges in one order makes it
    // irrelevant to the records made and to their order too.
    for (WeightedEdge& e : edges)
      if (e.v < e.u) std::swap(e.u, e.v);
    std::sort(edges.begin(), edges.end(), [](const WeightedEdge& a, const WeightedEdge& b) {
      if (a.weight != b.weight) return a.weight < b.weight;
      return a.u != b.u ? a.u < b.u : a.v < b.v;
    });
  } else {
    std::stable_sort(edges.begin(), edges.end(),
                     [](const WeightedEdge& a, const WeightedEdge& b) { return a.weight < b.weight; });
  }

  // Dense ids in ascending order of the caller's ids, so that comparing dense
  // vertex lists compares the caller's lists.
  std::vector<vertex_t> ids;
  const std::vector<index_t> dense_end = number_ascending(
      2 * edges.size(), [&](std::size_t i) { return i % 2 == 0 ? edges[i / 2].u : edges[i / 2].v; }, ids);
  std::vector<std::pair<index_t, index_t>> dense_edges(edges.size());
  for (std::size_t e = 0; e < edges.size(); ++e) dense_edges[e] = {dense_end[2 * e], dense_end[2 * e + 1]};

  ComponentKeys keys(ids.size(), output);
  const auto run = [&](auto&& levels) {
    for (std::size_t i = 0; i < edges.size();) {
      const std::size_t first = i;
      keys.begin_step();
      do {
        const auto [u, v] = dense_edges[i];
        levels.add_vertex(u, edges[i].weight);
        levels.add_vertex(v, edges[i].weight);
        if (u != v) levels.add_edge(u, v, edges[i].weight);  // a self-loop adds its vertex only
        ++i;
      } while (group_ties && i < edges.size() && edges[i].weight == edges[first].weight);
      keys.close_step(edges[first].weight);
    }
    keys.finish(edges.back().weight);
  };
  Ticker tick;
  if (size_cap && capped_route_pays(ids.size(), dense_edges, *size_cap, tick)) {
    run(CappedLevels(ids.size(), dense_edges, *size_cap, keys));
  } else {
    run(PersistentLevels(ids.size(), dense_edges, size_cap, keys));
  }
  output.ids = std::move(ids);
  return output;
}

}  // namespace

PersistenceRecords calculate_persistent_q_components(std::vector<WeightedEdge> edges,
                                                     std::optional<std::uint64_t> size_cap) {
  return filtration<PersistenceRecords>(std::move(edges), size_cap, false);
}

CommunityTree build_community_tree(std::vector<WeightedEdge> edges, std::optional<std::uint64_t> size_cap,
                                   bool group_ties) {
  return filtration<CommunityTree>(std::move(edges), size_cap, group_ties);
}

}  // namespace korvane
