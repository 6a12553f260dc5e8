// One builder per result shape: the core's results as the Python objects the
// module returns. Each returns null with a Python exception set on failure,
// freeing whatever it had built.
#pragma once

#include <cstddef>
#include <vector>

#include "core.hpp"
#include "persistence_records.hpp"
#include "python.hpp"

namespace korvane::binding {

// [[{positions of component} for each component] for each level]: the
// hierarchy's levels, whose dense ids are positions 0 .. position_count-1 in
// the caller's list of simplices.
PyRef build_position_levels(const std::vector<Groups<index_t>>& levels, std::size_t position_count, Ticker& tick);

// [[{vertex ids of component} for each component] for each level]: a graph's
// levels, whose dense ids index `ids`, the caller's vertex ids.
PyRef build_vertex_levels(const std::vector<Groups<index_t>>& levels, const std::vector<vertex_t>& ids, Ticker& tick);

// [[vertex ids ascending] for each group], dense ids into `ids`
PyRef build_vertex_groups(const Groups<index_t>& groups, const std::vector<vertex_t>& ids, Ticker& tick);

// [((q, [vertices ascending]), birth, death) for each record]
PyRef build_persistence(const PersistenceRecords& records, Ticker& tick);

// [(q, birth, death, (parents...), [added vertices ascending]) for each record]
PyRef build_tree(const CommunityTree& tree, Ticker& tick);

// [vertex ids], dense ids into `ids`
PyRef build_vertex_list(const std::vector<index_t>& vertices, const std::vector<vertex_t>& ids, Ticker& tick);

// [(record, [vertices ascending]) for each record], set i being that of
// records[i], dense ids into `ids`
PyRef build_indexed_sets(const std::vector<index_t>& records, const Groups<index_t>& sets,
                         const std::vector<vertex_t>& ids, Ticker& tick);

// [((q, [vertices ascending]), birth, death) for each record of the tree],
// sets[r] being the vertex set of record r
PyRef build_tree_records(const CommunityTree& tree, const Groups<index_t>& sets, Ticker& tick);

}  // namespace korvane::binding
