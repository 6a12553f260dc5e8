#include "degeneracy.hpp"

#include <algorithm>
#include <utility>

namespace korvane {

std::vector<index_t> degeneracy_order(const Graph& graph) {
  const index_t n = checked_index(graph.vertex_count());
  std::vector<index_t> degree(n);
  std::size_t max_degree = 0;
  for (index_t v = 0; v < n; ++v) {
    degree[v] = static_cast<index_t>(graph.degree(v));
    max_degree = std::max<std::size_t>(max_degree, degree[v]);
  }
  // bucket_start[d]: first position of the vertices of remaining degree d in `order`.
  std::vector<index_t> bucket_start(max_degree + 2, 0);
  for (index_t v = 0; v < n; ++v) ++bucket_start[degree[v] + 1];
  for (std::size_t d = 0; d <= max_degree; ++d) bucket_start[d + 1] += bucket_start[d];
  std::vector<index_t> order(n);
  std::vector<index_t> position(n);
  {
    std::vector<index_t> fill(bucket_start.begin(), bucket_start.end() - 1);
    for (index_t v = 0; v < n; ++v) {
      position[v] = fill[degree[v]]++;
      order[position[v]] = v;
    }
  }
  Ticker tick;
  for (index_t i = 0; i < n; ++i) {
    const index_t v = order[i];
    tick(graph.degree(v) + 1);
    for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) {
      if (degree[*u] <= degree[v]) continue;
      // Move u to the front of its bucket, then shift the bucket boundary past it.
      const index_t d = degree[*u];
      const index_t front = bucket_start[d];
      const index_t w = order[front];
      std::swap(order[front], order[position[*u]]);
      std::swap(position[w], position[*u]);
      ++bucket_start[d];
      --degree[*u];
    }
  }
  return order;
}

DegeneracyOrder::DegeneracyOrder(const Graph& graph, Ticker& tick)
    : order_(degeneracy_order(graph)), rank_(order_.size()) {
  const index_t n = static_cast<index_t>(order_.size());
  for (index_t i = 0; i < n; ++i) rank_[order_[i]] = i;
  later_start_.assign(std::size_t{n} + 1, 0);
  later_.reserve(graph.neighbours.size() / 2);
  for (index_t v = 0; v < n; ++v) {
    for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) {
      if (rank_[*u] > rank_[v]) later_.push_back(*u);
    }
    later_start_[v + 1] = later_.size();
    degeneracy_ = std::max(degeneracy_, later_.size() - later_start_[v]);
  }
  checked_index(later_.size());
  tick(graph.neighbours.size());
}

}  // namespace korvane
