#include "degeneracy.hpp"

#include <algorithm>
#include <utility>

namespace korvane {

void DegeneracyOrder::order_by_removal(const Graph& graph, Ticker& tick) {
  const index_t n = checked_index(graph.vertex_count());
  degree_.resize(n);
  std::size_t max_degree = 0;
  for (index_t v = 0; v < n; ++v) {
    degree_[v] = static_cast<index_t>(graph.degree(v));
    max_degree = std::max<std::size_t>(max_degree, degree_[v]);
  }
  // bucket_start_[d]: first position of the vertices of remaining degree d in
  // order_. rank_ holds each vertex's position while the queue runs.
  bucket_start_.assign(max_degree + 2, 0);
  for (index_t v = 0; v < n; ++v) ++bucket_start_[degree_[v] + 1];
  for (std::size_t d = 0; d <= max_degree; ++d) bucket_start_[d + 1] += bucket_start_[d];
  order_.resize(n);
  rank_.resize(n);
  fill_.assign(bucket_start_.begin(), bucket_start_.end() - 1);
  for (index_t v = 0; v < n; ++v) {
    rank_[v] = fill_[degree_[v]]++;
    order_[rank_[v]] = v;
  }
  for (index_t i = 0; i < n; ++i) {
    const index_t v = order_[i];
    tick(graph.degree(v) + 1);
    for (const index_t* u = graph.neighbours_begin(v); u != graph.neighbours_end(v); ++u) {
      if (degree_[*u] <= degree_[v]) continue;
      // Move u to the front of its bucket, then shift the bucket boundary past it.
      const index_t d = degree_[*u];
      const index_t front = bucket_start_[d];
      const index_t w = order_[front];
      std::swap(order_[front], order_[rank_[*u]]);
      std::swap(rank_[w], rank_[*u]);
      ++bucket_start_[d];
      --degree_[*u];
    }
  }
}

void DegeneracyOrder::assign(const Graph& graph, Ticker& tick) {
  order_by_removal(graph, tick);
  const index_t n = static_cast<index_t>(order_.size());
  later_start_.assign(std::size_t{n} + 1, 0);
  later_.clear();
  later_.reserve(graph.neighbours.size() / 2);
  degeneracy_ = 0;
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
