// The q-component engine shared by the simplicial hierarchy and the graph levels.
#pragma once

#include "core.hpp"

namespace korvane {

// `sets` is a family of vertex sets over dense vertex ids below `vertex_count`,
// with no vertex repeated inside a set. For q = 0 .. level_count-1 the result's
// entry q partitions the sets with at least q+1 vertices into q-components: two
// sets are joined when they share at least q+1 vertices. Each class lists its set
// ids ascending, and the classes of a level come in ascending order of their
// smallest set id, so the result depends on nothing but the input.
std::vector<Groups<index_t>> q_components_by_level(const Groups<index_t>& sets, index_t vertex_count,
                                                   std::size_t level_count);

}  // namespace korvane
