// Questions to a community tree: the vertex sets of its records, and the
// records alive at a weight.
#pragma once

#include <cstdint>
#include <vector>

#include "core.hpp"
#include "persistence_records.hpp"

namespace korvane {

// Vertex sets of single records: each walks the record's ancestors once, a
// stamp per record telling the ones already met.
class TreeWalk {
 public:
  explicit TreeWalk(const CommunityTree& tree) : tree_(tree), seen_(tree.size(), 0) {}

  // Appends record r's vertex set to `out`, ascending.
  void vertices(index_t r, std::vector<index_t>& out);

 private:
  const CommunityTree& tree_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t stamp_ = 0;
  std::vector<index_t> stack_;
  Ticker tick_;
};

// The records at level q alive at `weight` (birth <= weight < death), in order.
std::vector<index_t> alive_records(const CommunityTree& tree, std::int64_t q, double weight);

// Every record's vertex set, ascending, in the order of the records: each the
// union of its parents' sets and its added vertices.
Groups<index_t> all_vertex_sets(const CommunityTree& tree);

}  // namespace korvane
