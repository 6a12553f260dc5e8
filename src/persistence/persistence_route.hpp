// Which of the two persistence engines a capped call runs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "core.hpp"

namespace korvane {

// True when the small-clique engine (CappedLevels) should serve a call with
// size cap S on the graph of all `edges` (dense ids < vertex_count), false
// when the facet engine (PersistentLevels) should.
bool capped_route_pays(std::size_t vertex_count, const std::vector<std::pair<index_t, index_t>>& edges,
                       std::uint64_t size_cap, Ticker& tick);

}  // namespace korvane
