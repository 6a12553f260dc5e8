#include "growing_graph.hpp"

#include <cstdint>
#include <numeric>

namespace korvane {

namespace {

std::uint64_t edge_key(index_t a, index_t b) {
  if (a > b) std::swap(a, b);
  return (std::uint64_t{a} << 32) | b;
}

}  // namespace

GrowingGraph::GrowingGraph(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges) {
  degree_.assign(vertex_count, 0);
  adjacency_start_.assign(vertex_count + 1, 0);
  for (const auto& [u, v] : edges) {
    if (u == v) continue;
    ++adjacency_start_[u + 1];
    ++adjacency_start_[v + 1];
  }
  std::partial_sum(adjacency_start_.begin(), adjacency_start_.end(), adjacency_start_.begin());
  adjacency_.resize(adjacency_start_[vertex_count]);
  if (vertex_count <= 64 * row_words_limit) {
    row_words_ = words_for(vertex_count);
    rows_.assign(vertex_count * row_words_, 0);
  }
}

// The edge key scrambled is a bijection of the key, so equal hashes are equal edges.
bool GrowingGraph::adjacent(index_t a, index_t b) const {
  if (row_words_ != 0) return (rows_[a * row_words_ + b / 64] >> (b % 64)) & 1;
  return a != b && edge_index_.find(scramble(edge_key(a, b)), [](index_t) { return true; }) != none;
}

void GrowingGraph::insert_edge(index_t a, index_t b) {
  adjacency_[adjacency_start_[a] + degree_[a]++] = b;
  adjacency_[adjacency_start_[b] + degree_[b]++] = a;
  if (row_words_ != 0) {
    set_bit(rows_.data() + a * row_words_, b);
    set_bit(rows_.data() + b * row_words_, a);
  } else {
    edge_index_.insert(scramble(edge_key(a, b)), 0);
  }
}

void GrowingGraph::common_neighbours(index_t u, index_t v, std::vector<index_t>& common, Ticker& tick) const {
  const index_t scanned = degree_[u] <= degree_[v] ? u : v;
  const index_t other = scanned == u ? v : u;
  common.clear();
  for (const index_t* c = neighbours_begin(scanned); c != neighbours_end(scanned); ++c)
    if (adjacent(*c, other)) common.push_back(*c);
  std::sort(common.begin(), common.end());
  tick(degree_[scanned]);
}

// Each row is read off the vertex's neighbour list when that is short, and by
// probing the edge index for every vertex of the set otherwise.
void GrowingGraph::induced_subgraph(const std::vector<index_t>& vertices, Graph& induced, std::vector<index_t>& mark,
                                    Ticker& tick) const {
  const std::size_t k = vertices.size();
  for (std::size_t i = 0; i < k; ++i) mark[vertices[i]] = static_cast<index_t>(i);
  induced.ids.assign(vertices.begin(), vertices.end());
  induced.offsets.assign(k + 1, 0);
  induced.neighbours.clear();
  for (std::size_t i = 0; i < k; ++i) {
    const index_t c = vertices[i];
    const std::size_t row_start = induced.neighbours.size();
    if (degree_[c] <= 4 * k) {
      for (const index_t* x = neighbours_begin(c); x != neighbours_end(c); ++x)
        if (mark[*x] != none) induced.neighbours.push_back(mark[*x]);
      std::sort(induced.neighbours.begin() + static_cast<std::ptrdiff_t>(row_start), induced.neighbours.end());
      tick(degree_[c]);
    } else {
      for (std::size_t j = 0; j < k; ++j)
        if (adjacent(c, vertices[j])) induced.neighbours.push_back(static_cast<index_t>(j));
      tick(k);
    }
    induced.offsets[i + 1] = induced.neighbours.size();
  }
  for (const index_t c : vertices) mark[c] = none;
}

}  // namespace korvane
