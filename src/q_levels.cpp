#include "q_levels.hpp"

namespace korvane {

std::vector<Groups<index_t>> q_components_by_level(const Groups<index_t>&, index_t, std::size_t level_count) {
  return std::vector<Groups<index_t>>(level_count);
}

}  // namespace korvane
