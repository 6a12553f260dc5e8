// The simple undirected graph the clique searches read.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

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

// The graph on vertices 0 .. n-1 (ids[i] = i, isolated ones included) whose
// vertex v lists the neighbours neighbours[offsets[v] .. offsets[v + 1]),
// n = offsets.size() - 1: compressed sparse rows, offsets ascending from 0 to
// neighbours.size() and every neighbour below n. Each entry is an undirected
// edge, listed from one end or both; repeats and self-loops are dropped.
Graph build_graph_from_rows(const std::vector<vertex_t>& offsets, const std::vector<vertex_t>& neighbours);

}  // namespace korvane
