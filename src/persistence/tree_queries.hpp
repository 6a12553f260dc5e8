// Questions to a community tree as its caller holds it.
#pragma once

#include <cstdint>
#include <vector>

#include "core.hpp"

namespace korvane {

// Record r is (q[r], birth[r], death[r]) with the vertex set that is the union
// of its parents' sets (parents group r, each earlier than r) and its added
// vertices (added group r, the caller's ids, ascending).
struct TreeRecords {
  std::vector<std::int64_t> q;
  std::vector<double> birth;
  std::vector<double> death;
  Groups<index_t> parents;
  Groups<vertex_t> added;

  std::size_t size() const { return q.size(); }
};

// Vertex sets of single records: each walks the record's ancestors once, a
// stamp per record telling the ones already met.
class TreeWalk {
 public:
  explicit TreeWalk(const TreeRecords& tree) : tree_(tree), seen_(tree.size(), 0) {}

  // Appends record r's vertex set to `out`, ascending.
  void vertices(index_t r, std::vector<vertex_t>& out);

 private:
  const TreeRecords& tree_;
  std::vector<std::uint32_t> seen_;
  std::uint32_t stamp_ = 0;
  std::vector<index_t> stack_;
  Ticker tick_;
};

// The records at level q alive at `weight` (birth <= weight < death), in order.
std::vector<index_t> alive_records(const TreeRecords& tree, std::int64_t q, double weight);

// Every record's vertex set, ascending, in the order of the records: each the
// union of its parents' sets and its added vertices.
Groups<vertex_t> all_vertex_sets(const TreeRecords& tree);

}  // namespace korvane
