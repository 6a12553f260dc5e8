// Degeneracy orderings, the order every clique search of the graph starts from.
#pragma once

#include <cstddef>
#include <vector>

#include "core.hpp"
#include "graph.hpp"

namespace korvane {

// The vertices in the order in which repeatedly removing a vertex of least
// remaining degree takes them (bucket queue, O(n + m)), with each vertex's
// rank in it and its later neighbours. Every vertex then has at most d later
// neighbours, d being the graph's degeneracy, and a clique is found once,
// around its earliest vertex, among that vertex's later neighbours.
class DegeneracyOrder {
 public:
  DegeneracyOrder() = default;
  DegeneracyOrder(const Graph& graph, Ticker& tick) { assign(graph, tick); }
  // Orders `graph`, keeping the buffers of an earlier graph.
  void assign(const Graph& graph, Ticker& tick);

  const std::vector<index_t>& order() const { return order_; }
  index_t rank(index_t v) const { return rank_[v]; }
  // The largest number of later neighbours of a vertex: the degeneracy.
  std::size_t degeneracy() const { return degeneracy_; }
  // The later neighbours of v, ascending.
  const index_t* later_begin(index_t v) const { return later_.data() + later_start_[v]; }
  const index_t* later_end(index_t v) const { return later_.data() + later_start_[v + 1]; }
  std::size_t later_count(index_t v) const { return later_start_[v + 1] - later_start_[v]; }
  // All later-neighbour lists, flat: position i holds one end of edge i.
  const std::vector<index_t>& later() const { return later_; }

 private:
  void order_by_removal(const Graph& graph, Ticker& tick);

  std::vector<index_t> order_;
  std::vector<index_t> rank_;
  std::vector<std::size_t> later_start_;  // n + 1 entries
  std::vector<index_t> later_;
  std::size_t degeneracy_ = 0;
  // Scratch of the removal: remaining degrees and the bucket queue.
  std::vector<index_t> degree_;
  std::vector<index_t> bucket_start_;
  std::vector<index_t> fill_;
};

}  // namespace korvane
