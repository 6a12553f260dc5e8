// Simplicial-complex analysis: the q-component hierarchy of a list of simplices,
// and the persistence of graph q-components over edge weights.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "core.hpp"
#include "persistence_records.hpp"

namespace korvane {

// Simplex i is group i of `simplices` (vertex ids as given; repeats inside a
// simplex count once). Entry q of the result, for q = 0 .. the largest simplex
// dimension, lists the q-components of the simplices of dimension >= q as
// ascending simplex indices, components in ascending order of their smallest
// index. No levels for an empty list; one empty level when every simplex is empty.
std::vector<Groups<index_t>> find_hierarchical_q_components(const Groups<vertex_t>& simplices);

// Births and deaths of the (q, vertex set) components of the clique complex as
// the edges are added one by one in ascending order of weight (non-finite
// weights dropped, ties kept in input order, each edge its own step).
PersistenceRecords calculate_persistent_q_components(std::vector<WeightedEdge> edges,
                                                     std::optional<std::uint64_t> size_cap);

// The same filtration as a community tree. With `group_ties`, all edges of one
// weight are added in one step, so no record is born and gone at one weight
// (but those born at the last weight, which survive to it) and the tree does
// not depend on the order of equal weights.
CommunityTree build_community_tree(std::vector<WeightedEdge> edges, std::optional<std::uint64_t> size_cap,
                                   bool group_ties);

}  // namespace korvane
