#include "lib.hpp"

#include "q_levels.hpp"

namespace korvane {

std::vector<Groups<index_t>> find_hierarchical_q_components(const Groups<vertex_t>&) { return {}; }

}  // namespace korvane
