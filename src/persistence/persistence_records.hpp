// What persistence takes and gives: weighted edges in, records of components out.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core.hpp"

namespace korvane {

struct WeightedEdge {
  vertex_t u;
  vertex_t v;
  double weight;
};

// Record r: the component (q[r], vertices group r, ascending) lived from birth[r]
// to death[r]. Vertices are dense ids, ids[x] being the caller's id of x; dense
// order is the caller's order. Half the size of caller ids, and a reader can
// keep one object per vertex in a plain array.
struct PersistenceRecords {
  std::vector<std::int64_t> q;
  Groups<index_t> vertices;
  std::vector<vertex_t> ids;
  std::vector<double> birth;
  std::vector<double> death;

  std::size_t size() const { return q.size(); }
};

// The same records without the repeated listing. Record r is the component
// (q[r], S_r) that lived from birth[r] to death[r], where S_r is the union of
// the sets of the records in group r of `parents` (each earlier than r) and of
// the vertices in group r of `added` (ascending, in no parent's set). Vertices
// are dense ids as in PersistenceRecords.
struct CommunityTree {
  std::vector<std::int64_t> q;
  std::vector<double> birth;
  std::vector<double> death;
  Groups<index_t> parents;
  Groups<index_t> added;
  std::vector<vertex_t> ids;

  std::size_t size() const { return q.size(); }
};

}  // namespace korvane
