// Graph clique-complex q-connectivity.
#pragma once

#include <optional>
#include <utility>

#include "core.hpp"

namespace korvane {

using Edge = std::pair<vertex_t, vertex_t>;

// A simple undirected graph on dense ids 0 .. n-1. Dense ids follow the
// ascending order of the caller's ids (ids[i] is the caller's id of vertex i), so
// any order on dense ids is the same order on the caller's ids. Neighbour lists
// are sorted, without repeats and without self-loops.
struct Graph {
  std::vector<vertex_t> ids;
  std::vector<std::size_t> offsets{0};  // n + 1 entries
  std::vector<index_t> neighbours;

  std::size_t vertex_count() const { return ids.size(); }
  const index_t* neighbours_begin(index_t v) const { return neighbours.data() + offsets[v]; }
  const index_t* neighbours_end(index_t v) const { return neighbours.data() + offsets[v + 1]; }
  std::size_t degree(index_t v) const { return offsets[v + 1] - offsets[v]; }
};

// Every edge end becomes a vertex; repeated edges count once; a self-loop adds
// its vertex and no edge.
Graph build_graph(const std::vector<Edge>& edges);

// Levels q = 0 .. L-1 of the graph's clique complex, L being the highest level
// (the largest clique size, capped at max_q, where a cap of 0 counts as 1). Each
// level lists its components as ascending vertex-id lists, in ascending
// lexicographic order. Empty for an empty graph.
std::vector<Groups<vertex_t>> find_all_q_connected_components(const Graph& graph,
                                                              std::optional<std::uint64_t> max_q);

}  // namespace korvane
