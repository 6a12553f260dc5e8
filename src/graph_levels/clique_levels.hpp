// Graph levels from the cliques of at most S vertices.
#pragma once

#include <vector>

#include "core.hpp"
#include "small_cliques.hpp"

namespace korvane {

// The levels of find_all_q_connected_components for the search's graph and a
// size cap S = its max_size >= 1, built from the cliques of at most S vertices. At level q <= S-2 two
// (q+1)-cliques are joined exactly when a chain of (q+2)-cliques links them: a
// larger clique chains its (q+1)-subsets through its own (q+2)-subsets, so it
// adds nothing. The top level, L-1 with L the largest clique size up to S,
// lists each L-clique alone. The work is about S times the number of cliques
// of at most S vertices.
std::vector<Groups<index_t>> levels_from_small_cliques(SmallCliqueSearch& search, Ticker& tick);

}  // namespace korvane
