#include "graph.hpp"

#include <algorithm>

#include "vertex_index.hpp"

namespace korvane {

namespace {

// Each vertex's arcs (its bucket of `arcs`, between graph.offsets) sorted and
// without repeats, as the graph's neighbour lists; the offsets follow them.
void sort_rows(Graph& graph, std::vector<index_t>& arcs) {
  const std::size_t n = graph.vertex_count();
  graph.neighbours.reserve(arcs.size());
  Ticker tick;
  for (std::size_t v = 0; v < n; ++v) {
    const auto first = arcs.begin() + static_cast<std::ptrdiff_t>(graph.offsets[v]);
    const auto last = arcs.begin() + static_cast<std::ptrdiff_t>(graph.offsets[v + 1]);
    tick(static_cast<std::size_t>(last - first) * 8 + 1);
    std::sort(first, last);
    graph.offsets[v] = graph.neighbours.size();
    graph.neighbours.insert(graph.neighbours.end(), first, std::unique(first, last));
  }
  graph.offsets[n] = graph.neighbours.size();
}

}  // namespace

Graph build_graph(const std::vector<Edge>& edges) {
  Graph graph;
  // dense_end[2 * e + side]: the dense id of that end of edge e.
  const std::vector<index_t> dense_end = number_ascending(
      2 * edges.size(), [&](std::size_t i) { return i % 2 == 0 ? edges[i / 2].first : edges[i / 2].second; },
      graph.ids);
  const index_t n = checked_index(graph.ids.size());

  // Both directions of every edge, bucketed by tail; then each neighbour list
  // is sorted and its repeats dropped.
  graph.offsets.assign(std::size_t{n} + 1, 0);
  for (std::size_t e = 0; e < edges.size(); ++e) {
    if (dense_end[2 * e] == dense_end[2 * e + 1]) continue;
    ++graph.offsets[dense_end[2 * e] + 1];
    ++graph.offsets[dense_end[2 * e + 1] + 1];
  }
  for (index_t v = 0; v < n; ++v) graph.offsets[v + 1] += graph.offsets[v];
  std::vector<index_t> arcs(graph.offsets[n]);
  {
    std::vector<std::size_t> fill(graph.offsets.begin(), graph.offsets.end() - 1);
    for (std::size_t e = 0; e < edges.size(); ++e) {
      const index_t a = dense_end[2 * e];
      const index_t b = dense_end[2 * e + 1];
      if (a == b) continue;
      arcs[fill[a]++] = b;
      arcs[fill[b]++] = a;
    }
  }
  sort_rows(graph, arcs);
  return graph;
}

Graph build_graph_from_rows(const std::vector<vertex_t>& offsets, const std::vector<vertex_t>& neighbours) {
  Graph graph;
  const index_t n = checked_index(offsets.size() - 1);
  graph.ids.resize(n);
  for (index_t v = 0; v < n; ++v) graph.ids[v] = v;
  // Every entry both ways, as for an edge list.
  graph.offsets.assign(std::size_t{n} + 1, 0);
  for (index_t v = 0; v < n; ++v) {
    for (std::size_t j = offsets[v]; j < offsets[v + 1]; ++j) {
      if (neighbours[j] == v) continue;
      ++graph.offsets[v + 1];
      ++graph.offsets[neighbours[j] + 1];
    }
  }
  for (index_t v = 0; v < n; ++v) graph.offsets[v + 1] += graph.offsets[v];
  std::vector<index_t> arcs(graph.offsets[n]);
  {
    std::vector<std::size_t> fill(graph.offsets.begin(), graph.offsets.end() - 1);
    for (index_t v = 0; v < n; ++v) {
      for (std::size_t j = offsets[v]; j < offsets[v + 1]; ++j) {
        const index_t u = static_cast<index_t>(neighbours[j]);
        if (u == v) continue;
        arcs[fill[v]++] = u;
        arcs[fill[u]++] = v;
      }
    }
  }
  sort_rows(graph, arcs);
  return graph;
}

}  // namespace korvane
