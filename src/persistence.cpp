#include "lib.hpp"

namespace korvane {

PersistenceRecords calculate_persistent_q_components(std::vector<WeightedEdge>, std::optional<std::uint64_t>) {
  return {};
}

}  // namespace korvane
